#include "resource_scripts.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>

#include "hostside/module_table.h"

namespace fs = std::filesystem;

namespace {

using Symbols = std::map<std::string, long>;

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
  static const std::regex include(R"(^\s*#\s*include\s+"([^"]+)\")"), define(R"(^\s*#\s*define\s+(\w+)\s+(\S+))");
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (std::regex_search(line, m, include)) {
      fs::path beside = file.parent_path() / m[1].str();
      ReadSymbols(fs::exists(beside) ? beside : fs::path(HOSTSDK_INCLUDE_DIR) / m[1].str(), symbols);
    } else if (std::regex_search(line, m, define)) {
      if (std::optional<long> v = Number(m[2].str())) (*symbols)[m[1].str()] = *v;
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
  for (std::string& a : args) {
    size_t b = a.find_first_not_of(" \t"), e = a.find_last_not_of(" \t");
    a = b == std::string::npos ? "" : a.substr(b, e - b + 1);
  }
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

// The lines between BEGIN and END of every block whose head line matches.
struct Block {
  std::string head;
  std::vector<std::string> body;
};
std::vector<Block> Blocks(const std::string& script, const std::regex& head) {
  std::vector<Block> blocks;
  std::ifstream in(script);
  enum { kOut, kHead, kBody } state = kOut;
  for (std::string line; std::getline(in, line);) {
    if (state == kOut && std::regex_search(line, head)) {
      blocks.push_back({line, {}});
      state = kHead;
    } else if (state != kOut && line.rfind(state == kHead ? "BEGIN" : "END", 0) == 0) {
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
  static const std::regex head(R"(^(\w+)\s+DIALOGEX\s+(.*)$)"), statement(R"(^\s*([A-Z]+)\s+(.*)$)");
  std::smatch m;
  for (const Block& block : Blocks(script, head)) {
    std::regex_search(block.head, m, head);
    if (Value(m[1].str(), symbols) != id) continue;
    ScriptedDialog dialog;
    std::vector<std::string> size = Arguments(m[2].str());
    if (size.size() == 4) dialog.cx = Value(size[2], symbols), dialog.cy = Value(size[3], symbols);
    for (const std::string& line : block.body) {
      if (!std::regex_search(line, m, statement)) continue;
      std::string kind = m[1].str();
      std::vector<std::string> a = Arguments(m[2].str());
      ScriptedControl c;
      c.shown = line.find("NOT WS_VISIBLE") == std::string::npos;
      size_t at = 2;  // where the rectangle starts
      if (kind == "CONTROL" && a.size() >= 8) {
        c.cls = Text(a[2]);
        at = 4;
      } else if ((kind == "LTEXT" || kind == "RTEXT" || kind == "CTEXT" || kind == "GROUPBOX") && a.size() >= 6) {
        c.cls = kind == "GROUPBOX" ? "Button" : "Static";
      } else {
        ADD_FAILURE() << script << ": a statement this reader does not know: " << line;
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
  static const std::regex entry(R"(^\s*(\w+)\s+("(?:[^"\\]|\\.)*")\s*$)");
  std::map<int, std::string> strings;
  std::smatch m;
  for (const Block& block : Blocks(script, std::regex("^STRINGTABLE"))) {
    for (const std::string& line : block.body) {
      if (std::regex_search(line, m, entry)) strings[Value(m[1].str(), symbols)] = Text(m[2].str());
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
