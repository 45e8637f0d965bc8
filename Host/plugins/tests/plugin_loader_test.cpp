// The plug-in loader and what it reads beside a plug-in file: the order
// files are opened in, the entries module, the parameter-name tables.
#include "plugins/plugin_loader.h"

#include <gtest/gtest.h>
#include <hostside/class_registry.h>
#include <imtl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "plugins/host_entries.h"
#include "plugins/param_names.h"

namespace fs = std::filesystem;

namespace plughost {

namespace {

class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/plughost-loader-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~TempFolder() { fs::remove_all(path_); }
  const fs::path& operator*() const { return path_; }
  fs::path Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
    return path_ / name;
  }

 private:
  fs::path path_;
};

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

}  // namespace

TEST(PluginLoader, LibrariesOfAFolderOpenFirstAndOnlyPluginFilesAreTaken) {
  TempFolder dir;
  for (const char* name : {"b.dlt", "z.dlu", "A.DLU", "c.txt", "d.dlo"}) dir.Write(name, "x");
  fs::create_directory(*dir / "e.dlt");  // a folder, not a file
  std::vector<std::string> problems;
  std::vector<fs::path> files = FindPluginFiles({*dir, *dir / "missing"}, &problems);
  std::vector<std::string> names;
  for (const fs::path& f : files) names.push_back(f.filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"A.DLU", "z.dlu", "b.dlt", "d.dlo"}));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("missing"), std::string::npos);
}

TEST(PluginLoader, RefusesFilesOfAnotherApiOrWithoutEntryPoints) {
  std::vector<PluginFile> files = LoadPlugins({PLUGHOST_BAD_PLUGINS}, nullptr);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].path.filename(), "HostTestNoEntry.dlo");
  EXPECT_EQ(files[0].handle, nullptr);
  EXPECT_EQ(files[0].error,
            "not a plug-in of this host: it lacks LibVersion LibDescription LibNumberClasses LibClassDesc");
  EXPECT_EQ(files[1].handle, nullptr);
  EXPECT_EQ(files[1].error, "built for host API 7 (version 0x0FA00700), this host has API 8");
  EXPECT_TRUE(files[1].classes.empty());
  EXPECT_EQ(DescribeHostVersion(0x0FA00800), "0x0FA00800 (release 4000, API 8, revision 0)");
}

// The build's own plug-in folder: the library's entries module gives the
// perturbation of a point, which moves the origin as `plughost sample --what
// perturbed --set Size=1` shows it (Host/tests/plughost_render_test.sh), and
// the library's lattice noise (its values: Host/python/tests).
TEST(PluginLoader, EntriesBesideAPluginFileAreKeptByClass) {
  std::vector<PluginFile> files = LoadPlugins({DefaultPluginFolder()}, nullptr);
  const PluginFile* lib = nullptr;
  for (const PluginFile& f : files)
    if (f.path.filename() == "QuorlLib.dlu") lib = &f;
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(lib->hostEntries, 2) << lib->hostEntriesError;
  ASSERT_NE(FindLatticeNoise(), nullptr);
  // The texture brings its perturbation object up to date, as before a sample.
  auto* tex = static_cast<Texmap*>(HostFindClassByName("Vede")->Create(FALSE));
  Interval valid = FOREVER;
  tex->Update(0, valid);
  ReferenceTarget* perturbation = nullptr;
  HostPerturbPointFn perturb = nullptr;
  for (int i = 0; i < tex->NumRefs() && !perturb; ++i) perturb = FindPerturbPoint(perturbation = tex->GetReference(i));
  ASSERT_NE(perturb, nullptr);
  Point3 p(0.0f, 0.0f, 0.0f);
  perturb(perturbation, &p);
  EXPECT_EQ(Bits(p.x), Bits(0.7390388f));
  EXPECT_EQ(Bits(p.y), Bits(0.75958323f));
  EXPECT_EQ(Bits(p.z), Bits(0.7792112f));
  EXPECT_EQ(FindPerturbPoint(nullptr), nullptr);
  EXPECT_EQ(FindPerturbPoint(tex), nullptr);
  tex->DeleteThis();
}

