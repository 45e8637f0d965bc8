#include <gtest/gtest.h>

#include "test_node.h"

TEST(References, ReplaceRecordsAndLastReferenceDeletes) {
  int live = 0;
  auto* owner = new TestNode(2, &live);
  auto* a = new TestNode(0, &live);
  auto* b = new TestNode(0, &live);
  owner->ReplaceReference(0, a);
  EXPECT_EQ(owner->GetReference(0), a);
  EXPECT_EQ(a->DependentCount(), 1);
  EXPECT_EQ(a->Dependents(), std::vector<ReferenceMaker*>{owner});

  owner->ReplaceReference(0, b);  // a has no reference left: deleted
  EXPECT_EQ(owner->GetReference(0), b);
  EXPECT_EQ(live, 2);

  owner->ReplaceReference(0, b);  // the same target again changes nothing
  EXPECT_EQ(b->DependentCount(), 1);
  EXPECT_EQ(live, 2);

  auto* kept = new TestNode(0, &live);
  owner->ReplaceReference(1, kept);
  owner->ReplaceReference(1, nullptr, 0);  // without delOld the old target stays
  EXPECT_EQ(owner->GetReference(1), nullptr);
  EXPECT_EQ(live, 3);
  delete kept;

  owner->DeleteThis();  // drops its references: b goes with it
  EXPECT_EQ(live, 0);
}

TEST(References, SharedTargetLivesUntilItsLastDependentGoes) {
  int live = 0;
  auto* m1 = new TestNode(1, &live);
  auto* m2 = new TestNode(2, &live);
  auto* shared = new TestNode(0, &live);
  m1->ReplaceReference(0, shared);
  m2->ReplaceReference(0, shared);
  m2->ReplaceReference(1, shared);  // twice from one maker
  EXPECT_EQ(shared->Dependents().size(), 2u);
  m1->DeleteThis();
  EXPECT_EQ(live, 2);
  m2->ReplaceReference(0, nullptr);
  EXPECT_EQ(live, 2);  // still held by m2's slot 1
  m2->DeleteThis();
  EXPECT_EQ(live, 0);
}

TEST(References, DeletingAReferencedTargetClearsItsDependents) {
  int live = 0;
  auto* owner = new TestNode(1, &live);
  auto* t = new TestNode(0, &live);
  owner->ReplaceReference(0, t);
  t->DeleteThis();
  EXPECT_EQ(owner->GetReference(0), nullptr);
  ASSERT_EQ(owner->received.size(), 1u);
  EXPECT_EQ(owner->received[0].message, REFMSG_TARGET_DELETED);
  EXPECT_TRUE(owner->HostRefs().empty());
  owner->DeleteThis();
  EXPECT_EQ(live, 0);
}

TEST(References, ChangeMessagesClimbUntilStopped) {
  int live = 0;
  // top -> mid -> leaf, and top2 -> mid
  auto* top = new TestNode(1, &live);
  auto* top2 = new TestNode(1, &live);
  auto* mid = new TestNode(1, &live);
  auto* leaf = new TestNode(0, &live);
  top->ReplaceReference(0, mid);
  top2->ReplaceReference(0, mid);
  mid->ReplaceReference(0, leaf);

  leaf->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  ASSERT_EQ(mid->received.size(), 1u);
  EXPECT_EQ(mid->received[0].target, leaf);
  EXPECT_EQ(mid->received[0].message, REFMSG_CHANGE);
  ASSERT_EQ(top->received.size(), 1u);
  EXPECT_EQ(top->received[0].target, mid);  // the target a maker references
  ASSERT_EQ(top2->received.size(), 1u);

  mid->answer = REF_STOP;
  leaf->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  EXPECT_EQ(mid->received.size(), 2u);
  EXPECT_EQ(top->received.size(), 1u);  // stopped at mid

  top->DeleteThis();
  top2->DeleteThis();
  EXPECT_EQ(live, 0);
}

TEST(References, DiamondDeliversOncePerMaker) {
  int live = 0;
  auto* top = new TestNode(2, &live);
  auto* left = new TestNode(1, &live);
  auto* right = new TestNode(1, &live);
  auto* leaf = new TestNode(0, &live);
  top->ReplaceReference(0, left);
  top->ReplaceReference(1, right);
  left->ReplaceReference(0, leaf);
  right->ReplaceReference(0, leaf);
  leaf->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  EXPECT_EQ(top->received.size(), 1u);
  top->DeleteThis();
  EXPECT_EQ(live, 0);
}

TEST(References, CloneCopiesSharedTargetsOnce) {
  int live = 0;
  auto* root = new TestNode(2, &live);
  auto* shared = new TestNode(0, &live);
  shared->tag = 7;
  root->ReplaceReference(0, shared);
  root->ReplaceReference(1, shared);

  auto* copy = static_cast<TestNode*>(CloneRefHierarchy(root));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(live, 4);
  auto* c0 = static_cast<TestNode*>(copy->GetReference(0));
  EXPECT_NE(c0, shared);
  EXPECT_EQ(c0, copy->GetReference(1));
  EXPECT_EQ(c0->tag, 7);
  EXPECT_EQ(c0->DependentCount(), 2);

  RemapDir* remap = NewRemapDir();
  RefTargetHandle again = remap->CloneRef(shared);
  EXPECT_EQ(remap->CloneRef(shared), again);
  EXPECT_EQ(remap->FindMapping(shared), again);
  EXPECT_EQ(remap->CloneRef(nullptr), nullptr);
  DeleteRemapDir(remap);
  again->DeleteThis();

  root->DeleteThis();
  copy->DeleteThis();
  EXPECT_EQ(live, 0);
}

TEST(References, InstallingAsTheLoaderDoesDropsNothing) {
  int live = 0;
  auto* owner = new TestNode(1, &live);
  auto* made = new TestNode(0, &live);
  auto* loaded = new TestNode(0, &live);
  owner->ReplaceReference(0, made);
  HostInstallReference(owner, 0, loaded);
  EXPECT_EQ(owner->GetReference(0), loaded);
  EXPECT_EQ(made->DependentCount(), 0);
  EXPECT_EQ(live, 3);  // the displaced one is the loader's to delete
  made->DeleteThis();
  owner->DeleteThis();
  EXPECT_EQ(live, 0);
}

// A chain as long as a file may make one: deleting its head and sending a
// message up from its tail take no stack in proportion to its length.
TEST(References, LongChainsAreWalkedWithoutRecursion) {
  int live = 0;
  constexpr int kLength = 200000;
  auto* head = new TestNode(1, &live);
  TestNode* tail = head;
  for (int i = 1; i < kLength; ++i) {
    auto* next = new TestNode(1, &live);
    tail->ReplaceReference(0, next);
    tail = next;
  }
  auto* holder = new TestNode(1, &live);
  holder->ReplaceReference(0, head);
  tail->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  EXPECT_EQ(holder->received.size(), 1u);
  EXPECT_EQ(holder->received[0].target, head);
  holder->DeleteThis();
  EXPECT_EQ(live, 0);
}
