// Identity, version check, categories and the notifier, through QuorlLib.dlu.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DllEntry.h"
#include "QuorlLib.h"
#include "assert_capture.h"
#include "hostside/handlers.h"

namespace {

struct Box {
  std::string text, caption;
  UINT type;
  HWND owner;
};

// Captures message boxes and assertion reports while a test runs.
class Captured : public testing::Test {
 protected:
  void SetUp() override { oldBox_ = HostSetMessageBoxHandler({&Captured::OnBox, this}); }
  void TearDown() override { HostSetMessageBoxHandler(oldBox_); }
  static int OnBox(HWND owner, const char* text, const char* caption, UINT type, void* user) {
    static_cast<Captured*>(user)->boxes.push_back({text, caption, type, owner});
    return IDOK;
  }
  int Check(unsigned long release, unsigned long required, const char* name = "Vede") {
    std::string n(name);
    return CheckQuorlLibVersion(release, required, n.data());
  }

  std::vector<Box> boxes;
  AssertCapture asserts;
  MessageBoxHook oldBox_;
};

}  // namespace

using Identity = Captured;

TEST_F(Identity, NameVersionAndStubs) {
  EXPECT_EQ(testFunction(), 0);
  EXPECT_EQ(QuorlLibVersion(), 0x8010Bul);
  EXPECT_STREQ(QuorlLibName(), "QuorlLib");
  EXPECT_EQ(QuorlLibName(), QuorlLibName());
  EXPECT_EQ(QGetString(4), nullptr);
  ASSERT_EQ(asserts.size(), 1u);
  EXPECT_TRUE(asserts.Reported(22, "QuorlLib.cpp"));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Identity, CompatibleVersionsPassSilently) {
  EXPECT_EQ(Check(4000, 0x8010B), 1);       // the library's own
  EXPECT_EQ(Check(4000, 0x80100), 1);       // 1.00
  EXPECT_EQ(Check(4000, 0x7F08010Bul), 1);  // differs only in bits 24-31
  EXPECT_EQ(Check(3000, 0x8010A), 1);       // the release is not checked
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Identity, NewerMinorAsksForANewLibrary) {
  EXPECT_EQ(Check(4000, 0x8010C), 0);  // 1.12
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Notifier...");
  EXPECT_EQ(boxes[0].type, 0x30u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].text,
            "Vede requires at least version 1.12 of QuorlLib.dlu.  You currently have QuorlLib V1.11 installed.  "
            "Please install a new QuorlLib.dlu.");
}

TEST_F(Identity, OtherMajorOrGenerationIsObsolete) {
  EXPECT_EQ(Check(4000, 0x80200), 0);  // 2.00
  EXPECT_EQ(Check(3999, 0x9010B), 0);  // generation 9, release just below 4000
  EXPECT_EQ(Check(4999, 0x7010B), 0);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text,
            "Obsolete plugin version, Vede, which will not work with the current system configuration.  "
            "Make sure you are using at least version 2.00 of QuorlLib.dlu in Max R4.x, and that Vede is the "
            "latest version.");
  EXPECT_EQ(boxes[1].text,
            "Obsolete plugin version, Vede, which will not work with the current system configuration.  "
            "Make sure you are using at least version 1.11 of QuorlLib.dlu in Max R3.x, and that Vede is the "
            "latest version.");
  EXPECT_NE(boxes[2].text.find("in Max R4.x"), std::string::npos);
  for (const Box& b : boxes) EXPECT_EQ(b.caption, "Notifier...");
}

TEST_F(Identity, MinorAboveNinetyNineCarriesIntoTheDisplayOnly) {
  // Major 1, minor 150: shown as 2.50, compared as 150 > 11.
  EXPECT_EQ(Check(4000, 0x80196), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.rfind("Vede requires at least version 2.50 of QuorlLib.dlu.", 0), 0u) << boxes[0].text;
}

TEST_F(Identity, LongCallerNamesAreShownWhole) {
  // Past 255 characters the message is not cut and nothing overruns.
  std::string name(300, 'N');
  EXPECT_EQ(Check(4000, 0x80200, name.c_str()), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.size(), 194u + 2 * name.size());
  char fmt[] = "%s|%s";
  std::string a(400, 'a'), b(400, 'b');
  notifier(fmt, a.c_str(), b.c_str());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text, a + "|" + b);
}

TEST_F(Identity, NotifierFormatsLikePrintf) {
  char fmt[] = "%d items, %.02f done, %s";
  notifier(fmt, 3, 0.5, "ok");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "3 items, 0.50 done, ok");
  EXPECT_EQ(boxes[0].caption, "Notifier...");
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
}

TEST_F(Identity, CategoriesAndTheirFallback) {
  const char* expected[] = {nullptr,
                            "Quorl's Geometric/Deformable",
                            "Quorl's Modifier-Based",
                            "Quorl's Particles & Dynamics",
                            "Quorl's Modifiers",
                            "Quorl's Particles Only",
                            "Quorl's Surface Modifiers",
                            "Quorl's Surface Modifiers",
                            "Quorl's Renderers",
                            "Quorl's Objects",
                            TEXMAP_CAT_2D,
                            TEXMAP_CAT_3D,
                            TEXMAP_CAT_COMP,
                            "Quorl's Materials",
                            "Quorl's Utilities",
                            "Quorl's Shadow Plugins"};
  for (int code = 1; code <= 15; ++code) EXPECT_STREQ(GetQuorlCategoryString(code), expected[code]) << code;
  // The host's own texts, not copies.
  EXPECT_EQ(GetQuorlCategoryString(10), TEXMAP_CAT_2D);
  EXPECT_EQ(GetQuorlCategoryString(12), TEXMAP_CAT_COMP);
  // 6 and 7 read the same but are separate texts.
  EXPECT_NE(GetQuorlCategoryString(6), GetQuorlCategoryString(7));
  EXPECT_TRUE(asserts.empty());
  for (int bad : {0, 16, -1}) {
    const char* s = GetQuorlCategoryString(bad);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "");
  }
  ASSERT_EQ(asserts.size(), 3u);
  for (const auto& a : asserts) EXPECT_EQ(a, asserts[0]);
  EXPECT_TRUE(asserts.Reported(67, "QuorlLib.cpp"));
}
