#include "resource_scripts.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "hostside/module_table.h"

namespace fs = std::filesystem;

namespace {

using Symbols = std::map<std::string, long>;

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// The first word of a line and the rest after it.
std::pair<std::string, std::string> Split(const std::string& line) {
  std::string t = Trim(line);
  size_t space = t.find_first_of(" \t");
  return space == std::string::npos ? std::make_pair(t, std::string())
                                    : std::make_pair(t.substr(0, space), Trim(t.substr(space)));
}

// 12, 0x1F, 0x20L, (-1).
std::optional<long> Number(std::string text) {
  std::erase_if(text, [](char c) { return c == '(' || c == ')' || c == 'L'; });
  try {
    size_t used = 0;
    long v = std::stol(text, &used, 0);
    if (used == text.size()) return v;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

// The #define NAME NUMBER lines of a file and of the files it includes.
void ReadSymbols(const fs::path& file, Symbols* symbols) {
  std::ifstream in(file);
  if (!in) ADD_FAILURE() << "cannot read " << file;
  for (std::string line; std::getline(in, line);) {
    auto [word, rest] = Split(line);
    if (word == "#include" && rest.size() > 2 && rest.front() == '"') {
      std::string name = rest.substr(1, rest.find('"', 1) - 1);
      fs::path beside = file.parent_path() / name;
      ReadSymbols(fs::exists(beside) ? beside : fs::path(HOSTSDK_INCLUDE_DIR) / name, symbols);
    } else if (word == "#define") {
      auto [name, value] = Split(rest);
      if (std::optional<long> v = Number(Split(value).first)) (*symbols)[name] = *v;
    }
  }
}

// The arguments of a statement: split at commas outside strings, trimmed.
std::vector<std::string> Arguments(const std::string& text) {
  std::vector<std::string> args(1);
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"' && (i == 0 || text[i - 1] != '\\')) quoted = !quoted;
    if (c == ',' && !quoted) {
      args.emplace_back();
      continue;
    }
    args.back() += c;
  }
  for (std::string& a : args) a = Trim(a);
  return args;
}

// A string literal's text (with the escapes the resource compiler reads), or
// empty for a symbol.
std::string Text(const std::string& arg) {
  if (arg.size() < 2 || arg.front() != '"') return "";
  std::string out;
  for (size_t i = 1; i + 1 < arg.size(); ++i) {
    char c = arg[i];
    if (c == '\\' && i + 2 < arg.size()) {
      c = arg[++i];
      out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    } else {
      out += c;
    }
  }
  return out;
}

int Value(const std::string& arg, const Symbols& symbols) {
  if (std::optional<long> v = Number(arg)) return static_cast<int>(*v);
  auto it = symbols.find(arg);
  if (it == symbols.end()) ADD_FAILURE() << "unknown symbol '" << arg << "'";
  return it == symbols.end() ? 0 : static_cast<int>(it->second);
}

// The lines between BEGIN and END of every block whose head line has
// `keyword` as its first or second word.
struct Block {
  std::string head;
  std::vector<std::string> body;
};
std::vector<Block> Blocks(const std::string& script, const std::string& keyword) {
  std::vector<Block> blocks;
  std::ifstream in(script);
  enum { kOut, kHead, kBody } state = kOut;
  for (std::string line; std::getline(in, line);) {
    auto [first, rest] = Split(line);
    if (state == kOut && (first == keyword || Split(rest).first == keyword)) {
      blocks.push_back({line, {}});
      state = kHead;
    } else if (state != kOut && first == (state == kHead ? "BEGIN" : "END")) {
      state = state == kHead ? kBody : kOut;
    } else if (state == kBody) {
      blocks.back().body.push_back(line);
    }
  }
  return blocks;
}

}  // namespace

ScriptedDialog ReadScriptedDialog(const std::string& script, int id) {
  Symbols symbols;
  ReadSymbols(script, &symbols);
  for (const Block& block : Blocks(script, "DIALOGEX")) {
    auto [name, rest] = Split(block.head);
    if (Value(name, symbols) != id) continue;
    ScriptedDialog dialog;
    std::vector<std::string> size = Arguments(Split(rest).second);
    if (size.size() == 4) dialog.cx = Value(size[2], symbols), dialog.cy = Value(size[3], symbols);
    for (const std::string& line : block.body) {
      auto [kind, statement] = Split(line);
      std::vector<std::string> a = Arguments(statement);
      ScriptedControl c;
      c.shown = line.find("NOT WS_VISIBLE") == std::string::npos;
      size_t at = 2;  // where the rectangle starts
      if (kind == "CONTROL" && a.size() >= 8) {
        c.cls = Text(a[2]);
        at = 4;
      } else if ((kind == "LTEXT" || kind == "RTEXT" || kind == "CTEXT" || kind == "GROUPBOX" || kind == "PUSHBUTTON" ||
                  kind == "DEFPUSHBUTTON") &&
                 a.size() >= 6) {
        c.cls = kind.find("TEXT") != std::string::npos ? "Static" : "Button";
      } else if ((kind == "EDITTEXT" || kind == "COMBOBOX") && a.size() >= 5) {
        // No text: the id comes first.
        a.insert(a.begin(), "\"\"");
        c.cls = kind == "EDITTEXT" ? "Edit" : "ComboBox";
      } else {
        if (!kind.empty()) ADD_FAILURE() << script << ": a statement this reader does not know: " << line;
        continue;
      }
      c.text = Text(a[0]);
      c.id = Value(a[1], symbols);
      c.x = Value(a[at], symbols), c.y = Value(a[at + 1], symbols);
      c.cx = Value(a[at + 2], symbols), c.cy = Value(a[at + 3], symbols);
      dialog.controls.push_back(c);
    }
    return dialog;
  }
  ADD_FAILURE() << script << ": no DIALOGEX " << id;
  return {};
}

std::map<int, std::string> ReadScriptedStrings(const std::string& script) {
  Symbols symbols;
  ReadSymbols(script, &symbols);
  std::map<int, std::string> strings;
  for (const Block& block : Blocks(script, "STRINGTABLE")) {
    for (const std::string& line : block.body) {
      auto [name, text] = Split(line);
      if (!text.empty() && text.front() == '"') strings[Value(name, symbols)] = Text(text);
    }
  }
  return strings;
}

HostDialogTemplate LoadTemplate(HINSTANCE module, int id) {
  std::string error;
  std::optional<HostDialogTemplate> t =
      HostParseDialogTemplate(HostFindResource(module, ResId::Num(5), ResId::Num(static_cast<uint16_t>(id))), &error);
  EXPECT_TRUE(t.has_value()) << "template " << id << ": " << error;
  return t.value_or(HostDialogTemplate{});
}

HostWindowInfo Info(HWND hwnd) {
  std::optional<HostWindowInfo> info = HostGetWindowInfo(hwnd);
  EXPECT_TRUE(info.has_value());
  return info.value_or(HostWindowInfo{});
}

HostDialogTemplate ExpectTemplateAsScripted(HINSTANCE module, const std::string& script, int id) {
  HostDialogTemplate t = LoadTemplate(module, id);
  ScriptedDialog want = ReadScriptedDialog(script, id);
  EXPECT_EQ(t.cx, want.cx);
  EXPECT_EQ(t.cy, want.cy);
  EXPECT_EQ(t.items.size(), want.controls.size());
  for (size_t i = 0; i < std::min(t.items.size(), want.controls.size()); ++i) {
    const HostDialogItem& it = t.items[i];
    const ScriptedControl& w = want.controls[i];
    SCOPED_TRACE("control #" + std::to_string(i) + " (" + std::to_string(w.id) + ")");
    EXPECT_EQ(it.id, w.id);
    EXPECT_EQ(strcasecmp(it.className.c_str(), w.cls.c_str()), 0) << it.className << " against " << w.cls;
    EXPECT_EQ(it.text, w.text);
    EXPECT_EQ(std::vector<int>({it.x, it.y, it.cx, it.cy}), std::vector<int>({w.x, w.y, w.cx, w.cy}));
    EXPECT_EQ((it.style & WS_VISIBLE) != 0, w.shown);
  }
  return t;
}
