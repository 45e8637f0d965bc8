// Perturb, its evaluation, the library's entry points and its info utility,
// through QuorlLib.dlu as the host and the maker's plug-ins see them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "DllEntry.h"
#include "QuorlLib.h"
#include "assert_capture.h"
#include "counted_calls.h"
#include "float_bits.h"
#include "golden_table.h"
#include "hostside/class_registry.h"
#include "hostside/handlers.h"
#include "resource_scripts.h"

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// The library's classes are listed with the host once, as the loader does.
class RegisterLibrary : public testing::Environment {
 public:
  void SetUp() override {
    for (int i = 0; i < LibNumberClasses(); ++i) HostRegisterClass(LibClassDesc(i), "QuorlLib.dlu");
  }
};
const testing::Environment* const registered = testing::AddGlobalTestEnvironment(new RegisterLibrary);

// Owns a Perturb for one test the way a texture does: DeleteThis at the end.
struct Owned {
  Perturb* p;
  Owned() : p(NewDefaultPerturb()) {}
  explicit Owned(Perturb* q) : p(q) {}
  ~Owned() {
    if (p) p->DeleteThis();
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Perturb* operator->() const { return p; }
};

// Captures assertion reports while a test runs.
class PerturbTest : public testing::Test {
 protected:
  void TearDown() override { SetAnimateMode(FALSE); }
  bool Reported(int line, const std::string& file) const { return asserts.Reported(line, file); }

  AssertCapture asserts;
};

// The fourteen caches in parameter order 0..13, pertOn as a float.
std::vector<float> Caches(const Perturb* p) {
  return {p->p1Size, p->p1Freq, p->p1High, p->p1Low, p->p1Lev,   p->p1Phase,  p->p2Size,
          p->p2Freq, p->p2High, p->p2Low,  p->p2Lev, p->p2Phase, p->pertSize, static_cast<float>(p->pertOn)};
}
// The same through the getters. Parameter 12 has no exported getter: it is
// read from the block.
std::vector<float> BlockValues(Perturb* p, TimeValue t) {
  float pertSize = 0.0f;
  Interval scratch = FOREVER;
  p->pblock->GetValue(12, t, pertSize, scratch);
  return {p->GetP1Size(t), p->GetP1Freq(t),
          p->GetP1High(t), p->GetP1Low(t),
          p->GetP1Lev(t),  p->GetP1Phase(t),
          p->GetP2Size(t), p->GetP2Freq(t),
          p->GetP2High(t), p->GetP2Low(t),
          p->GetP2Lev(t),  p->GetP2Phase(t),
          pertSize,        static_cast<float>(p->GetPertOn(t))};
}
// The defaults in that order, from the independent model's "defaults" case
// (perturb_reference.py); the model has no Perturb Size, which the
// perturbation never reads, so its default of 20 is the one value named here.
std::vector<float> ModelDefaults();

}  // namespace

// ---- Entry points and class list -------------------------------------------

TEST_F(PerturbTest, EntryPointsListTwoClasses) {
  EXPECT_EQ(LibNumberClasses(), 2);
  EXPECT_EQ(LibVersion(), 0x0FA00800ul);
  EXPECT_EQ(LibVersion(), static_cast<ULONG>(VERSION_3DSMAX));
  EXPECT_EQ(std::string(LibDescription()).rfind("Quorl Studio's 3D Studio Max Plugins - http://", 0), 0u);

  ClassDesc* perturb = LibClassDesc(0);
  ClassDesc* info = LibClassDesc(1);
  ASSERT_NE(perturb, nullptr);
  ASSERT_NE(info, nullptr);
  EXPECT_NE(perturb, info);
  EXPECT_EQ(LibClassDesc(0), perturb);
  EXPECT_EQ(LibClassDesc(1), info);
  EXPECT_TRUE(asserts.empty());

  EXPECT_EQ(LibClassDesc(2), nullptr);
  EXPECT_EQ(LibClassDesc(-1), nullptr);
  ASSERT_EQ(asserts.size(), 2u);
  EXPECT_TRUE(Reported(34, "DllEntry.cpp"));

  EXPECT_EQ(perturb->IsPublic(), 0);
  EXPECT_STREQ(perturb->ClassName(), "QuorlLib::Perturbation");
  EXPECT_EQ(perturb->SuperClassID(), 256ul);
  EXPECT_EQ(perturb->ClassID(), Class_ID(929330965, 411574987));
  EXPECT_EQ(perturb->ClassID(), PERTURB_CLASS_ID);
  EXPECT_STREQ(perturb->Category(), "MtmDataClassDesc::Category");

  EXPECT_EQ(info->IsPublic(), 1);
  EXPECT_STREQ(info->ClassName(), "QuorlLib");
  EXPECT_STREQ(info->InternalName(), "QuorlLib");
  EXPECT_EQ(info->SuperClassID(), 0x1020ul);
  EXPECT_EQ(info->ClassID(), Class_ID(833216780, 1103004911));
  EXPECT_STREQ(info->Category(), "Quorl's Utilities");
  EXPECT_NE(info->HInstance(), nullptr);
  EXPECT_EQ(info->Create(FALSE), info->Create(TRUE));  // the one static utility

  // The host finds both through its registry.
  EXPECT_EQ(HostFindClass(256, PERTURB_CLASS_ID), perturb);
  EXPECT_EQ(HostFindClass(0x1020, Class_ID(0x31A9E10C, 0x41BE84EF)), info);
}

