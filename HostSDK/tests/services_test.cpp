#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assert_capture.h"
#include "custcont.h"
#include "hostside/handlers.h"
#include "hostutil.h"

namespace {

struct Box {
  std::string text, caption;
  UINT type;
};

int Capture(HWND, const char* text, const char* caption, UINT type, void* user) {
  static_cast<std::vector<Box>*>(user)->push_back({text, caption, type});
  return IDCANCEL;
}

}  // namespace

TEST(Services, MessageBoxGoesToTheInstalledHandler) {
  std::vector<Box> boxes;
  MessageBoxHook old = HostSetMessageBoxHandler({Capture, &boxes});
  EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK | MB_ICONEXCLAMATION), IDCANCEL);
  HostSetMessageBoxHandler(old);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "text");
  EXPECT_EQ(boxes[0].caption, "caption");
  EXPECT_EQ(boxes[0].type, 0x30u);
}

TEST(Services, DefaultMessageBoxPrintsAndAnswersOk) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "hello", "Notifier...", MB_OK), IDOK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Notifier...] hello\n");
}

TEST(Services, AssertReportsAndReturns) {
  {
    AssertCapture reports;
    assert1(67, "QuorlLib.cpp");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], std::make_pair(67, std::string("QuorlLib.cpp")));
  }
  testing::internal::CaptureStderr();
  assert1(5, "x.cpp");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "assertion failed: x.cpp, line 5\n");
}

TEST(Services, ControlInitialisationIsCounted) {
  int before = HostCommonControlsInitCount();
  InitCommonControls();
  EXPECT_EQ(HostCommonControlsInitCount(), before + 1);
  int key = 0;
  HINSTANCE fake = reinterpret_cast<HINSTANCE>(&key);
  EXPECT_EQ(HostCustomControlsInitCount(fake), 0);
  InitCustomControls(fake);
  EXPECT_EQ(HostCustomControlsInitCount(fake), 1);
}
