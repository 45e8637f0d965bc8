#include <gtest/gtest.h>

#include "hostside/class_registry.h"
#include "hostside/paramblock_access.h"
#include "ioapi.h"
#include "iparamb.h"
#include "test_node.h"

namespace {

ParamBlockDescID kDesc[] = {
    {TYPE_FLOAT, nullptr, TRUE, 0}, {TYPE_INT, nullptr, TRUE, 1},    {TYPE_BOOL, nullptr, TRUE, 2},
    {TYPE_RGBA, nullptr, TRUE, 3},  {TYPE_FLOAT, nullptr, FALSE, 4},
};

class ParamBlockTest : public testing::Test {
 protected:
  void SetUp() override {
    owner = new TestNode(1);
    block = CreateParameterBlock(kDesc, 5, 3);
    owner->ReplaceReference(0, block);
    SetAnimateMode(FALSE);
  }
  void TearDown() override {
    SetAnimateMode(FALSE);
    owner->DeleteThis();
  }
  float F(TimeValue t, Interval* iv = nullptr) {
    float v = -1;
    Interval local = FOREVER;
    EXPECT_TRUE(block->GetValue(0, t, v, iv ? *iv : local));
    return v;
  }
  TestNode* owner;
  IParamBlock* block;
};

}  // namespace

TEST_F(ParamBlockTest, ConstantsReadForeverAndWritesNotify) {
  EXPECT_EQ(block->NumParams(), 5);
  EXPECT_EQ(block->GetVersion(), 3u);
  EXPECT_EQ(block->GetParameterType(3), TYPE_RGBA);
  EXPECT_EQ(block->IDtoIndex(4), 4);
  EXPECT_EQ(block->IDtoIndex(9), -1);
  EXPECT_EQ(F(0), 0.0f);  // new values are zero

  EXPECT_TRUE(block->SetValue(0, 320, 2.5f));  // not animating: sets the constant
  ASSERT_EQ(owner->received.size(), 1u);
  EXPECT_EQ(owner->received[0].message, REFMSG_CHANGE);
  EXPECT_EQ(owner->received[0].target, block);
  Interval iv = FOREVER;
  EXPECT_EQ(F(-100000, &iv), 2.5f);
  EXPECT_EQ(iv, FOREVER);
  EXPECT_TRUE(HostGetParam(block, 0).keys.empty());

  Color c(0.1f, 0.2f, 0.3f);
  EXPECT_TRUE(block->SetValue(3, 0, c));
  Color out(0, 0, 0);
  iv = FOREVER;
  EXPECT_TRUE(block->GetValue(3, 50, out, iv));
  EXPECT_EQ(out, c);

  // Wrong types and indexes are refused and leave the value alone.
  float f = 9.0f;
  EXPECT_FALSE(block->GetValue(3, 0, f, iv));
  EXPECT_EQ(f, 9.0f);
  EXPECT_FALSE(block->SetValue(7, 0, 1.0f));
  EXPECT_FALSE(block->GetValue(-1, 0, f, iv));
  EXPECT_EQ(owner->received.size(), 2u);
}

TEST_F(ParamBlockTest, AnimateModeKeysAndTheAutomaticKeyAtZero) {
  block->SetValue(0, 0, 1.0f);
  SetAnimateMode(TRUE);
  block->SetValue(0, 0, 5.0f);  // animate mode at 0 still sets the constant
  EXPECT_TRUE(HostGetParam(block, 0).keys.empty());
  block->SetValue(0, 160, 3.0f);
  HostParamValue v = HostGetParam(block, 0);
  ASSERT_EQ(v.keys.size(), 2u);
  EXPECT_EQ(v.keys[0].time, 0);
  EXPECT_EQ(v.keys[0].v[0], 5.0f);  // the value it had
  EXPECT_EQ(v.keys[1].time, 160);
  EXPECT_EQ(v.keys[1].v[0], 3.0f);

  SetAnimateMode(FALSE);
  block->SetValue(0, 320, 4.0f);  // already keyed: keys even outside animate mode
  block->SetValue(0, 160, 6.0f);  // replaces the key at 160
  v = HostGetParam(block, 0);
  ASSERT_EQ(v.keys.size(), 3u);
  EXPECT_EQ(v.keys[1].v[0], 6.0f);

  block->SetValue(4, 160, 8.0f);  // not animatable: never keyed
  EXPECT_TRUE(HostGetParam(block, 4).keys.empty());
}