// ---- Object, references and sub-animatables --------------------------------

TEST_F(PerturbTest, NewObjectHasTheDefaultsAtAnyTime) {
  Owned p;
  ASSERT_NE(p.p, nullptr);
  EXPECT_TRUE(p->ivalid.Empty());
  EXPECT_EQ(p->paramDlg, nullptr);
  EXPECT_EQ(Caches(p.p), ModelDefaults());
  EXPECT_EQ(BlockValues(p.p, 0), ModelDefaults());
  EXPECT_EQ(BlockValues(p.p, -4800), ModelDefaults());
  EXPECT_EQ(BlockValues(p.p, 48000), ModelDefaults());

  ASSERT_NE(p->pblock, nullptr);
  EXPECT_EQ(p->pblock->GetVersion(), 101u);
  EXPECT_EQ(p->pblock->NumParams(), 14);
  EXPECT_EQ(p->pblock->GetParameterType(13), TYPE_BOOL);

  // Reset installs a fresh block with the defaults again.
  p->SetP1Size(7.0f, 0);
  p->SetPertOn(0, 0);
  Interval valid = FOREVER;
  p->Update(0, valid);
  p->Reset();
  EXPECT_NE(p->pblock, nullptr);
  EXPECT_TRUE(p->ivalid.Empty());
  EXPECT_EQ(Caches(p.p), ModelDefaults());
  EXPECT_EQ(BlockValues(p.p, 0), ModelDefaults());
  EXPECT_TRUE(asserts.empty());
}

TEST_F(PerturbTest, IdentityReferencesAndSubAnims) {
  Owned p;
  CStr name;
  p->GetClassName(name);
  EXPECT_EQ(name, "QuorlLib::Perturbation");
  EXPECT_EQ(p->ClassID(), PERTURB_CLASS_ID);
  EXPECT_EQ(p->SuperClassID(), REF_TARGET_CLASS_ID);
  EXPECT_EQ(p->NumSubs(), 1);
  EXPECT_EQ(p->SubAnim(0), p->pblock);
  EXPECT_STREQ(p->SubAnimName(0).data(), "");
  EXPECT_TRUE(asserts.empty());

  // Bad indexes are reported and change nothing.
  IParamBlock* block = p->pblock;
  EXPECT_EQ(p->GetReference(1), nullptr);
  EXPECT_TRUE(Reported(249, "Perturb.cpp"));
  p->SetReference(1, nullptr);
  p->SetReference(-3, block);
  EXPECT_TRUE(Reported(257, "Perturb.cpp"));
  EXPECT_EQ(p->pblock, block);
  EXPECT_EQ(asserts.size(), 3u);
}

// ---- Setters, getters and clamps -------------------------------------------

TEST_F(PerturbTest, ClampsLimitWhatReachesTheBlockNotTheCache) {
  Owned p;
  // High above 1: the cache keeps 1.5, the block 1.0, and a getter rewrites
  // the cache.
  p->SetP1High(1.5f, 0);
  EXPECT_EQ(p->p1High, 1.5f);
  EXPECT_EQ(p->GetP1High(0), 1.0f);
  EXPECT_EQ(p->p1High, 1.0f);

  // A low above the cached high is limited to that high.
  p->SetP1High(0.5f, 0);
  p->SetP1Low(0.8f, 0);
  EXPECT_EQ(p->p1Low, 0.8f);
  EXPECT_EQ(p->GetP1Low(0), 0.5f);

  // A high below the cached low is lifted to that low; a negative low to 0.
  p->SetP1Low(0.4f, 0);
  p->SetP1High(0.2f, 0);
  EXPECT_EQ(p->p1High, 0.2f);
  EXPECT_EQ(p->GetP1High(0), 0.4f);
  p->SetP1Low(-1.0f, 0);
  EXPECT_EQ(p->GetP1Low(0), 0.0f);

  // The secondary pair limits against its own caches, not the primary's.
  p->SetP2Low(0.7f, 0);
  EXPECT_EQ(p->GetP2Low(0), 0.7f);
  p->SetP2High(0.3f, 0);
  EXPECT_EQ(p->p2High, 0.3f);
  EXPECT_EQ(p->GetP2High(0), 0.7f);
  p->SetP2High(2.0f, 0);
  EXPECT_EQ(p->GetP2High(0), 1.0f);
  p->SetP2Low(1.5f, 0);
  EXPECT_EQ(p->p2Low, 1.5f);
  EXPECT_EQ(p->GetP2Low(0), 1.0f);

  // No other setter limits its value.
  p->SetP1Size(-5.0f, 0);
  p->SetP2Freq(1e6f, 0);
  p->SetP1Lev(5000.0f, 0);
  p->SetP2Phase(-3.0f, 0);
  p->SetPertOn(7, 0);
  EXPECT_EQ(p->GetP1Size(0), -5.0f);
  EXPECT_EQ(p->GetP2Freq(0), 1e6f);
  EXPECT_EQ(p->GetP1Lev(0), 5000.0f);
  EXPECT_EQ(p->GetP2Phase(0), -3.0f);
  EXPECT_NE(p->GetPertOn(0), 0);
}

