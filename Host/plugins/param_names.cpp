#include "plugins/param_names.h"

#include <hostside/class_registry.h>
#include <hostside/file_io.h>
#include <hostside/scene_file.h>
#include <windows.h>

#include <nlohmann/json.hpp>

namespace fs = std::filesystem;

namespace plughost {

namespace {

struct Named {
  HINSTANCE instance;
  ParamNameTable table;
};
// By the super class and class id of the class that holds the block.
std::map<std::pair<SClass_ID, Class_ID>, std::vector<Named>>& Tables() {
  static std::map<std::pair<SClass_ID, Class_ID>, std::vector<Named>> t;
  return t;
}

std::string NameFromTables(ReferenceMaker* owner, ReferenceTarget* block, int index) {
  auto it = owner ? Tables().find({owner->SuperClassID(), owner->ClassID()}) : Tables().end();
  if (it == Tables().end()) return {};
  for (const Named& n : it->second) {
    auto string = n.table.strings.find(index);
    // The table is data beside the plug-in, not the plug-in: a reference the
    // class does not have is never asked for.
    if (n.table.reference >= owner->NumRefs() || string == n.table.strings.end()) continue;
    if (owner->GetReference(n.table.reference) != block) continue;
    char buf[256];
    if (LoadStringA(n.instance, static_cast<UINT>(string->second), buf, sizeof buf) > 0) return buf;
  }
  return {};
}

bool Word(const nlohmann::json& j, unsigned long* out) {
  if (!j.is_string()) return false;
  const std::string& s = j.get_ref<const std::string&>();
  size_t used = 0;
  try {
    *out = std::stoul(s, &used, 16);
  } catch (const std::exception&) {
    return false;
  }
  return s.size() == 10 && s.rfind("0x", 0) == 0 && used == s.size() && *out <= 0xFFFFFFFFul;
}

bool Whole(const nlohmann::json& j, int* out) {
  if (!j.is_number_integer() || j.get<long long>() < 0 || j.get<long long>() > 0xFFFF) return false;
  *out = j.get<int>();
  return true;
}

}  // namespace

fs::path ParamNamesFile(const fs::path& pluginFile) { return pluginFile.string() + ".param-names.json"; }

bool ReadParamNames(const fs::path& file, std::vector<ParamNameTable>* tables, std::string* error) {
  std::string text, why;
  if (!HostReadRegularFile(file, kMaxParamNamesBytes, &text, &why)) {
    *error = file.filename().string() + ": " + why;
    return false;
  }
  return ParseParamNames(text, file.filename().string(), tables, error);
}

bool ParseParamNames(std::string_view text, const std::string& source, std::vector<ParamNameTable>* tables,
                     std::string* error) {
  bool tooDeep = false;
  nlohmann::json doc = nlohmann::json::parse(
      text.begin(), text.end(),
      [&](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        tooDeep = tooDeep || depth > kMaxParamNamesNesting;
        return !tooDeep;
      },
      false);
  auto fail = [&](const std::string& why) {
    *error = source + ": " + why;
    return false;
  };
  if (tooDeep) return fail("values nested more than " + std::to_string(kMaxParamNamesNesting) + " levels deep");
  if (doc.is_discarded()) return fail("not valid JSON");
  // Compared as JSON values: a format or version of another type is no table,
  // never an exception.
  if (!doc.is_object() || doc.value("format", nlohmann::json()) != "quorl-param-names" ||
      doc.value("version", nlohmann::json()) != 1)
    return fail("not a parameter-name table of version 1");
  const nlohmann::json& list = doc["tables"];
  if (!list.is_array()) return fail("no \"tables\" array");
  for (const nlohmann::json& t : list) {
    ParamNameTable table;
    unsigned long a = 0, b = 0;
    const nlohmann::json& id = t.is_object() ? t.value("classId", nlohmann::json()) : nlohmann::json();
    if (!id.is_array() || id.size() != 2 || !Word(id[0], &a) || !Word(id[1], &b))
      return fail("a table without a \"classId\" of two words like \"0x0000ABCD\"");
    table.classId = Class_ID(a, b);
    if (!Whole(t.value("reference", nlohmann::json()), &table.reference))
      return fail("a table without a \"reference\" index");
    const nlohmann::json& names = t.value("names", nlohmann::json());
    if (!names.is_array()) return fail("a table without \"names\"");
    for (const nlohmann::json& n : names) {
      int param = 0, string = 0;
      if (!n.is_object() || !Whole(n.value("param", nlohmann::json()), &param) ||
          !Whole(n.value("string", nlohmann::json()), &string))
        return fail("a name that is not {\"param\": INDEX, \"string\": ID}");
      table.strings[param] = string;
    }
    tables->push_back(std::move(table));
  }
  return true;
}

void LoadParamNames(PluginFile& file) {
  fs::path tableFile = ParamNamesFile(file.path);
  std::error_code ec;
  if (!fs::exists(tableFile, ec)) return;
  std::vector<ParamNameTable> tables;
  if (!ReadParamNames(tableFile, &tables, &file.paramNamesError)) return;
  for (const ParamNameTable& t : tables) {
    for (const PluginClass& c : file.classes) {
      if (!c.registered || c.desc->ClassID() != t.classId) continue;
      Tables()[{c.desc->SuperClassID(), t.classId}].push_back({file.instance, t});
      ++file.paramNameTables;
    }
  }
  HostSetParamNameFallback(&NameFromTables);
}

}  // namespace plughost
