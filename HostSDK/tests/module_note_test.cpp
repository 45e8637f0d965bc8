// A module's note about itself, as the host shows it with the module.
#include <gtest/gtest.h>

#include "hostside/module_table.h"
#include "hostutil.h"
#include "win_test_util.h"

TEST(ModuleNote, PublishedReplacedAndRemovedAsOnePlainLine) {
  const HINSTANCE self = TestInstance();
  ASSERT_TRUE(HostIsModuleLoaded(self));
  EXPECT_EQ(HostModuleNote(self), "");

  SetModuleNote(self, "fast path avx2");
  EXPECT_EQ(HostModuleNote(self), "fast path avx2");
  // Control characters would break the host's listing; a runaway text is cut.
  SetModuleNote(self, "two\nlines\t\x1b[2J");
  EXPECT_EQ(HostModuleNote(self), "two lines  [2J");
  SetModuleNote(self, std::string(300, 'n').c_str());
  EXPECT_EQ(HostModuleNote(self), std::string(200, 'n'));
  SetModuleNote(self, nullptr);
  EXPECT_EQ(HostModuleNote(self), "");

  // A handle that is no loaded module keeps no note.
  int other = 0;
  const HINSTANCE unknown = reinterpret_cast<HINSTANCE>(&other);
  SetModuleNote(unknown, "lost");
  EXPECT_EQ(HostModuleNote(unknown), "");
}