TEST_F(PerturbTest, SettersAndGettersKeepTheirOwnParameter) {
  Owned p;
  // Each parameter gets a value of its own; each low stays below its high.
  const std::vector<float> values = {0.05f, 0.1f,  0.15f, 0.04f, 0.25f, 0.3f,  0.35f,
                                     0.4f,  0.45f, 0.1f,  0.55f, 0.6f,  20.0f, 0.0f};
  p->SetP1Size(values[0], 0);
  p->SetP1Freq(values[1], 0);
  p->SetP1High(values[2], 0);
  p->SetP1Low(values[3], 0);
  p->SetP1Lev(values[4], 0);
  p->SetP1Phase(values[5], 0);
  p->SetP2Size(values[6], 0);
  p->SetP2Freq(values[7], 0);
  p->SetP2High(values[8], 0);
  p->SetP2Low(values[9], 0);
  p->SetP2Lev(values[10], 0);
  p->SetP2Phase(values[11], 0);
  p->SetPertOn(0, 0);
  EXPECT_EQ(Caches(p.p), values);
  EXPECT_EQ(BlockValues(p.p, 0), values);  // every getter reads its own index
  for (int i = 0; i < 14; ++i) EXPECT_EQ(p->pblock->IDtoIndex(static_cast<DWORD>(i)), i);
}

// ---- Update and change messages --------------------------------------------

TEST_F(PerturbTest, UpdateReadsTheBlockOnlyWhenTheTimeLeavesItsInterval) {
  Owned p;
  Interval valid = FOREVER;
  p->Update(0, valid);
  EXPECT_EQ(p->ivalid, FOREVER);
  EXPECT_EQ(valid, FOREVER);
  // The second path still narrows the caller's interval.
  valid = Interval(100, 200);
  p->Update(150, valid);
  EXPECT_EQ(valid, Interval(100, 200));

  // Keys at 0 (2.0) and 1600 (4.0) on the primary size.
  SetAnimateMode(TRUE);
  p->SetP1Size(4.0f, 1600);
  SetAnimateMode(FALSE);
  EXPECT_TRUE(p->ivalid.Empty());  // the block's change message

  valid = FOREVER;
  p->Update(800, valid);
  EXPECT_EQ(p->ivalid, Interval(800, 800));
  EXPECT_EQ(valid, Interval(800, 800));
  const float at800 = p->p1Size;
  EXPECT_GT(at800, 2.0f);
  EXPECT_LT(at800, 4.0f);
  EXPECT_EQ(Caches(p.p)[1], 0.5f);  // the other caches were read too

  // A getter at another time rewrites its cache only; an Update inside
  // ivalid does not read the block again, so it does not repair it.
  EXPECT_EQ(p->GetP1Size(1600), 4.0f);
  valid = FOREVER;
  p->Update(800, valid);
  EXPECT_EQ(p->p1Size, 4.0f);
  EXPECT_EQ(p->ivalid, Interval(800, 800));
  EXPECT_EQ(valid, Interval(800, 800));
  valid = Interval(0, 100);
  p->Update(800, valid);
  EXPECT_TRUE(valid.Empty());

  // Leaving the interval reads again.
  valid = FOREVER;
  p->Update(0, valid);
  EXPECT_EQ(p->p1Size, 2.0f);
  EXPECT_EQ(p->ivalid, Interval(TIME_NegInfinity, 0));
  valid = FOREVER;
  p->Update(2000, valid);
  EXPECT_EQ(p->p1Size, 4.0f);
  EXPECT_EQ(p->ivalid, Interval(1600, TIME_PosInfinity));
}