TEST_F(ParamBlockTest, ReadsNarrowTheirIntervalBeforeBetweenAtAndAfterKeys) {
  SetAnimateMode(TRUE);
  block->SetValue(0, 0, 0.0f);
  block->SetValue(0, 100, 10.0f);
  block->SetValue(0, 200, 0.0f);
  block->SetValue(0, 300, 10.0f);
  SetAnimateMode(FALSE);

  Interval iv = FOREVER;
  EXPECT_EQ(F(-50, &iv), 0.0f);
  EXPECT_EQ(iv, Interval(TIME_NegInfinity, 0));
  iv = FOREVER;
  EXPECT_EQ(F(0, &iv), 0.0f);
  EXPECT_EQ(iv, Interval(TIME_NegInfinity, 0));
  iv = FOREVER;
  EXPECT_EQ(F(100, &iv), 10.0f);  // an inner key: exactly its value, for that instant
  EXPECT_EQ(iv, Interval(100, 100));
  iv = FOREVER;
  float mid = F(150, &iv);
  EXPECT_EQ(iv, Interval(150, 150));
  EXPECT_GT(mid, 0.0f);
  EXPECT_LT(mid, 10.0f);
  iv = FOREVER;
  EXPECT_EQ(F(900, &iv), 10.0f);
  EXPECT_EQ(iv, Interval(300, TIME_PosInfinity));
  iv = Interval(0, 50);
  F(150, &iv);
  EXPECT_TRUE(iv.Empty());  // narrowing intersects
}

TEST_F(ParamBlockTest, FloatsAreSmoothAndIntsStep) {
  SetAnimateMode(TRUE);
  block->SetValue(0, 0, 0.0f);
  block->SetValue(0, 100, 10.0f);
  block->SetValue(1, 0, 1);
  block->SetValue(1, 100, 7);
  block->SetValue(2, 0, 0);
  block->SetValue(2, 100, 1);
  SetAnimateMode(FALSE);

  // Flat at both ends: symmetric ease, half way at the middle.
  EXPECT_EQ(F(50), 5.0f);
  EXPECT_LT(F(10), 1.0f);  // eases out of the first key, slower than linear
  EXPECT_GT(F(90), 9.0f);
  float prev = -1.0f;
  for (TimeValue t = 0; t <= 100; t += 5) {
    float v = F(t);
    EXPECT_GE(v, prev);
    prev = v;
  }
  Interval iv = FOREVER;
  int i = 0;
  block->GetValue(1, 99, i, iv);
  EXPECT_EQ(i, 1);  // holds until the next key
  block->GetValue(1, 100, i, iv);
  EXPECT_EQ(i, 7);
  block->GetValue(2, 50, i, iv);
  EXPECT_EQ(i, 0);
}

TEST_F(ParamBlockTest, CloneCopiesValuesAndKeys) {
  SetAnimateMode(TRUE);
  block->SetValue(0, 160, 2.0f);
  SetAnimateMode(FALSE);
  auto* copy = static_cast<IParamBlock*>(CloneRefHierarchy(block));
  block->SetValue(0, 160, 9.0f);
  Interval iv = FOREVER;
  float v = 0;
  copy->GetValue(0, 160, v, iv);
  EXPECT_EQ(v, 2.0f);
  EXPECT_EQ(HostGetParam(copy, 0).keys.size(), 2u);
  copy->DeleteThis();
}

