#include "hostside/scene_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "hostside/class_registry.h"
#include "hostside/host_maps.h"
#include "hostside/paramblock_access.h"
#include "imtl.h"
#include "ioapi.h"
#include "iparamb.h"
#include "test_node.h"

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

int g_live = 0;  // objects of the classes below that exist
std::vector<std::string> g_log;
bool g_recordCallbacks = false;

constexpr Class_ID kOwnerId(0x5CE7E001, 1), kLeafId(0x5CE7E001, 2), kBrokenId(0x5CE7E001, 3), kToolId(0x5CE7E001, 4);

// The owner's block: version 2 now, version 1 had the first three.
ParamBlockDescID kV2[] = {{TYPE_FLOAT, nullptr, TRUE, 0},
                          {TYPE_INT, nullptr, TRUE, 1},
                          {TYPE_BOOL, nullptr, TRUE, 2},
                          {TYPE_RGBA, nullptr, TRUE, 3},
                          {TYPE_POINT3, nullptr, FALSE, 4}};
ParamVersionDesc kOld[] = {ParamVersionDesc(kV2, 3, 1)};
ParamVersionDesc kCurrent(kV2, 5, 2);
const char* const kNames[] = {"Amount", "Count", "On", "Tint", "Offset"};

class Counted : public ReferenceTarget {
 public:
  Counted() { ++g_live; }
  ~Counted() override { --g_live; }
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
};

// Two free reference slots.
class Leaf : public Counted {
 public:
  Class_ID ClassID() override { return kLeafId; }
  int NumRefs() override { return 2; }
  RefTargetHandle GetReference(int i) override { return refs_[i]; }
  void SetReference(int i, RefTargetHandle t) override { refs_[i] = t; }

 private:
  RefTargetHandle refs_[2] = {nullptr, nullptr};
};

class LogCallback : public PostLoadCallback {
 public:
  LogCallback(std::string label, int priority, ReferenceMaker* owner)
      : label_(label), priority_(priority), owner_(owner) {}
  int Priority() override { return priority_; }
  void proc(ILoad* iload) override {
    auto* block = static_cast<IParamBlock*>(owner_->GetReference(0));
    RefTargetHandle made = iload->DisplacedReference(owner_, 1);
    g_log.push_back(label_ + " v" + std::to_string(block->GetVersion()) + (made ? " displaced" : ""));
  }

 private:
  std::string label_;
  int priority_;
  ReferenceMaker* owner_;
};

// Reference 0: its block, made at construction; 1: a Leaf made at
// construction; 2: free. Names its parameters and saves a note of its own.
class Owner : public Counted {
 public:
  Owner() {
    ReplaceReference(0, CreateParameterBlock(kV2, 5, 2));
    Color tint(0.25f, 0.5f, 0.75f);
    Block()->SetValue(3, 0, tint);
    ReplaceReference(1, new Leaf);
  }
  Class_ID ClassID() override { return kOwnerId; }
  int NumRefs() override { return 3; }
  RefTargetHandle GetReference(int i) override { return refs_[i]; }
  void SetReference(int i, RefTargetHandle t) override { refs_[i] = t; }
  IParamBlock* Block() { return static_cast<IParamBlock*>(refs_[0]); }

  RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID& part, RefMessage message) override {
    if (message != REFMSG_GET_PARAM_NAME) return REF_SUCCEED;
    auto* query = reinterpret_cast<GetParamName*>(part);
    if (query->index >= 0 && query->index < 5) query->name = kNames[query->index];
    return REF_STOP;
  }
  IOResult Save(ISave* isave) override {
    if (!note.empty()) isave->SaveString("note", note.c_str());
    return IO_OK;
  }
  IOResult Load(ILoad* iload) override {
    CStr s;
    if (iload->LoadString("note", s)) note = s.data();
    if (g_recordCallbacks) {
      iload->RegisterPostLoadCallback(new LogCallback("late", 7, this));
      iload->RegisterPostLoadCallback(new LogCallback("early", 3, this));
    }
    iload->RegisterPostLoadCallback(new ParamBlockPLCB(kOld, 1, &kCurrent, this, 0));
    return IO_OK;
  }
  std::string note;

 private:
  RefTargetHandle refs_[3] = {nullptr, nullptr, nullptr};
};