TEST_F(PerturbTest, ChangeMessageEmptiesTheCacheIntervalAndPassesOn) {
  Owned p;
  Interval valid = FOREVER;
  p->Update(0, valid);
  ASSERT_EQ(p->ivalid, FOREVER);
  p->SetP2Freq(3.0f, 0);
  EXPECT_TRUE(p->ivalid.Empty());
  EXPECT_EQ(p->p2Freq, 3.0f);

  p->Update(0, valid);
  PartID part = PART_ALL;
  EXPECT_EQ(p->NotifyRefChanged(FOREVER, p->pblock, part, 4711), REF_SUCCEED);  // other messages: nothing
  EXPECT_EQ(p->ivalid, FOREVER);
  EXPECT_EQ(p->NotifyRefChanged(FOREVER, p->pblock, part, REFMSG_CHANGE), REF_SUCCEED);
  EXPECT_TRUE(p->ivalid.Empty());

  // With a dialog attached the message still goes through, and a dialog that
  // is deleted leaves the object without a link.
  ParamDlg* dlg = p->CreateParamDlg(nullptr, nullptr);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(static_cast<void*>(p->paramDlg), static_cast<void*>(dlg));
  EXPECT_EQ(dlg->GetThing(), p.p);
  EXPECT_EQ(dlg->ClassID(), PERTURB_CLASS_ID);
  p->Update(0, valid);
  p->SetP1Phase(1.0f, 0);
  EXPECT_TRUE(p->ivalid.Empty());
  p->Reset();  // keeps the dialog
  EXPECT_EQ(static_cast<void*>(p->paramDlg), static_cast<void*>(dlg));
  dlg->DeleteThis();
  EXPECT_EQ(p->paramDlg, nullptr);

  // An object deleted under its open dialog leaves the dialog without it.
  Perturb* q = NewDefaultPerturb();
  dlg = q->CreateParamDlg(nullptr, nullptr);
  q->DeleteThis();
  EXPECT_EQ(dlg->GetThing(), nullptr);
  dlg->DeleteThis();
}

TEST_F(PerturbTest, NameAndDimensionQueriesAreAnswered) {
  Owned p;
  // The names are the library's strings 30465 on, the last two the other way round.
  std::map<int, std::string> strings = ReadScriptedStrings(QUORLLIB_RC);
  auto name = [&](int i) { return i < 0 || i >= 14 ? "unchanged" : strings[i < 12 ? 30465 + i : 30491 - i]; };
  for (int i = -1; i <= 14; ++i) {
    GetParamName query(CStr("unchanged"), i);
    PartID part = reinterpret_cast<PartID>(&query);
    EXPECT_EQ(p->NotifyRefChanged(FOREVER, p->pblock, part, REFMSG_GET_PARAM_NAME), REF_STOP);
    EXPECT_EQ(query.name.data(), name(i)) << i;

    GetParamDim dim(i);
    part = reinterpret_cast<PartID>(&dim);
    EXPECT_EQ(p->NotifyRefChanged(FOREVER, p->pblock, part, REFMSG_GET_PARAM_DIM), REF_STOP);
    EXPECT_EQ(dim.dim, i >= 0 && i < 14 ? defaultDim : nullptr) << i;
  }
}

// ---- Clone and load --------------------------------------------------------

TEST_F(PerturbTest, CloneCopiesValuesBlockAndCachesButNotDialogOrValidity) {
  Owned p;
  SetAnimateMode(TRUE);
  p->SetP1Size(4.0f, 1600);
  SetAnimateMode(FALSE);
  p->SetP2Lev(3.5f, 0);
  p->SetPertOn(0, 0);
  p->SetP1High(1.5f, 0);  // the cache differs from the block
  ParamDlg* dlg = p->CreateParamDlg(nullptr, nullptr);
  Interval valid = FOREVER;
  p->Update(800, valid);
  p->p1High = 1.5f;

  RemapDir* remap = NewRemapDir();
  Owned c(static_cast<Perturb*>(p->Clone(*remap)));
  DeleteRemapDir(remap);
  ASSERT_NE(c.p, nullptr);
  EXPECT_NE(c.p, p.p);
  EXPECT_NE(c->pblock, nullptr);
  EXPECT_NE(c->pblock, p->pblock);
  EXPECT_EQ(c->pblock->DependentCount(), 1);
  EXPECT_TRUE(c->ivalid.Empty());
  EXPECT_EQ(c->paramDlg, nullptr);
  EXPECT_EQ(Caches(c.p), Caches(p.p));
  EXPECT_EQ(c->p1High, 1.5f);
  for (TimeValue t : {0, 800, 1600}) EXPECT_EQ(BlockValues(c.p, t), BlockValues(p.p, t)) << t;

  // The copy's block is its own.
  c->SetP2Size(9.0f, 0);
  EXPECT_EQ(p->GetP2Size(0), 2.0f);
  dlg->DeleteThis();
  EXPECT_TRUE(asserts.empty());
}

