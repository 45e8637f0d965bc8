// Start-up of a module: static objects, then DllMain, with the resources
// already registered under the module's instance handle.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hostside/module_table.h"
#include "test_module_ids.h"
#include "windows.h"

namespace {

struct EntryCall {
  HINSTANCE instance;
  DWORD reason;
  bool staticObjectBuilt;
  bool resourcesRegistered;
};
std::vector<EntryCall>* g_calls;  // zero-initialised before any constructor
bool g_staticBuilt = false;

struct StaticObject {
  StaticObject() { g_staticBuilt = true; }
} g_staticObject;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (!g_calls) g_calls = new std::vector<EntryCall>;  // lives to exit on purpose
  char buf[16];
  g_calls->push_back({instance, reason, g_staticBuilt, LoadStringA(instance, IDS_FIRST, buf, 16) > 0});
  return TRUE;
}

namespace {
HINSTANCE Instance() { return (*g_calls)[0].instance; }
}  // namespace

TEST(ModuleStartUp, DllMainRunsOnceAfterStaticObjectsWithResourcesReady) {
  ASSERT_NE(g_calls, nullptr);
  ASSERT_EQ(g_calls->size(), 1u);
  const EntryCall& c = (*g_calls)[0];
  EXPECT_EQ(c.reason, static_cast<DWORD>(DLL_PROCESS_ATTACH));
  EXPECT_NE(c.instance, nullptr);
  EXPECT_TRUE(c.staticObjectBuilt);
  EXPECT_TRUE(c.resourcesRegistered);
  EXPECT_TRUE(HostIsModuleLoaded(c.instance));
  EXPECT_EQ(HostModuleResourceError(c.instance), "");
  char path[4096];
  EXPECT_GT(GetModuleFileNameA(c.instance, path, sizeof path), 0u);
  EXPECT_NE(std::strstr(path, "HostSDKTests"), nullptr);
}

TEST(LoadString, ReadsEachBlockOfSixteen) {
  char buf[256];
  EXPECT_EQ(LoadStringA(Instance(), IDS_FIRST, buf, sizeof buf), 5);
  EXPECT_STREQ(buf, "first");
  EXPECT_EQ(LoadStringA(Instance(), IDS_SIXTEENTH, buf, sizeof buf), 30);
  EXPECT_STREQ(buf, "sixteenth, in the second block");
  EXPECT_EQ(LoadStringA(Instance(), IDS_LONG, buf, sizeof buf), 20);
  EXPECT_STREQ(buf, "0123456789abcdefghij");
  EXPECT_GT(LoadStringA(Instance(), IDS_ACCENT, buf, sizeof buf), 0);
  EXPECT_EQ(static_cast<unsigned char>(buf[3]), 0xE9u);  // Latin-1 survives the UTF-16 round trip
}

TEST(LoadString, MissingStringsAndModulesGiveZeroAndEmptyText) {
  char buf[8] = "junk";
  EXPECT_EQ(LoadStringA(Instance(), 2, buf, sizeof buf), 0);  // in a block, but empty
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(LoadStringA(Instance(), 999, buf, sizeof buf), 0);  // no such block
  int local = 0;
  EXPECT_EQ(LoadStringA(reinterpret_cast<HINSTANCE>(&local), IDS_FIRST, buf, sizeof buf), 0);
  EXPECT_EQ(LoadStringA(nullptr, IDS_FIRST, buf, sizeof buf), 0);
}

TEST(LoadString, CutsAtTheBufferAndAlwaysTerminates) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(LoadStringA(Instance(), IDS_LONG, buf, 8), 7);
  EXPECT_STREQ(buf, "0123456");
  EXPECT_EQ(LoadStringA(Instance(), IDS_LONG, buf, 1), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(LoadStringA(Instance(), IDS_LONG, buf, 0), 0);
  EXPECT_EQ(LoadStringA(Instance(), IDS_LONG, nullptr, 8), 0);
}

TEST(ModuleTable, FindsResourcesByTypeAndName) {
  auto data = HostFindResource(Instance(), ResId::Num(10), ResId::Num(42));
  ASSERT_GE(data.size(), 7u);
  EXPECT_EQ(std::memcmp(data.data(), "payload", 7), 0);
  EXPECT_TRUE(HostFindResource(Instance(), ResId::Num(10), ResId::Num(43)).empty());
}