class Broken : public Leaf {
 public:
  Class_ID ClassID() override { return kBrokenId; }
  IOResult Load(ILoad*) override { return IO_ERROR; }
};

template <typename T>
class Desc : public ClassDesc {
 public:
  Desc(const char* name, Class_ID id, SClass_ID super = REF_TARGET_CLASS_ID) : name_(name), id_(id), super_(super) {}
  int IsPublic() override { return 1; }
  void* Create(BOOL) override { return new T; }
  const char* ClassName() override { return name_; }
  SClass_ID SuperClassID() override { return super_; }
  Class_ID ClassID() override { return id_; }
  const char* Category() override { return "Scene Tests"; }

 private:
  const char* name_;
  Class_ID id_;
  SClass_ID super_;
};
Desc<Owner> ownerDesc("Scene Test Owner", kOwnerId);
Desc<Leaf> leafDesc("Scene Test Leaf", kLeafId);
Desc<Broken> brokenDesc("Scene Test Broken", kBrokenId);
Desc<Leaf> toolDesc("Scene Test Tool", kToolId, UTILITY_CLASS_ID);

class SceneFileTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (ClassDesc* d : std::initializer_list<ClassDesc*>{&ownerDesc, &leafDesc, &brokenDesc, &toolDesc})
      HostRegisterClass(d, "scene_file_test");
  }
  void SetUp() override {
    g_log.clear();
    g_recordCallbacks = false;
    SetAnimateMode(FALSE);
    live0 = g_live;
  }
  void TearDown() override { EXPECT_EQ(g_live, live0) << "objects left behind"; }

  static std::string Write(const Scene& s) {
    std::string text, error;
    EXPECT_TRUE(HostWriteScene(s, &text, &error)) << error;
    return text;
  }
  static std::unique_ptr<Scene> Read(const std::string& text) {
    std::string error;
    auto s = HostReadScene(text, "test.json", &error);
    EXPECT_TRUE(s) << error;
    return s;
  }
  // The error a text gives; the text must not load.
  static std::string Refused(const std::string& text) {
    std::string error;
    EXPECT_FALSE(HostReadScene(text, "test.json", &error));
    EXPECT_EQ(error.rfind("test.json: ", 0), 0u) << error;
    return error;
  }
  int live0 = 0;
};

HostParamSample Sample(float a, float b = 0, float c = 0, TimeValue t = 0, int i = 0) {
  HostParamSample s;
  s.time = t;
  s.v[0] = a, s.v[1] = b, s.v[2] = c;
  s.i = i;
  return s;
}
HostParamSample IntAt(TimeValue t, int i) { return Sample(0, 0, 0, t, i); }

bool SameBits(const HostParamSample& a, const HostParamSample& b) {
  return a.time == b.time && a.i == b.i && std::memcmp(a.v, b.v, sizeof a.v) == 0;
}
bool SameBits(const HostParamValue& a, const HostParamValue& b) {
  if (a.type != b.type || a.keys.size() != b.keys.size() || !SameBits(a.constant, b.constant)) return false;
  for (size_t k = 0; k < a.keys.size(); ++k)
    if (!SameBits(a.keys[k], b.keys[k])) return false;
  return true;
}

// A scene of one owner, as text.
std::string OneOwnerText() {
  Scene s;
  s.AddRoot(new Owner);
  std::string text, error;
  HostWriteScene(s, &text, &error);
  return text;
}

}  // namespace