namespace {

class FakeLoad : public ILoad {
 public:
  std::vector<PostLoadCallback*> callbacks;
  ~FakeLoad() override {
    for (PostLoadCallback* cb : callbacks) delete cb;
  }
  void RegisterPostLoadCallback(PostLoadCallback* cb) override { callbacks.push_back(cb); }
};

}  // namespace

TEST_F(PerturbTest, LoadConvertsAPreviousVersionBlock) {
  Owned p;
  FakeLoad load;
  EXPECT_EQ(p->Load(&load), IO_OK);
  ASSERT_EQ(load.callbacks.size(), 1u);

  // A block of the previous layout: twelve floats, identifiers 0 to 11.
  ParamBlockDescID old[12];
  for (int i = 0; i < 12; ++i) old[i] = {TYPE_FLOAT, nullptr, TRUE, static_cast<DWORD>(i)};
  IParamBlock* saved = CreateParameterBlock(old, 12, 100);
  for (int i = 0; i < 12; ++i) saved->SetValue(i, 0, 10.0f + static_cast<float>(i));
  p->ReplaceReference(0, saved, 1);
  ASSERT_EQ(p->pblock->GetVersion(), 100u);

  load.callbacks[0]->proc(&load);
  ASSERT_NE(p->pblock, saved);
  EXPECT_EQ(p->pblock->GetVersion(), 101u);
  EXPECT_EQ(p->pblock->NumParams(), 14);
  std::vector<float> values = BlockValues(p.p, 0);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(values[static_cast<size_t>(i)], 10.0f + static_cast<float>(i)) << i;
}

// ---- Evaluation ------------------------------------------------------------

namespace {

struct GoldenCase {
  std::string name;
  bool clamped;
  int on;
  float p1[6], p2[6];
  Point3 in, out;
};

std::vector<GoldenCase> LoadGolden() {
  std::vector<GoldenCase> cases;
  for (const GoldenRow& row : ReadGoldenTable(QUORL_PERTURB_GOLDEN)) {
    GoldenCase c;
    c.name = row.Word(0);
    c.clamped = row.Int(1) != 0;
    c.on = row.Int(2);
    for (int i = 0; i < 6; ++i) c.p1[i] = row.Float(3 + i), c.p2[i] = row.Float(9 + i);
    c.in = Point3(row.Float(15), row.Float(16), row.Float(17));
    c.out = Point3(row.Float(18), row.Float(19), row.Float(20));
    cases.push_back(c);
  }
  return cases;
}

const GoldenCase& Golden(const std::vector<GoldenCase>& cases, const std::string& name) {
  for (const GoldenCase& c : cases)
    if (c.name == name) return c;
  static GoldenCase none;
  ADD_FAILURE() << "no golden case " << name;
  return none;
}

std::vector<float> ModelDefaults() {
  static const GoldenCase d = Golden(LoadGolden(), "defaults");
  constexpr float kPerturbSize = 20.0f;
  std::vector<float> v(d.p1, d.p1 + 6);
  v.insert(v.end(), d.p2, d.p2 + 6);
  v.push_back(kPerturbSize);
  v.push_back(static_cast<float>(d.on));
  return v;
}

// The evaluation reads only the caches, so a case is set up on them directly.
void SetCaches(Perturb* p, const GoldenCase& c) {
  p->pertOn = c.on;
  p->p1Size = c.p1[0], p->p1Freq = c.p1[1], p->p1High = c.p1[2], p->p1Low = c.p1[3], p->p1Lev = c.p1[4],
  p->p1Phase = c.p1[5];
  p->p2Size = c.p2[0], p->p2Freq = c.p2[1], p->p2High = c.p2[2], p->p2Low = c.p2[3], p->p2Lev = c.p2[4],
  p->p2Phase = c.p2[5];
}

#define EXPECT_POINT_BITS(actual, expected, label)              \
  do {                                                          \
    EXPECT_EQ(Bits((actual).x), Bits((expected).x)) << (label); \
    EXPECT_EQ(Bits((actual).y), Bits((expected).y)) << (label); \
    EXPECT_EQ(Bits((actual).z), Bits((expected).z)) << (label); \
  } while (0)

}  // namespace