TEST_F(ParamBlockTest, WholeValueAccessChecksTypeAndOrder) {
  HostParamValue v;
  v.type = TYPE_FLOAT;
  v.keys = {{0, {1, 0, 0}, 0}, {160, {2, 0, 0}, 0}};
  EXPECT_TRUE(HostSetParam(block, 0, v));
  EXPECT_EQ(F(160), 2.0f);
  v.keys = {{160, {1, 0, 0}, 0}, {0, {2, 0, 0}, 0}};
  EXPECT_FALSE(HostSetParam(block, 0, v));  // unsorted
  v.type = TYPE_INT;
  EXPECT_FALSE(HostSetParam(block, 0, v));  // wrong type
  EXPECT_TRUE(HostIsParamBlock(block));
  EXPECT_FALSE(HostIsParamBlock(owner));
  EXPECT_EQ(HostParamDesc(block, 2).type, TYPE_BOOL);
}

namespace {

// Stands in for the scene loader's side of ILoad.
class FakeLoad : public ILoad {
 public:
  void RegisterPostLoadCallback(PostLoadCallback* cb) override { callbacks.push_back(cb); }
  RefTargetHandle DisplacedReference(ReferenceMaker*, int) override { return displaced; }
  std::vector<PostLoadCallback*> callbacks;
  RefTargetHandle displaced = nullptr;
};

}  // namespace

TEST(ParamBlockConverter, OlderLayoutIsBroughtUpToDate) {
  ParamBlockDescID current[] = {
      {TYPE_FLOAT, nullptr, TRUE, 0}, {TYPE_FLOAT, nullptr, TRUE, 1}, {TYPE_BOOL, nullptr, TRUE, 2}};
  ParamVersionDesc oldVersion(current, 2, 100);
  ParamVersionDesc currentVersion(current, 3, 101);

  auto* owner = new TestNode(1);
  // What construction made: the current layout with the switch on.
  IParamBlock* constructed = CreateParameterBlock(current, 3, 101);
  constructed->SetValue(2, 0, 1);
  constructed->SetValue(1, 0, 9.0f);
  owner->ReplaceReference(0, constructed);
  // What the file held: the old layout.
  IParamBlock* loaded = CreateParameterBlock(current, 2, 100);
  loaded->SetValue(0, 0, 0.5f);
  SetAnimateMode(TRUE);
  loaded->SetValue(1, 160, 3.0f);
  SetAnimateMode(FALSE);
  HostInstallReference(owner, 0, loaded);

  FakeLoad iload;
  iload.displaced = constructed;
  ParamBlockPLCB cb(&oldVersion, 1, &currentVersion, owner, 0);
  cb.proc(&iload);

  auto* now = static_cast<IParamBlock*>(owner->GetReference(0));
  ASSERT_NE(now, loaded);
  EXPECT_EQ(now->GetVersion(), 101u);
  EXPECT_EQ(now->NumParams(), 3);
  Interval iv = FOREVER;
  float f = 0;
  int on = 0;
  now->GetValue(0, 0, f, iv);
  EXPECT_EQ(f, 0.5f);
  EXPECT_EQ(HostGetParam(now, 1).keys.size(), 2u);  // keys carry over
  now->GetValue(2, 0, on, iv);
  EXPECT_EQ(on, 1);  // missing from the file: kept from construction

  // A block already current is left alone.
  cb.proc(&iload);
  EXPECT_EQ(owner->GetReference(0), now);
  constructed->DeleteThis();
  owner->DeleteThis();
}

TEST(ClassRegistry, FindsByIdsAndNameAndRefusesDuplicates) {
  HostRegisterBuiltinClasses();
  ClassDesc* pb = HostFindClass(PARAMETER_BLOCK_CLASS_ID, PARAMETER_BLOCK_CLASS);
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(HostFindClassByName("param-block"), pb);
  EXPECT_EQ(HostFindClassByName("no such class"), nullptr);
  EXPECT_FALSE(HostRegisterClass(pb, "again"));
  EXPECT_EQ(CreateInstance(0x999, Class_ID(1, 2)), nullptr);
  auto* b = static_cast<ReferenceTarget*>(CreateInstance(PARAMETER_BLOCK_CLASS_ID, PARAMETER_BLOCK_CLASS));
  ASSERT_NE(b, nullptr);
  b->DeleteThis();
}