TEST_F(SceneFileTest, EveryTypeAndKeyReadsBackBitExactAndResavesByteIdentical) {
  std::string first;
  std::vector<HostParamValue> before;
  {
    Scene scene;
    auto* owner = new Owner;
    scene.AddRoot(owner);
    owner->note = "a \"quoted\"\nnote, caf\xC3\xA9";
    IParamBlock* b = owner->Block();
    HostParamValue f{TYPE_FLOAT,
                     {},
                     {Sample(0.1f, 0, 0, 0), Sample(-0.0f, 0, 0, 160), Sample(1e-45f, 0, 0, 321),
                      Sample(FLT_MAX, 0, 0, 4800), Sample(std::nextafter(1.0f, 2.0f), 0, 0, 9600)}};
    HostParamValue i{TYPE_INT, {}, {IntAt(-160, -7), IntAt(0, 2147483647), IntAt(1600, -2147483647 - 1)}};
    HostParamValue on{TYPE_BOOL, {}, {IntAt(0, 1), IntAt(1, 0)}};
    HostParamValue tint{TYPE_RGBA, {}, {Sample(1.0f / 3, 2e-38f, 0.7f, 0), Sample(16777217.0f, -1.5f, 3.14159f, 480)}};
    HostParamValue offset{TYPE_POINT3, Sample(123456.789f, -0.3f, 5e-40f), {}};
    std::vector<HostParamValue> values = {f, i, on, tint, offset};
    for (int k = 0; k < 5; ++k) ASSERT_TRUE(HostSetParam(b, k, values[k]));
    for (int k = 0; k < 5; ++k) before.push_back(HostGetParam(b, k));
    first = Write(scene);
  }
  EXPECT_NE(first.find("\"name\": \"Tint\""), std::string::npos) << "parameter names for readers";
  auto loaded = Read(first);
  ASSERT_TRUE(loaded);
  ASSERT_EQ(loaded->NumRoots(), 1);
  auto* owner = static_cast<Owner*>(loaded->Root(0));
  EXPECT_EQ(owner->note, "a \"quoted\"\nnote, caf\xC3\xA9");
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(SameBits(HostGetParam(owner->Block(), k), before[k])) << "parameter " << k;
  EXPECT_EQ(Write(*loaded), first);
}

TEST_F(SceneFileTest, MapNameAndGBufferIdSurviveAndVersionOneFilesStillLoad) {
  std::string text;
  {
    Scene scene;
    auto* map = static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, CHECKER_CLASS));
    scene.AddRoot(map);
    map->SetName("Floor \"tiles\"");
    map->SetGBufID(4000000000u);
    text = Write(scene);
  }
  auto loaded = Read(text);
  ASSERT_TRUE(loaded);
  auto* map = static_cast<Texmap*>(loaded->Root(0));
  EXPECT_EQ(std::string(map->GetName().data()), "Floor \"tiles\"");
  EXPECT_EQ(map->GetGBufID(), 4000000000u);

  // What the previous version wrote: no name and no G-buffer id.
  Json doc = Json::parse(text);
  doc["version"] = 1;
  doc["objects"][0].erase("name");
  doc["objects"][0].erase("gbufferId");
  loaded = Read(doc.dump(1));
  ASSERT_TRUE(loaded);
  map = static_cast<Texmap*>(loaded->Root(0));
  EXPECT_EQ(std::string(map->GetName().data()), "");
  EXPECT_EQ(map->GetGBufID(), 0u);
}

TEST_F(SceneFileTest, NonFiniteFloatsSurviveAsWords) {
  Scene scene;
  auto* owner = new Owner;
  scene.AddRoot(owner);
  float nan = std::nanf(""), inf = INFINITY;
  HostSetParam(owner->Block(), 0, HostParamValue{TYPE_FLOAT, {}, {Sample(nan, 0, 0, 0), Sample(-inf, 0, 0, 160)}});
  std::string text = Write(scene);
  EXPECT_NE(text.find("\"nan\""), std::string::npos);
  auto loaded = Read(text);
  ASSERT_TRUE(loaded);
  HostParamValue v = HostGetParam(static_cast<Owner*>(loaded->Root(0))->Block(), 0);
  ASSERT_EQ(v.keys.size(), 2u);
  EXPECT_TRUE(std::isnan(v.keys[0].v[0]));
  EXPECT_EQ(v.keys[1].v[0], -inf);
}