TEST_F(PerturbTest, DisplacementsMatchTheIndependentModel) {
  std::vector<GoldenCase> cases = LoadGolden();
  ASSERT_GE(cases.size(), 200u) << QUORL_PERTURB_GOLDEN;
  Owned p;
  for (const GoldenCase& c : cases) {
    SetCaches(p.p, c);
    Point3 pt = c.in;
    if (c.clamped)
      p->PPerturbHitPoint(pt);
    else
      p->PerturbHitPoint(pt);
    EXPECT_POINT_BITS(pt, c.out, c.name);
  }
}

TEST_F(PerturbTest, DocumentedDisplacementsThroughSettersAndUpdate) {
  std::vector<GoldenCase> cases = LoadGolden();
  struct Expect {
    const char* golden;
    float x, y, z;
  };
  auto run = [&](Perturb* p, const Expect& e) {
    Interval valid = FOREVER;
    p->Update(0, valid);
    Point3 pt(0.0f, 0.0f, 0.0f);
    p->PerturbHitPoint(pt);
    EXPECT_NEAR(pt.x, e.x, 5e-6f) << e.golden;
    EXPECT_NEAR(pt.y, e.y, 5e-6f) << e.golden;
    EXPECT_NEAR(pt.z, e.z, 5e-6f) << e.golden;
    EXPECT_POINT_BITS(pt, Golden(cases, e.golden).out, e.golden);
  };
  Owned p;
  run(p.p, {"defaults", 2.93992f, 2.91551f, 2.93209f});
  p->SetP2Size(0.0f, 0);
  // x is 2 x (n + 1) / 2 with n the lattice noise at the origin.
  run(p.p, {"primary-only", 1.46196f, 1.36250f, 1.77692f});
  EXPECT_EQ(Bits(Golden(cases, "primary-only").out.x), Bits(qnoise4(Point3(0.0f, 0.0f, 0.0f), 0.0f) + 1.0f));
  p->SetP1Lev(2.0f, 0);
  run(p.p, {"levels-2", 1.44129f, 1.45909f, 1.70411f});
  p->SetP1Lev(2.5f, 0);
  run(p.p, {"levels-2.5", 1.44259f, 1.44994f, 1.68897f});

  Owned v;
  v->SetP1Size(0.5f, 0);
  v->SetP1Freq(2.5f, 0);
  v->SetP2Size(0.5f, 0);
  v->SetP2Freq(15.0f, 0);
  run(v.p, {"vede", 0.73904f, 0.75958f, 0.77921f});
}

TEST_F(PerturbTest, SwitchedOffOrSizelessSetsLeaveThePointAlone) {
  Owned p;
  Interval valid = FOREVER;
  p->Update(0, valid);
  const Point3 points[] = {Point3(0.0f, 0.0f, 0.0f), Point3(-0.0f, 3.5f, -7.25f), Point3(kNaN, kInf, -1e30f)};
  auto same = [](const Point3& a, const Point3& b) {
    return Bits(a.x) == Bits(b.x) && Bits(a.y) == Bits(b.y) && Bits(a.z) == Bits(b.z);
  };
  p->pertOn = 0;
  for (const Point3& q : points) {
    Point3 a = q, b = q;
    p->PerturbHitPoint(a);
    p->PPerturbHitPoint(b);
    EXPECT_TRUE(same(a, q) && same(b, q));
  }
  p->pertOn = 1;
  for (float off : {0.0f, -0.0f, kNaN}) {
    p->p1Size = off;
    p->p2Size = off;
    for (const Point3& q : points) {
      Point3 a = q, b = q;
      p->PerturbHitPoint(a);
      p->PPerturbHitPoint(b);
      EXPECT_TRUE(same(a, q) && same(b, q)) << off;
    }
  }
}

TEST_F(PerturbTest, ClampsActOnlyInTheHostVariantAndComeFromTheCaches) {
  Owned p;
  Interval valid = FOREVER;
  p->Update(0, valid);
  p->p2Size = 3.0f;
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> quarter(-400, 400);
  for (int i = 0; i < 200; ++i) {
    const Point3 q(0.25f * static_cast<float>(quarter(rng)), 0.25f * static_cast<float>(quarter(rng)),
                   0.25f * static_cast<float>(quarter(rng)));
    p->p1High = p->p1Low = p->p2High = p->p2Low = 0.5f;
    Point3 clamped = q;
    p->PPerturbHitPoint(clamped);
    // Every sample is 0.5, so each coordinate moves by 0.5 x 2 + 0.5 x 3
    // (exact for these points).
    EXPECT_EQ(clamped, q + Point3(2.5f, 2.5f, 2.5f));

    Point3 withClamps = q, without = q;
    p->PerturbHitPoint(withClamps);
    p->p1High = p->p2High = 1.0f;
    p->p1Low = p->p2Low = 0.0f;
    p->PerturbHitPoint(without);
    EXPECT_EQ(Bits(withClamps.x), Bits(without.x));
    EXPECT_EQ(Bits(withClamps.y), Bits(without.y));
    EXPECT_EQ(Bits(withClamps.z), Bits(without.z));
  }

  // A low clamp set above the high one reaches the block limited (1.0) but
  // the evaluation uses the cache (1.5) until the next Update.
  Owned s;
  s->SetP2Size(0.0f, 0);
  s->Update(0, valid);
  s->SetP1Low(1.5f, 0);
  Point3 pt(0.0f, 0.0f, 0.0f);
  s->PPerturbHitPoint(pt);
  EXPECT_EQ(pt, Point3(3.0f, 3.0f, 3.0f));
  s->Update(0, valid);
  pt = Point3(0.0f, 0.0f, 0.0f);
  s->PPerturbHitPoint(pt);
  EXPECT_EQ(pt, Point3(2.0f, 2.0f, 2.0f));
}

