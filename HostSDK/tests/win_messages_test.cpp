// The message queue and paints, texts, fonts, bitmaps and the shell.
#include <gtest/gtest.h>

#include <cstring>

#include "test_module_ids.h"
#include "win_test_util.h"

namespace {

HWND MakeDialog(int id, std::vector<Seen>* log) {
  return CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(id), nullptr, RecordingProc, reinterpret_cast<LPARAM>(log));
}

int Count(const std::vector<Seen>& log, UINT msg) {
  int n = 0;
  for (const Seen& s : log) n += s.msg == msg;
  return n;
}

}  // namespace

TEST(MessageQueue, PostedMessagesWaitForThePumpAndComeInOrder) {
  std::vector<Seen> log;
  HWND d = MakeDialog(IDD_TEST_PLAIN, &log);
  WindowGuard guard(d);
  HostPumpMessages();
  log.clear();
  EXPECT_TRUE(PostMessageA(d, WM_USER + 1, 1, 0));
  EXPECT_TRUE(PostMessageA(d, WM_USER + 2, 2, 0));
  SendMessageA(d, WM_USER + 3, 3, 0);
  EXPECT_EQ(Messages(log), std::vector<UINT>{WM_USER + 3});
  EXPECT_EQ(HostQueuedMessages().size(), 2u);
  EXPECT_EQ(HostPumpMessages(), 2);
  EXPECT_EQ(Messages(log), (std::vector<UINT>{WM_USER + 3, WM_USER + 1, WM_USER + 2}));
  EXPECT_TRUE(HostQueuedMessages().empty());
  // A handle that never was, or is no more, takes nothing.
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x5), WM_USER, 0, 0));
}

TEST(MessageQueue, InvalidationsCoalesceIntoOnePaintOfAShownWindow) {
  std::vector<Seen> log;
  HWND d = MakeDialog(IDD_TEST_PLAIN, &log);
  WindowGuard guard(d);
  // A window is invalid from the moment it is first shown.
  HostPumpMessages();
  EXPECT_EQ(Count(log, WM_PAINT), 1);
  EXPECT_EQ(HostPumpMessages(), 0);
  for (int i = 0; i < 3; ++i) InvalidateRect(d, nullptr, FALSE);
  EXPECT_EQ(Count(log, WM_PAINT), 1);  // nothing until the pump
  HostPumpMessages();
  EXPECT_EQ(Count(log, WM_PAINT), 2);
  EXPECT_EQ(HostGetWindowInfo(d)->paintCount, 2);

  // Posted messages go before paints.
  log.clear();
  InvalidateRect(d, nullptr, TRUE);
  PostMessageA(d, WM_USER + 7, 0, 0);
  HostPumpMessages();
  EXPECT_EQ(Messages(log), (std::vector<UINT>{WM_USER + 7, WM_PAINT}));

  // A hidden window keeps its paint until it is shown.
  std::vector<Seen> hiddenLog;
  HWND h = MakeDialog(IDD_TEST_SMALL, &hiddenLog);
  WindowGuard hiddenGuard(h);
  EXPECT_FALSE(IsWindowVisible(h));
  InvalidateRect(h, nullptr, FALSE);
  HostPumpMessages();
  EXPECT_EQ(Count(hiddenLog, WM_PAINT), 0);
  EXPECT_FALSE(ShowWindow(h, SW_SHOW));
  EXPECT_EQ(hiddenLog.back().msg, static_cast<UINT>(WM_SHOWWINDOW));
  HostPumpMessages();
  EXPECT_EQ(Count(hiddenLog, WM_PAINT), 1);
  EXPECT_TRUE(IsWindowVisible(h));
}

TEST(MessageQueue, MessagesForAWindowDestroyedBeforeThePumpAreDropped) {
  std::vector<Seen> log;
  HWND d = MakeDialog(IDD_TEST_PLAIN, &log);
  PostMessageA(d, WM_USER + 1, 0, 0);
  DestroyWindow(d);
  size_t seen = log.size();
  HostPumpMessages();
  EXPECT_EQ(log.size(), seen);
}

namespace {
INT_PTR CALLBACK PostsForever(HWND hwnd, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_USER) PostMessageA(hwnd, WM_USER, 0, 0);
  return msg == WM_INITDIALOG;
}
}  // namespace

TEST(MessageQueue, APumpStopsAtItsLimit) {
  HWND d = CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(IDD_TEST_PLAIN), nullptr, PostsForever, 0);
  WindowGuard guard(d);
  PostMessageA(d, WM_USER, 0, 0);
  EXPECT_EQ(HostPumpMessages(50), 50);
  DestroyWindow(d);
  HostPumpMessages();
  EXPECT_TRUE(HostQueuedMessages().empty());
}