TEST_F(SceneFileTest, SharedTargetIsWrittenOnceAndSharedAfterLoad) {
  std::string text;
  {
    Scene scene;
    auto *a = new Owner, *b = new Owner;
    auto* shared = new Leaf;
    scene.AddRoot(a);
    scene.AddRoot(b);
    a->ReplaceReference(2, shared);
    b->ReplaceReference(2, shared);
    text = Write(scene);
  }
  // Two owners with a block and a leaf each, and the shared leaf once.
  Json doc = Json::parse(text);
  ASSERT_EQ(doc["objects"].size(), 7u);
  EXPECT_EQ(doc["roots"], Json::parse("[0, 4]"));
  auto loaded = Read(text);
  ASSERT_TRUE(loaded);
  ReferenceTarget* shared = loaded->Root(0)->GetReference(2);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(loaded->Root(1)->GetReference(2), shared);
  EXPECT_EQ(shared->DependentCount(), 2);
  EXPECT_EQ(g_live - live0, 5);  // two owners, three leaves: the displaced ones are gone
}

TEST_F(SceneFileTest, DeletingTheSceneDeletesWhatNobodyElseReferences) {
  auto* keeper = new TestNode(1);
  {
    Scene scene;
    auto* owner = new Owner;
    scene.AddRoot(owner);
    scene.AddRoot(owner);  // once is enough
    EXPECT_EQ(scene.NumRoots(), 1);
    keeper->ReplaceReference(0, owner->GetReference(1));
    EXPECT_EQ(g_live - live0, 2);
  }
  EXPECT_EQ(g_live - live0, 1);  // the leaf the keeper holds
  keeper->DeleteThis();
}

TEST_F(SceneFileTest, LoadRunsCallbacksByPriorityWhileDisplacedTargetsLive) {
  // A version-1 block of three parameters, as the previous release saved it.
  Json doc = Json::parse(OneOwnerText());
  Json& params = doc["objects"][1]["paramBlock"]["params"];
  doc["objects"][1]["paramBlock"]["version"] = 1;
  params.erase(4);
  params.erase(3);
  params[0]["value"] = 2.5;
  params[1]["keys"] = Json::parse(R"([{"time": 0, "value": 1}, {"time": 160, "value": 9}])");
  params[1].erase("value");
  g_recordCallbacks = true;
  auto loaded = Read(doc.dump());
  ASSERT_TRUE(loaded);
  // The host's converter (priority 0) ran first; the displaced leaf was alive
  // throughout and is gone now.
  EXPECT_EQ(g_log, (std::vector<std::string>{"early v2 displaced", "late v2 displaced"}));
  EXPECT_EQ(g_live - live0, 2);
  IParamBlock* b = static_cast<Owner*>(loaded->Root(0))->Block();
  ASSERT_EQ(b->NumParams(), 5);
  EXPECT_EQ(HostGetParam(b, 0).constant.v[0], 2.5f);
  EXPECT_EQ(HostGetParam(b, 1).keys.size(), 2u);
  HostParamSample tint = HostGetParam(b, 3).constant;  // not in version 1: the constructor's value
  EXPECT_EQ(tint.v[1], 0.5f);
}