TEST_F(PerturbTest, HugeLevelCountsEndAndGiveTheConvergedSum) {
  Owned p;
  Interval valid = FOREVER;
  p->Update(0, valid);
  const Point3 start(3.0f, -1.0f, 2.0f);
  auto displaced = [&](float levels, bool host) {
    p->p1Lev = p->p2Lev = levels;
    Point3 pt = start;
    if (host)
      p->PPerturbHitPoint(pt);
    else
      p->PerturbHitPoint(pt);
    return pt;
  };
  for (bool host : {false, true}) {
    const Point3 capped = displaced(120.0f, host);
    EXPECT_TRUE(std::isfinite(capped.x) && std::isfinite(capped.y) && std::isfinite(capped.z));
    // Past 2^24 a float count no longer decreases by one; infinity never does.
    for (float levels : {121.0f, 1000.0f, 16777216.0f, 3e9f, std::numeric_limits<float>::max(), kInf}) {
      const Point3 pt = displaced(levels, host);
      EXPECT_EQ(Bits(pt.x), Bits(capped.x)) << levels;
      EXPECT_EQ(Bits(pt.y), Bits(capped.y)) << levels;
      EXPECT_EQ(Bits(pt.z), Bits(capped.z)) << levels;
    }
  }
  // The lattice sum has long stopped changing by 40 octaves.
  EXPECT_EQ(displaced(40.0f, false), displaced(120.0f, false));
}

TEST_F(PerturbTest, EvaluationAllocatesLocksAndWritesNothing) {
  Owned p;
  Interval valid = FOREVER;
  p->Update(0, valid);
  p->p1Lev = 3.5f;
  p->p2Lev = 2.0f;
  p->p1Phase = 0.75f;
  unsigned char before[sizeof(Perturb)];
  std::memcpy(before, static_cast<void*>(p.p), sizeof before);
  const long allocations = AllocationsSoFar(), locks = MutexLocksSoFar();
  float sum = 0.0f;
  for (int i = 0; i < 100; ++i) {
    Point3 a(0.1f * static_cast<float>(i), -2.0f, 5.5f), b = a;
    p->PerturbHitPoint(a);
    p->PPerturbHitPoint(b);
    sum += a.x + b.y + qnoise2(Point2(a.x, b.y)) + qnoise3(a) + qnoise4(b, a.z);
  }
  EXPECT_EQ(AllocationsSoFar(), allocations);
  EXPECT_EQ(MutexLocksSoFar(), locks);
  EXPECT_EQ(std::memcmp(before, static_cast<void*>(p.p), sizeof before), 0);
  EXPECT_TRUE(std::isfinite(sum));
}

// ---- The host's noise4 as the clamped variant relies on it -----------------

TEST(HostNoise, ContinuousAndWithinUnitRange) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> d(-300.0f, 300.0f);
  float lo = 1.0f, hi = -1.0f;
  for (int i = 0; i < 20000; ++i) {
    Point3 q(d(rng), d(rng), d(rng));
    float w = d(rng);
    float v = noise4(q, w);
    ASSERT_GE(v, -1.0f);
    ASSERT_LE(v, 1.0f);
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_LT(lo, -0.7f);
  EXPECT_GT(hi, 0.7f);

  // Continuous across cell faces and in the fourth coordinate.
  for (float x : {0.0f, 1.0f, 17.0f, 255.0f, 256.0f, -1.0f}) {
    EXPECT_NEAR(noise4(Point3(std::nextafter(x, -1e9f), 0.3f, 0.6f), 0.2f), noise4(Point3(x, 0.3f, 0.6f), 0.2f), 1e-5f);
    EXPECT_NEAR(noise4(Point3(0.3f, 0.6f, 0.9f), std::nextafter(x, -1e9f)), noise4(Point3(0.3f, 0.6f, 0.9f), x), 1e-5f);
  }
  // Coordinates that have no cell still give a value in range.
  for (float bad : {kNaN, kInf, -kInf, 1e30f, -std::numeric_limits<float>::max()}) {
    for (float v : {noise4(Point3(bad, 0.5f, 0.5f), 0.5f), noise4(Point3(0.5f, 0.5f, 0.5f), bad)}) {
      EXPECT_GE(v, -1.0f);
      EXPECT_LE(v, 1.0f);
    }
  }
}

