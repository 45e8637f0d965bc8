// The texture object and its shading. This program is built from the
// texture's own sources and resources, so it is the texture's module; the
// library it imports is the real QuorlLib.dlu.
#include "Vede.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "assert_capture.h"
#include "counted_calls.h"
#include "float_bits.h"
#include "golden_table.h"
#include "hostside/class_registry.h"
#include "hostside/handlers.h"
#include "hostside/module_table.h"
#include "hostside/paramblock_access.h"
#include "hostside/shade_context.h"
#include "resource.h"
#include "resource_scripts.h"
#include "test_node.h"

extern HINSTANCE hInstance;

namespace {

// Registers the library's classes as the host does after opening the file,
// so that NewDefaultPerturb finds the perturbation class.
class RegisterLibrary : public testing::Environment {
 public:
  void SetUp() override {
    Dl_info info{};
    ASSERT_TRUE(dladdr(reinterpret_cast<void*>(&qnoise3), &info));
    void* lib = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    auto count = reinterpret_cast<LibNumberClassesFn>(dlsym(lib, "LibNumberClasses"));
    auto desc = reinterpret_cast<LibClassDescFn>(dlsym(lib, "LibClassDesc"));
    ASSERT_TRUE(count && desc);
    for (int i = 0; i < count(); ++i) HostRegisterClass(desc(i), "QuorlLib.dlu");
    HostRegisterClass(GetDirtDesc(), "Vede.dlt");
    dlclose(lib);
  }
};
const auto* const kEnv = testing::AddGlobalTestEnvironment(new RegisterLibrary);

class VedeTest : public testing::Test {
 protected:
  void SetUp() override {
    owner = new TestNode(1);
    tex = static_cast<Vede*>(GetDirtDesc()->Create(FALSE));
    owner->ReplaceReference(0, tex);
  }
  void TearDown() override {
    owner->DeleteThis();
    SetAnimateMode(FALSE);
  }
  void Update(TimeValue t = 0) {
    Interval v = FOREVER;
    tex->Update(t, v);
  }
  float Mono(Point3 p, TimeValue t = 0) {
    HostShadeContext sc;
    sc.pObj = p;
    sc.time = t;
    return tex->EvalMono(sc);
  }

  TestNode* owner;
  Vede* tex;
  AssertCapture asserts;
};

Texmap* NewChecker() { return static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, CHECKER_CLASS)); }

}  // namespace