TEST(Texts, SetAndGetThroughMessagesAndDialogItems) {
  HWND d = MakeDialog(IDD_TEST_PLAIN, nullptr);
  WindowGuard guard(d);
  EXPECT_TRUE(SetDlgItemTextA(d, IDC_T_CHECK, "Enabled"));
  char buf[64];
  EXPECT_EQ(GetDlgItemTextA(d, IDC_T_CHECK, buf, sizeof buf), 7u);
  EXPECT_STREQ(buf, "Enabled");
  EXPECT_EQ(GetWindowTextA(GetDlgItem(d, IDC_T_CHECK), buf, 4), 3);
  EXPECT_STREQ(buf, "Ena");
  SendMessageA(d, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Title"));
  EXPECT_EQ(SendMessageA(d, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 5);
  EXPECT_STREQ(buf, "Title");
  EXPECT_EQ(GetWindowTextLengthA(d), 5);
  EXPECT_EQ(SendMessageA(d, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buf)), 0);
  EXPECT_FALSE(SetDlgItemTextA(d, 9999, "x"));
  EXPECT_EQ(GetDlgItemTextA(d, 9999, buf, sizeof buf), 0u);
  EXPECT_STREQ(buf, "");
  SetDlgItemInt(d, IDC_T_CHECK, static_cast<UINT>(-12), TRUE);
  BOOL ok = FALSE;
  EXPECT_EQ(static_cast<int>(GetDlgItemInt(d, IDC_T_CHECK, &ok, TRUE)), -12);
  EXPECT_TRUE(ok);
}

TEST(Fonts, MadeRecordedSetAndReleased) {
  int before = HostLiveFontCount();
  HFONT f = CreateFontA(32, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, VARIABLE_PITCH | FF_ROMAN, "");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(HostLiveFontCount(), before + 1);
  auto info = HostGetFontInfo(f);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->height, 32);
  EXPECT_EQ(info->weight, 700);
  EXPECT_EQ(info->pitchAndFamily, 18u);
  EXPECT_FALSE(info->dialogFont);

  HWND d = MakeDialog(IDD_TEST_PLAIN, nullptr);
  HFONT dialogFont = HostGetWindowInfo(d)->font;
  ASSERT_TRUE(HostGetFontInfo(dialogFont));
  EXPECT_EQ(HostLiveFontCount(), before + 1);  // the dialog's own font is the host's, not counted
  HWND check = GetDlgItem(d, IDC_T_CHECK);
  SendMessageA(check, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(check, WM_GETFONT, 0, 0)), f);
  EXPECT_EQ(HostGetWindowInfo(check)->font, f);
  DestroyWindow(d);
  EXPECT_FALSE(HostGetFontInfo(dialogFont));  // released with its dialog

  EXPECT_TRUE(DeleteObject(f));
  EXPECT_FALSE(DeleteObject(f));
  EXPECT_EQ(HostLiveFontCount(), before);
}

TEST(Bitmaps, ModuleBitmapIsDecoded) {
  int before = HostLiveBitmapCount();
  HBITMAP bm = LoadBitmapA(TestInstance(), MAKEINTRESOURCE(IDB_TEST_BITMAP));
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(HostLiveBitmapCount(), before + 1);
  auto info = HostGetBitmapInfo(bm);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->width, 5);
  EXPECT_EQ(info->height, 3);
  EXPECT_EQ(info->bitCount, 4);
  ASSERT_EQ(info->palette.size(), 16u);
  // The file's palette entry i is (16 i, 255 - 16 i, 37 i mod 256); pixel
  // (x, y) of the top row first is entry (x + 5 y) mod 16.
  EXPECT_EQ(info->palette[3], RGB(48, 207, 111));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      int i = (x + 5 * y) % 16;
      uint32_t want = (static_cast<uint32_t>(16 * i) << 16) | (static_cast<uint32_t>(255 - 16 * i) << 8) |
                      static_cast<uint32_t>((37 * i) % 256);
      EXPECT_EQ(info->pixels[static_cast<size_t>(y * 5 + x)], want) << x << "," << y;
    }
  BITMAP desc{};
  EXPECT_EQ(GetObjectA(bm, sizeof desc, &desc), static_cast<int>(sizeof desc));
  EXPECT_EQ(desc.bmWidth, 5);
  EXPECT_EQ(desc.bmBitsPixel, 4);
  EXPECT_EQ(LoadImageA(TestInstance(), MAKEINTRESOURCE(4242), IMAGE_BITMAP, 0, 0, 0), nullptr);
  EXPECT_TRUE(DeleteObject(bm));
  EXPECT_EQ(HostLiveBitmapCount(), before);

  // A bitmap static loads its own and releases it with the dialog.
  HWND d = MakeDialog(IDD_TEST_VARIETY, nullptr);
  EXPECT_EQ(HostLiveBitmapCount(), before + 1);
  DestroyWindow(d);
  EXPECT_EQ(HostLiveBitmapCount(), before);
}