// ---- Info utility ----------------------------------------------------------

namespace {

class FakeInterface : public Interface {
 public:
  struct Added {
    HINSTANCE instance;
    const char* dlgTemplate;
    DLGPROC proc;
    std::string title;
    LPARAM param;
    DWORD flags;
    int category;
  };
  struct Mouse {
    HWND hwnd;
    UINT msg;
    WPARAM w;
    LPARAM l;
  };
  std::vector<Added> added;
  std::vector<HWND> deleted;
  std::vector<Mouse> mouse;
  HWND page = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5150));

  HWND AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title, LPARAM param,
                     DWORD flags, int category) override {
    added.push_back({instance, dlgTemplate, proc, title ? title : "(null)", param, flags, category});
    return page;
  }
  void DeleteRollupPage(HWND rollup) override { deleted.push_back(rollup); }
  void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) override {
    mouse.push_back({hDlg, message, wParam, lParam});
  }
  int GetTime() override { return 0; }
};

class FakeUtil : public IUtil {
 public:
  void CloseUtility() override {}
};

}  // namespace

TEST_F(PerturbTest, InfoUtilityOpensItsRollupAndClosesItThroughTheGivenInterface) {
  ClassDesc* desc = LibClassDesc(1);
  auto* util = static_cast<UtilityObj*>(desc->Create(FALSE));
  ASSERT_NE(util, nullptr);
  FakeInterface ip, other;
  FakeUtil iu;

  util->BeginEditParams(&ip, &iu);
  ASSERT_EQ(ip.added.size(), 1u);
  const FakeInterface::Added& page = ip.added[0];
  EXPECT_EQ(page.instance, desc->HInstance());
  EXPECT_EQ(page.dlgTemplate, MAKEINTRESOURCE(101));
  EXPECT_EQ(page.title, "QuorlLib Info");
  EXPECT_EQ(page.param, 0);
  EXPECT_EQ(page.flags, 0u);
  EXPECT_EQ(page.category, 4000);
  ASSERT_NE(page.proc, nullptr);

  // The page's messages: the left button and moves go to the kept
  // interface's rollup handler; other buttons and the wheel do not.
  DLGPROC proc = page.proc;
  EXPECT_EQ(proc(ip.page, WM_INITDIALOG, 0, 0), TRUE);
  EXPECT_EQ(proc(ip.page, WM_COMMAND, 1001, 0), TRUE);
  for (UINT msg : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP})
    EXPECT_EQ(proc(ip.page, msg, 1, static_cast<LPARAM>(0x00200010)), TRUE);
  ASSERT_EQ(ip.mouse.size(), 3u);
  EXPECT_EQ(ip.mouse[1].msg, static_cast<UINT>(WM_LBUTTONDOWN));
  EXPECT_EQ(ip.mouse[1].hwnd, ip.page);
  EXPECT_EQ(ip.mouse[1].w, 1u);
  EXPECT_EQ(ip.mouse[1].l, 0x00200010);
  for (UINT msg : {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEWHEEL, WM_PAINT, WM_SETFONT})
    EXPECT_EQ(proc(ip.page, msg, 0, 0), FALSE);
  EXPECT_EQ(ip.mouse.size(), 3u);

  util->EndEditParams(&other, &iu);
  EXPECT_TRUE(ip.deleted.empty());
  ASSERT_EQ(other.deleted.size(), 1u);
  EXPECT_EQ(other.deleted[0], ip.page);
  EXPECT_EQ(proc(ip.page, WM_DESTROY, 0, 0), TRUE);
  // Closed: a late mouse message has no interface to go to.
  EXPECT_EQ(proc(ip.page, WM_MOUSEMOVE, 0, 0), TRUE);
  EXPECT_EQ(ip.mouse.size(), 3u);

  // The host's "done" leaves the static object usable for the next opening.
  util->DeleteThis();
  EXPECT_EQ(desc->Create(FALSE), static_cast<void*>(util));
  util->BeginEditParams(&other, &iu);
  EXPECT_EQ(other.added.size(), 1u);
  util->EndEditParams(&other, &iu);
  EXPECT_EQ(other.deleted.size(), 2u);
  EXPECT_TRUE(asserts.empty());
}