// A damaged entries module is left out with its reason; the plug-in file
// itself still loads.
TEST(PluginLoader, ADamagedEntriesModuleIsLeftOut) {
  TempFolder dir;
  fs::path copy = *dir / "Copy.dlo";
  fs::copy_file(fs::path(PLUGHOST_TEST_PLUGINS) / "HostTestClasses.dlo", copy);
  dir.Write("Copy.dlo.host-entries.so", "not an ELF file");
  std::vector<PluginFile> files = OpenPluginFiles({copy});
  ASSERT_EQ(files.size(), 1u);
  ASSERT_NE(files[0].handle, nullptr) << files[0].error;
  LoadHostEntries(files[0]);
  EXPECT_EQ(files[0].hostEntries, 0);
  EXPECT_EQ(files[0].hostEntriesError.rfind("Copy.dlo.host-entries.so: not an ELF image", 0), 0u)
      << files[0].hostEntriesError;
}

TEST(ParamNames, ATableIsReadOrRefusedWithItsReason) {
  TempFolder dir;
  std::vector<ParamNameTable> tables;
  std::string error;
  fs::path good = dir.Write("good.json", R"({"format": "quorl-param-names", "version": 1, "tables": [
      {"classId": ["0x00000001", "0x0000ABCD"], "reference": 2, "names": [{"param": 0, "string": 7}]}]})");
  ASSERT_TRUE(ReadParamNames(good, &tables, &error)) << error;
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].classId, Class_ID(1, 0xABCD));
  EXPECT_EQ(tables[0].reference, 2);
  EXPECT_EQ(tables[0].strings, (std::map<int, int>{{0, 7}}));

  const std::pair<const char*, const char*> bad[] = {
      {"{", "not valid JSON"},
      {R"({"format": "other", "version": 1})", "not a parameter-name table of version 1"},
      {R"({"format": "quorl-param-names", "version": 1})", "no \"tables\" array"},
      {R"({"format": "quorl-param-names", "version": 1, "tables": [{"classId": ["1", "2"]}]})",
       "a table without a \"classId\" of two words like \"0x0000ABCD\""},
      {R"({"format": "quorl-param-names", "version": 1, "tables": [{"classId": ["0x00000001", "0x00000002"],
           "reference": -1}]})",
       "a table without a \"reference\" index"},
      {R"({"format": "quorl-param-names", "version": 1, "tables": [{"classId": ["0x00000001", "0x00000002"],
           "reference": 1, "names": [{"param": "size"}]}]})",
       "a name that is not {\"param\": INDEX, \"string\": ID}"},
  };
  for (const auto& [text, why] : bad) {
    tables.clear();
    EXPECT_FALSE(ReadParamNames(dir.Write("bad.json", text), &tables, &error)) << text;
    EXPECT_EQ(error, std::string("bad.json: ") + why);
  }
}

// Read by the host's rules for files: never waited on, bounded in size and
// nesting, and a field of the wrong type is a refusal, not an exception.
TEST(ParamNames, HostileTablesAreRefusedWithoutWaitingOrGrowing) {
  TempFolder dir;
  std::vector<ParamNameTable> tables;
  std::string error;
  fs::path fifo = *dir / "fifo.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(ReadParamNames(fifo, &tables, &error));
  EXPECT_NE(error.find("fifo.json: "), std::string::npos) << error;
  std::string big = R"({"format": "quorl-param-names", "version": 1, "tables": []})";
  big += std::string(kMaxParamNamesBytes, ' ');
  EXPECT_FALSE(ReadParamNames(dir.Write("big.json", big), &tables, &error));
  EXPECT_NE(error.find("big.json: "), std::string::npos) << error;
  const std::pair<std::string, std::string> bad[] = {
      {std::string(100000, '[') + std::string(100000, ']'), "values nested more than 8 levels deep"},
      {R"({"format": 7, "version": 1})", "not a parameter-name table of version 1"},
      {R"({"format": "quorl-param-names", "version": "1"})", "not a parameter-name table of version 1"},
  };
  for (const auto& [text, why] : bad) {
    EXPECT_FALSE(ParseParamNames(text, "t", &tables, &error));
    EXPECT_EQ(error, "t: " + why);
  }
  EXPECT_TRUE(tables.empty());
}

}  // namespace plughost