namespace {

std::vector<uint8_t> Dib(int width, int height, int bpp, const std::vector<uint32_t>& palette,
                         const std::vector<uint8_t>& pixels, uint32_t colorsUsed = 0) {
  std::vector<uint8_t> b(40, 0);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int k = 0; k < n; ++k) b[at + static_cast<size_t>(k)] = static_cast<uint8_t>(v >> (8 * k));
  };
  put(0, 40, 4);
  put(4, static_cast<uint32_t>(width), 4);
  put(8, static_cast<uint32_t>(height), 4);
  put(12, 1, 2);
  put(14, static_cast<uint32_t>(bpp), 2);
  put(32, colorsUsed, 4);
  for (uint32_t c : palette) {
    b.push_back(static_cast<uint8_t>(c)), b.push_back(static_cast<uint8_t>(c >> 8));
    b.push_back(static_cast<uint8_t>(c >> 16)), b.push_back(0);
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

}  // namespace

TEST(Bitmaps, DirectColourTopDownAndDamagedDibs) {
  // 2 x 2, 24 bits, top row first (negative height); rows padded to 8 bytes.
  auto top = Dib(2, -2, 24, {}, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 9, 9, 9, 0, 0});
  auto info = HostParseDib(top);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->pixels, (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0x090909}));
  // 1 bit a pixel, bottom row first.
  auto mono = Dib(3, 2, 1, {0x000000, 0xFFFFFF}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0});
  info = HostParseDib(mono);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->pixels, (std::vector<uint32_t>{0, 0xFFFFFF, 0, 0xFFFFFF, 0, 0xFFFFFF}));

  // Every cut of a good one fails cleanly.
  for (size_t n = 0; n < mono.size(); ++n) {
    std::vector<uint8_t> cut(mono.begin(), mono.begin() + static_cast<std::ptrdiff_t>(n));
    std::string error;
    EXPECT_FALSE(HostParseDib(cut, &error)) << n;
    EXPECT_FALSE(error.empty());
  }
  // A pixel naming a colour beyond a short palette.
  auto shortPalette = Dib(2, 1, 4, {0x112233, 0x445566}, {0x05, 0, 0, 0}, 2);
  EXPECT_FALSE(HostParseDib(shortPalette));
  // Sizes that would need more memory than any bitmap of ours.
  EXPECT_FALSE(HostParseDib(Dib(1 << 30, 1 << 30, 24, {}, {})));
  EXPECT_FALSE(HostParseDib(Dib(0, 5, 24, {}, {})));
  EXPECT_FALSE(HostParseDib(Dib(2, 2, 3, {}, std::vector<uint8_t>(64))));
}

namespace {
struct ShellCall {
  std::string operation, file;
  int show;
};
INT_PTR CaptureShell(HWND, const char* operation, const char* file, const char*, const char*, int show, void* user) {
  static_cast<std::vector<ShellCall>*>(user)->push_back({operation, file, show});
  return 2;  // "file not found"
}
}  // namespace

TEST(Shell, OpensThroughTheHostsHandler) {
  std::vector<ShellCall> calls;
  ShellExecuteHook old = HostSetShellExecuteHandler({CaptureShell, &calls});
  HINSTANCE r = ShellExecuteA(nullptr, "open", "mailto:someone@example.com", nullptr, nullptr, SW_SHOWNORMAL);
  HostSetShellExecuteHandler(old);
  EXPECT_EQ(reinterpret_cast<INT_PTR>(r), 2);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].operation, "open");
  EXPECT_EQ(calls[0].file, "mailto:someone@example.com");
  EXPECT_EQ(calls[0].show, 1);

  testing::internal::CaptureStderr();
  r = ShellExecuteA(nullptr, "open", "http://example.com/", nullptr, nullptr, SW_SHOWNORMAL);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[shell] open http://example.com/\n");
  EXPECT_GT(reinterpret_cast<INT_PTR>(r), 32);
}