TEST_F(SceneFileTest, BadFilesAreRefusedWithThePlaceAndLeaveNothing) {
  const std::string good = OneOwnerText();
  auto edit = [&](auto change) {
    Json doc = Json::parse(good);
    change(doc);
    return doc.dump(1);
  };
  struct Case {
    std::string text, expected;
  };
  std::vector<Case> cases = {
      {"", "the file is empty"},
      {good.substr(0, good.size() / 2), "not valid JSON: "},
      {"scene: yes", "not valid JSON: "},
      {std::string(100000, '['), "test.json: line 1, column 33: values nested more than 32 levels deep"},
      {"[1, 2]", "not a scene file"},
      {R"({"format": "other", "version": 1})", "not a scene file"},
      {edit([](Json& d) { d["version"] = 3; }), "version: format version 3 is not supported"},
      {edit([](Json& d) { d["objects"][0]["name"] = "A"; }), "objects[0]: only a map has a \"name\""},
      {edit([](Json& d) { d["objects"][0]["classId"][1] = "0x12345678"; }), "objects[0]: unknown class"},
      {edit([](Json& d) { d["objects"][0]["classId"][1] = "0x5CE7E00"; }), "objects[0]: unknown class"},
      {edit([](Json& d) { d["objects"][0]["classId"][1] = "12"; }), "objects[0].classId[1]: \"12\" is not"},
      // What a message quotes from the file is escaped and cut short.
      {edit([](Json& d) {
         d["objects"][0]["classId"][1] = "0x12345678";
         d["objects"][0]["class"] = "\x1b]0;x\x07\n\xc2\x9b \xc3\xa9" + std::string(100, 'a');
       }),
       "objects[0]: unknown class '\\x1B]0;x\\x07\\x0A\\xC2\\x9B \xc3\xa9" + std::string(33, 'a') + "...' (0x"},
      {edit([](Json& d) {
         d["objects"][2]["classId"][1] = "0x00000004";
         d["objects"][2]["superClassId"] = "0x00001020";
         d["objects"][2]["class"] = "Leaf?";  // for readers only
       }),
       "objects[2]: class 'Scene Test Tool' (0x5CE7E001, 0x00000004) (super class 0x00001020) is not a scene object"},
      {edit([](Json& d) { d["objects"][0].erase("refs"); }), "objects[0]: missing \"refs\""},
      {edit([](Json& d) { d["objects"][0]["index"] = "zero"; }), "objects[0].index: expected a whole number"},
      {edit([](Json& d) { d["objects"][0]["refs"] = Json::object(); }), "objects[0].refs: expected an array"},
      {edit([](Json& d) { d["objects"][0]["refs"][1] = 99; }), "objects[0].refs[1]: refers to object 99"},
      {edit([](Json& d) { d["objects"][0]["refs"][1] = -1; }), "objects[0].refs[1]: refers to object -1"},
      {edit([](Json& d) { d["objects"][0]["refs"] = Json::parse("[1, 2, null, null]"); }),
       "objects[0].refs: class 'Scene Test Owner' has 3 reference(s), the file gives 4"},
      {edit([](Json& d) { d["objects"][2]["refs"][0] = 0; }),
       "objects[2].refs[0]: reference cycle: this refers to object 0, which reaches this object again"},
      {edit([](Json& d) { d["objects"][2]["refs"][0] = 2; }), "objects[2].refs[0]: reference cycle"},
      {edit([](Json& d) {
         Json extra = d["objects"][2];
         extra["index"] = 3;
         d["objects"].push_back(extra);
       }),
       "objects[3]: no root reaches this object"},
      {edit([](Json& d) { d["roots"] = Json::parse("[5]"); }), "roots[0]: 5 is out of range"},
      {edit([](Json& d) { d["roots"] = Json::parse("[0, 0]"); }), "roots[1]: object 0 is a root already"},
      {edit([](Json& d) { d["objects"][0]["refs"] = Json::parse("[2, 1, null]"); }),
       "objects[0].refs[0]: 'Scene Test Owner' holds a parameter block in this reference, the file gives object 2, an "
       "object of class 'Scene Test Leaf' (super class 0x00000100)"},
      {edit([](Json& d) { d["objects"][1]["paramBlock"]["params"][0]["value"] = "big"; }),
       "objects[1].paramBlock.params[0].value: expected a number, found \"big\""},
      {edit([](Json& d) { d["objects"][1]["paramBlock"]["params"][0]["value"] = 1e300; }),
       "params[0].value: number out of range of a float"},
      {edit([](Json& d) { d["objects"][1]["paramBlock"]["params"][2]["value"] = 1; }),
       "params[2].value: expected true or false, found the number 1"},
      {edit([](Json& d) { d["objects"][1]["paramBlock"]["params"][3]["value"] = Json::parse("[1, 2]"); }),
       "params[3].value: expected an array of three numbers"},
      {edit([](Json& d) { d["objects"][1]["paramBlock"]["params"][3]["type"] = "colour"; }),
       "params[3].type: unknown type \"colour\""},
      {edit([](Json& d) { d["objects"][1]["paramBlock"]["params"][1]["id"] = 0; }), "params[1].id: id 0 is used twice"},
      {edit([](Json& d) { d["objects"][1]["paramBlock"]["params"][0]["keys"] = Json::array(); }),
       "params[0]: give either \"value\" or \"keys\""},
      {edit([](Json& d) {
         Json& p = d["objects"][1]["paramBlock"]["params"][0];
         p.erase("value");
         p["keys"] = Json::parse(R"([{"time": 160, "value": 1}, {"time": 160, "value": 2}])");
       }),
       "params[0].keys[1].time: keys must be in increasing time order"},
      {edit([](Json& d) {
         Json& p = d["objects"][1]["paramBlock"]["params"][4];
         p.erase("value");
         p["keys"] = Json::parse(R"([{"time": 0, "value": [1, 2, 3]}])");
       }),
       "params[4].keys: a parameter that is not animatable has no keys"},
      // Layouts the owner cannot read: same version, other parameters; or a
      // version it does not convert.
      {edit([](Json& d) {
         Json& p = d["objects"][1]["paramBlock"]["params"][3];
         p["type"] = "float";
         p["value"] = 1.0;
       }),
       "objects[0]: 'Scene Test Owner' uses a parameter block of version 2 with 5 parameter(s) in reference 0; the "
       "file's block (object 1) has version 2 with 5 parameter(s) and differs at parameter 3"},
      {edit([](Json& d) { d["objects"][1]["paramBlock"]["version"] = 7; }),
       "has version 7 with 5 parameter(s), which the object does not convert"},
      {edit([](Json& d) {
         d["objects"][2]["classId"][1] = "0x00000003";
         d["objects"][2]["class"] = "Scene Test Broken";
       }),
       "objects[2]: the object failed to load"},
  };
  for (const Case& c : cases) {
    std::string error = Refused(c.text);
    EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error << "\nwanted: " << c.expected;
    EXPECT_EQ(g_live, live0) << c.expected;
  }
}