TEST_F(VedeTest, NewTextureHasItsDefaults) {
  Update();
  EXPECT_EQ(tex->dirtAlpha, 0.5f);
  EXPECT_EQ(tex->size, 10.0f);
  EXPECT_EQ(tex->high, 1.0f);
  EXPECT_EQ(tex->low, 0.0f);
  EXPECT_EQ(tex->nonDirtAlpha, 0.0f);
  EXPECT_EQ(tex->dirtColor, Color(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(tex->mapOn, 0);
  EXPECT_EQ(tex->subMap, nullptr);
  ASSERT_NE(tex->perturb, nullptr);
  EXPECT_EQ(tex->perturb->GetP1Size(0), 0.5f);
  EXPECT_EQ(tex->perturb->GetP1Freq(0), 2.5f);
  EXPECT_EQ(tex->perturb->GetP2Size(0), 0.5f);
  EXPECT_EQ(tex->perturb->GetP2Freq(0), 15.0f);
  EXPECT_EQ(tex->perturb->GetP1Lev(0), 1.0f);
  EXPECT_EQ(tex->pblock->GetVersion(), 1u);
  EXPECT_EQ(tex->pblock->NumParams(), 7);
  EXPECT_EQ(tex->Validity(0), FOREVER);
}

TEST_F(VedeTest, IdentityReferencesAndSubAnims) {
  CStr name;
  tex->GetClassName(name);
  EXPECT_STREQ(name, "Vede");
  EXPECT_EQ(tex->ClassID(), Class_ID(0x761983AE, 0x9B35C99C));
  EXPECT_EQ(tex->SuperClassID(), 0xC10ul);
  EXPECT_EQ(tex->NumRefs(), 4);
  EXPECT_EQ(tex->NumSubs(), 4);
  EXPECT_EQ(tex->GetReference(0), tex->xyzGen);
  EXPECT_EQ(tex->GetReference(1), tex->pblock);
  EXPECT_EQ(tex->GetReference(2), tex->perturb);
  EXPECT_EQ(tex->GetReference(3), nullptr);
  const char* names[] = {"Coordinates", "Vede Parameters", "Perturb", "Map"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(tex->SubAnimName(i), names[i]);
    EXPECT_EQ(tex->SubAnim(i), tex->GetReference(i));
  }
  EXPECT_STREQ(tex->SubAnimName(4), "");
  EXPECT_EQ(tex->SubAnim(-1), nullptr);
  EXPECT_EQ(tex->NumSubTexmaps(), 1);
  EXPECT_STREQ(tex->GetSubTexmapSlotName(0), "");
  EXPECT_EQ(tex->GetTheXYZGen(), tex->xyzGen);
  EXPECT_EQ(tex->GetTextureTiling(), 3);
  Matrix3 m(Point3(2.0f, 0.0f, 0.0f), Point3(0.0f, 2.0f, 0.0f), Point3(0.0f, 0.0f, 2.0f), Point3(1.0f, 1.0f, 1.0f));
  tex->GetUVTransform(m);
  EXPECT_TRUE(m.IsIdentity());
  EXPECT_TRUE(asserts.empty());
}

TEST_F(VedeTest, BadReferenceIndexesAreReported) {
  EXPECT_EQ(tex->GetReference(4), nullptr);
  RefTargetHandle before = tex->GetReference(1);
  tex->SetReference(-1, nullptr);
  EXPECT_EQ(tex->GetReference(1), before);
  ASSERT_EQ(asserts.size(), 2u);
  EXPECT_EQ(asserts[0].first, 443);
  EXPECT_EQ(asserts[1].first, 455);
  for (const auto& a : asserts) EXPECT_NE(a.second.find("Vede"), std::string::npos) << a.second;
}

TEST_F(VedeTest, SettersWriteCacheAndBlock) {
  tex->SetSize(4.0f, 0);
  tex->SetHigh(0.6f, 0);
  tex->SetDirtColor(Color(1.0f, 0.5f, 0.25f), 0);
  tex->SetMapOn(1, 0);
  EXPECT_EQ(tex->size, 4.0f);
  Interval iv = FOREVER;
  float f = 0;
  tex->pblock->GetValue(PB_HIGH, 0, f, iv);
  EXPECT_EQ(f, 0.6f);
  Color c(0, 0, 0);
  tex->pblock->GetValue(PB_DIRT_COLOR, 0, c, iv);
  EXPECT_EQ(c, Color(1.0f, 0.5f, 0.25f));
  int on = 0;
  tex->pblock->GetValue(PB_MAP_ON, 0, on, iv);
  EXPECT_EQ(on, 1);
}

TEST_F(VedeTest, UpdateReadsOnceAndChangesFromEveryReferenceInvalidate) {
  Update();
  // A value changed behind the cache's back is not read while the cache holds.
  HostParamValue v = HostGetParam(tex->pblock, PB_SIZE);
  tex->size = 99.0f;
  Update();
  EXPECT_EQ(tex->size, 99.0f);
  EXPECT_EQ(v.constant.v[0], 10.0f);

  for (int ref = 0; ref < 3; ++ref) {
    Update();
    EXPECT_FALSE(tex->ivalid.Empty());
    static_cast<ReferenceTarget*>(tex->GetReference(ref))->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    EXPECT_TRUE(tex->ivalid.Empty()) << "reference " << ref;
  }
  Update();
  EXPECT_EQ(tex->size, 10.0f);  // read again after the change

  Texmap* checker = NewChecker();
  tex->SetSubTexmap(0, checker);
  Update();
  checker->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  EXPECT_TRUE(tex->ivalid.Empty());
  // The message climbs on to whoever references the texture.
  ASSERT_FALSE(owner->received.empty());
  EXPECT_EQ(owner->received.back().message, REFMSG_CHANGE);
}

TEST_F(VedeTest, ValidityFollowsAnimatedParameters) {
  SetAnimateMode(TRUE);
  tex->SetSize(20.0f, 320);  // keys at 0 (10) and 320 (20)
  SetAnimateMode(FALSE);
  EXPECT_EQ(tex->Validity(160), Interval(160, 160));
  EXPECT_EQ(tex->size, 15.0f);  // half way on a flat-ended curve
  EXPECT_EQ(tex->Validity(400), Interval(320, TIME_PosInfinity));
  EXPECT_EQ(tex->size, 20.0f);
  EXPECT_EQ(tex->Validity(-10), Interval(TIME_NegInfinity, 0));
  tex->perturb->SetP1Size(0.5f, 0);  // the perturbation's block keyed too
  SetAnimateMode(TRUE);
  tex->perturb->SetP2Freq(3.0f, 160);
  SetAnimateMode(FALSE);
  EXPECT_EQ(tex->Validity(500), Interval(320, TIME_PosInfinity));
  EXPECT_EQ(tex->Validity(100), Interval(100, 100));
}

TEST_F(VedeTest, SubTexmapSwitchesMapOnAndResetRemovesIt) {
  Texmap* checker = NewChecker();
  tex->SetSubTexmap(5, checker);  // the index is not looked at
  EXPECT_EQ(tex->subMap, checker);
  EXPECT_EQ(tex->mapOn, 1);
  EXPECT_EQ(tex->GetSubTexmap(0), checker);
  EXPECT_EQ(tex->GetSubTexmap(7), checker);
  tex->SetSubTexmap(0, nullptr);
  EXPECT_EQ(tex->subMap, nullptr);
  EXPECT_EQ(tex->mapOn, 0);

  tex->SetSubTexmap(0, NewChecker());
  XYZGen* gen = tex->xyzGen;
  Perturb* pert = tex->perturb;
  IParamBlock* oldBlock = tex->pblock;
  tex->perturb->SetP1Size(3.0f, 0);
  tex->Reset();
  EXPECT_EQ(tex->subMap, nullptr);
  EXPECT_EQ(tex->mapOn, 0);
  EXPECT_EQ(tex->xyzGen, gen);  // kept, only reset
  EXPECT_EQ(tex->perturb, pert);
  EXPECT_NE(tex->pblock, oldBlock);
  EXPECT_EQ(tex->perturb->GetP1Size(0), 0.5f);
  EXPECT_TRUE(tex->ivalid.Empty());
}

TEST_F(VedeTest, CloneWithAndWithoutSubMap) {
  tex->SetSize(3.0f, 0);
  SetAnimateMode(TRUE);
  tex->SetHigh(0.5f, 160);
  SetAnimateMode(FALSE);
  tex->SetGBufID(7);
  Update();
  for (bool withMap : {false, true}) {
    if (withMap) tex->SetSubTexmap(0, NewChecker());
    RemapDir* remap = NewRemapDir();
    auto* copy = static_cast<Vede*>(remap->CloneRef(tex));
    ASSERT_NE(copy, nullptr);
    auto* holder = new TestNode(1);
    holder->ReplaceReference(0, copy);
    EXPECT_EQ(copy->xyzGen, remap->FindMapping(tex->xyzGen));
    EXPECT_EQ(copy->perturb, remap->FindMapping(tex->perturb));
    EXPECT_EQ(copy->pblock, remap->FindMapping(tex->pblock));
    EXPECT_NE(copy->pblock, tex->pblock);
    if (withMap) {
      ASSERT_NE(copy->subMap, nullptr);
      EXPECT_EQ(copy->subMap, remap->FindMapping(tex->subMap));
      EXPECT_NE(copy->subMap, tex->subMap);
    } else {
      EXPECT_EQ(copy->subMap, nullptr);
    }
    EXPECT_EQ(copy->size, tex->size);
    EXPECT_EQ(copy->mapOn, tex->mapOn);
    EXPECT_TRUE(copy->ivalid.Empty());
    EXPECT_EQ(copy->paramDlg, nullptr);
    EXPECT_EQ(copy->GetGBufID(), 7u);
    EXPECT_EQ(HostGetParam(copy->pblock, PB_HIGH).keys.size(), 2u);  // animation came along
    EXPECT_EQ(copy->perturb->GetP2Freq(0), 15.0f);
    DeleteRemapDir(remap);
    holder->DeleteThis();
  }
}

TEST_F(VedeTest, DirtValueRampsAndClamps) {
  Point3 o(0.0f, 0.0f, 0.0f);  // qnoise3 = 15137 / 32767
  double n = 15137.0 / 32767.0;
  float n32 = qnoise3(o);
  EXPECT_EQ(tex->DirtValue(o, 1.0f, 0.0f, 1.0f, 1.0f), n32);
  EXPECT_EQ(tex->DirtValue(o, 1.0f, 0.0f, 0.5f, 1.0f), static_cast<float>(static_cast<double>(n32) * 0.5));
  // A collapsed band is a steep step at High.
  EXPECT_EQ(tex->DirtValue(o, 0.4f, 0.4f, 1.0f, 1.0f), 1.0f);
  EXPECT_EQ(tex->DirtValue(o, 0.5f, 0.5f, 1.0f, 1.0f), 0.0f);
  // Within 0.0001 above High the step is linear.
  float justBelow = static_cast<float>(n - 0.00005);
  float ramp = tex->DirtValue(o, justBelow, justBelow, 1.0f, 1.0f);
  EXPECT_EQ(ramp, static_cast<float>((static_cast<double>(n32) - justBelow) / 0.0001));
  EXPECT_GT(ramp, 0.4f);
  EXPECT_LT(ramp, 0.6f);
  // The dialog's limits: never reaches 0 or 1.
  for (float alphaMono : {0.0f, 1.0f}) {
    float v = tex->DirtValue(o, 2.0f, -1.0f, alphaMono, 1.0f);
    EXPECT_GT(v, 0.3f);
    EXPECT_LT(v, 0.67f);
  }
  // No dirt: 0 unless the band starts below 0.
  EXPECT_EQ(tex->DirtValue(o, 1.0f, 0.0f, 0.0f, 1.0f), 0.0f);
  EXPECT_EQ(tex->DirtValue(o, 1.0f, -0.5f, 0.0f, 1.0f), static_cast<float>(0.5 / 1.5));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(tex->DirtValue(o, nan, 0.0f, 1.0f, 1.0f), 0.0f);
  EXPECT_EQ(tex->DirtValue(o, 1.0f, 0.0f, 1.0f, nan), 0.0f);
}

TEST_F(VedeTest, MonoAndColourWithTheDefaults) {
  Update();
  HostShadeContext sc;
  for (Point3 p : {Point3(0.0f, 0.0f, 0.0f), Point3(3.5f, -2.0f, 7.25f), Point3(120.0f, 40.0f, -8.0f)}) {
    sc.pObj = p;
    float m = tex->EvalMono(sc);
    EXPECT_LE(m, 0.5f);
    EXPECT_GE(m, 0.0f);
    // Half the noise at the perturbed point.
    Point3 q(p.x / 10.0f, p.y / 10.0f, p.z / 10.0f);
    tex->perturb->PerturbHitPoint(q);
    EXPECT_EQ(Bits(m), Bits(static_cast<float>(static_cast<double>(qnoise3(q)) * 0.5)));
    EXPECT_EQ(tex->EvalColor(sc), AColor(0.0f, 0.0f, 0.0f, m));
  }
}

TEST_F(VedeTest, SizeZeroSamplesTenThousandTimesThePoint) {
  tex->SetSize(0.0f, 0);
  tex->perturb->SetPertOn(0, 0);
  tex->SetDirtAlpha(1.0f, 0);
  Update();
  Point3 p(0.25f, 0.5f, 0.75f);
  Point3 q(p.x / 0.0001f, p.y / 0.0001f, p.z / 0.0001f);
  EXPECT_EQ(Bits(Mono(p)), Bits(qnoise3(q)));
}

TEST_F(VedeTest, SubMapModulatesOnlyWhenMapOn) {
  Texmap* checker = NewChecker();
  tex->SetDirtColor(Color(1.0f, 0.0f, 0.0f), 0);
  tex->SetSubTexmap(0, checker);
  Update();
  HostShadeContext sc;
  sc.pObj = Point3(1.0f, 2.0f, 3.0f);
  sc.uvw = Point3(0.25f, 0.25f, 0.0f);  // the checker's black square: mono 0
  EXPECT_EQ(tex->EvalMono(sc), 0.0f);
  EXPECT_EQ(tex->EvalColor(sc), AColor(0.0f, 0.0f, 0.0f, 0.0f));
  EXPECT_EQ(tex->EvalNormalPerturb(sc), Point3(0.0f, 0.0f, 0.0f));
  sc.uvw = Point3(0.75f, 0.25f, 0.0f);  // white: mono 1, colour white
  float m = tex->EvalMono(sc);
  EXPECT_GT(m, 0.0f);
  EXPECT_EQ(tex->EvalColor(sc), AColor(m, m, m, m));

  tex->SetMapOn(0, 0);  // an assigned map is ignored with the switch off
  Update();
  sc.uvw = Point3(0.25f, 0.25f, 0.0f);
  float off = tex->EvalMono(sc);
  EXPECT_GT(off, 0.0f);
  EXPECT_EQ(tex->EvalColor(sc), AColor(off, 0.0f, 0.0f, off));
}

TEST_F(VedeTest, GBufferIdIsSetOnlyWhenNonZero) {
  Update();
  HostShadeContext sc;
  sc.SetGBufferID(3);
  tex->EvalMono(sc);
  EXPECT_EQ(sc.GBufferID(), 3);
  tex->SetGBufID(9);
  tex->EvalColor(sc);
  EXPECT_EQ(sc.GBufferID(), 9);
  sc.SetGBufferID(0);
  tex->EvalNormalPerturb(sc);
  EXPECT_EQ(sc.GBufferID(), 9);
}

TEST_F(VedeTest, BumpIsZeroWhereCoverageIsFlatOrTheNormalIsZero) {
  tex->SetDirtAlpha(1.0f, 0);
  Update();
  HostShadeContext sc;
  sc.pObj = Point3(1.5f, 2.5f, 3.5f);
  sc.normal = Point3(0.0f, 0.0f, 0.0f);
  EXPECT_EQ(tex->EvalNormalPerturb(sc), Point3(0.0f, 0.0f, 0.0f));
  tex->SetHigh(-0.5f, 0);  // coverage 1 everywhere
  tex->SetLow(-1.0f, 0);
  Update();
  sc.normal = Point3(0.0f, 0.0f, 1.0f);
  EXPECT_EQ(tex->EvalNormalPerturb(sc), Point3(0.0f, 0.0f, 0.0f));
}

TEST_F(VedeTest, ShadingAllocatesLocksAndWritesNothing) {
  // Every step of the road: a sub-map, an animated perturbation of several
  // octaves, the bump's three samples.
  tex->SetSubTexmap(0, NewChecker());
  tex->perturb->SetP1Phase(0.5f, 0);
  tex->perturb->SetP1Lev(3.0f, 0);
  tex->perturb->SetP2Lev(2.5f, 0);
  Update();
  unsigned char texture[sizeof(Vede)], perturb[sizeof(Perturb)];
  std::memcpy(texture, static_cast<void*>(tex), sizeof texture);
  std::memcpy(perturb, static_cast<void*>(tex->perturb), sizeof perturb);
  HostShadeContext sc;
  sc.normal = Point3(0.0f, 0.6f, 0.8f);
  // The counters see what the host layer does: a module lookup locks.
  const long lookup = MutexLocksSoFar();
  ASSERT_TRUE(HostIsModuleLoaded(hInstance));
  ASSERT_GT(MutexLocksSoFar(), lookup);

  const long allocations = AllocationsSoFar(), locks = MutexLocksSoFar();
  float sum = 0.0f;
  for (int i = 0; i < 100; ++i) {
    sc.pObj = Point3(0.37f * static_cast<float>(i), -2.0f, 5.5f);
    sc.uvw = Point3(0.01f * static_cast<float>(i), 0.25f, 0.0f);
    sum += tex->EvalMono(sc) + tex->EvalColor(sc).r + tex->EvalNormalPerturb(sc).z;
  }
  EXPECT_EQ(AllocationsSoFar(), allocations);
  EXPECT_EQ(MutexLocksSoFar(), locks);
  EXPECT_EQ(std::memcmp(texture, static_cast<void*>(tex), sizeof texture), 0);
  EXPECT_EQ(std::memcmp(perturb, static_cast<void*>(tex->perturb), sizeof perturb), 0);
  EXPECT_TRUE(std::isfinite(sum));
}

TEST_F(VedeTest, MatchesTheIndependentModel) {
  std::vector<GoldenRow> rows = ReadGoldenTable(VEDE_GOLDEN);
  for (const GoldenRow& row : rows) {
    tex->SetDirtAlpha(row.Float(1), 0);
    tex->SetSize(row.Float(2), 0);
    tex->SetHigh(row.Float(3), 0);
    tex->SetLow(row.Float(4), 0);
    Update();
    HostShadeContext sc;
    sc.pObj = Point3(row.Float(5), row.Float(6), row.Float(7));
    sc.normal = Point3(row.Float(8), row.Float(9), row.Float(10));
    if (row.Word(0) == "mono") {
      EXPECT_EQ(Bits(tex->EvalMono(sc)), row.Bits(11)) << row.line;
    } else {
      Point3 b = tex->EvalNormalPerturb(sc);
      EXPECT_EQ(Bits(b.x), row.Bits(11)) << row.line;
      EXPECT_EQ(Bits(b.y), row.Bits(12)) << row.line;
      EXPECT_EQ(Bits(b.z), row.Bits(13)) << row.line;
    }
  }
  EXPECT_EQ(rows.size(), 300u);
}

TEST(VedeEntry, ClassListDescriptorAndStrings) {
  EXPECT_EQ(LibNumberClasses(), 1);
  ClassDesc* cd = LibClassDesc(0);
  EXPECT_EQ(cd, GetDirtDesc());
  EXPECT_EQ(LibClassDesc(1), nullptr);
  EXPECT_EQ(LibClassDesc(-1), nullptr);
  EXPECT_EQ(LibVersion(), 0x0FA00800ul);
  EXPECT_STREQ(LibDescription(), "LibDescription");
  EXPECT_EQ(cd->IsPublic(), 1);
  EXPECT_STREQ(cd->ClassName(), "Vede");
  EXPECT_STREQ(cd->Category(), "Quorl Studio");
  EXPECT_EQ(cd->SuperClassID(), TEXMAP_CLASS_ID);
  EXPECT_EQ(cd->ClassID(), DIRT_CLASS_ID);
  auto* q = static_cast<QuorlClassDesc*>(cd);
  EXPECT_EQ(q->PluginVersion(), 2.02f);
  EXPECT_STREQ(q->BuildDate(), "Jan 10 2001");
  EXPECT_EQ(q->MaxVersion(), 0x0FA00800);
  EXPECT_FALSE(q->RightsNotice().isNull());
  std::map<int, std::string> strings = ReadScriptedStrings(VEDE_RC);
  EXPECT_EQ(strings.size(), 15u);
  for (const auto& [id, text] : strings) EXPECT_STREQ(GetString(id), text.c_str()) << id;
  EXPECT_EQ(GetString(17), nullptr);
  auto* a = static_cast<Vede*>(cd->Create(TRUE));
  auto* b = static_cast<Vede*>(cd->Create(FALSE));
  EXPECT_NE(a, b);
  a->DeleteThis();
  b->DeleteThis();
}