TEST_F(SceneFileTest, SavingRefusesWhatCouldNotBeLoadedAgain) {
  Scene scene;
  auto *a = new Leaf, *b = new Leaf;
  scene.AddRoot(a);
  a->ReplaceReference(0, b);
  b->ReplaceReference(0, a);
  std::string text, error;
  EXPECT_FALSE(HostWriteScene(scene, &text, &error));
  EXPECT_NE(error.find("reference cycle"), std::string::npos) << error;
  b->DeleteReference(0);

  b->ReplaceReference(1, new TestNode(0));  // a class nobody registered
  EXPECT_FALSE(HostWriteScene(scene, &text, &error));
  EXPECT_NE(error.find("object 2 is of class (0x00000000, 0x00000000), super class 0x00000000, which is not "
                       "registered"),
            std::string::npos)
      << error;
}

TEST_F(SceneFileTest, SaveReplacesTheFileWholeOrNotAtAll) {
  fs::path dir = fs::temp_directory_path() / ("scene_file_test_" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::path file = dir / "scene.json";
  auto read = [](const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  };
  Scene scene;
  auto* owner = new Owner;
  scene.AddRoot(owner);
  std::string error;
  ASSERT_TRUE(HostSaveScene(scene, file, &error)) << error;
  const std::string saved = read(file);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0666 & ~mask)) << "not a private temporary's mode";

  // Loading and saving again gives the same bytes.
  auto loaded = HostLoadScene(file, &error);
  ASSERT_TRUE(loaded) << error;
  ASSERT_TRUE(HostSaveScene(*loaded, dir / "again.json", &error)) << error;
  EXPECT_EQ(read(dir / "again.json"), saved);

  // A write that fails half-way (the file size limit stops it) leaves the
  // old file and no temporary behind.
  owner->note = std::string(4096, 'x');
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 512;
  setrlimit(RLIMIT_FSIZE, &small);
  bool ok = HostSaveScene(scene, file, &error);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "cannot save " + file.string() + ": " + std::strerror(EFBIG));
  EXPECT_EQ(read(file), saved);

  EXPECT_FALSE(HostSaveScene(scene, dir / "missing" / "x.json", &error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  EXPECT_FALSE(HostSaveScene(scene, dir, &error));
  EXPECT_NE(error.find("it is a folder"), std::string::npos) << error;
  EXPECT_FALSE(HostLoadScene(dir / "missing.json", &error));
  EXPECT_EQ(error, "cannot read " + (dir / "missing.json").string() + ": No such file or directory");

  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"again.json", "scene.json"}));
  loaded.reset();
  fs::remove_all(dir);
}
