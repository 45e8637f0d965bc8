// Helpers of the window tests: the test program's own module and a dialog
// procedure that records what reaches it.
#pragma once

#include <dlfcn.h>

#include <string>
#include <vector>

#include "hostside/ui.h"
#include "windows.h"

// The test program is a module with its own compiled resources.
inline HINSTANCE TestInstance() {
  static int anchor;
  Dl_info info{};
  dladdr(static_cast<const void*>(&anchor), &info);
  return static_cast<HINSTANCE>(info.dli_fbase);
}

// One message as a dialog procedure saw it, with what it could see then.
struct Seen {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  int children;  // how many controls the dialog had at that moment
};

// A dialog procedure for tests: logs every message into the vector whose
// address is the creation parameter, kept in the window's user data.
inline INT_PTR CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
  auto* log = reinterpret_cast<std::vector<Seen>*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  auto info = HostGetWindowInfo(hwnd);
  if (log) log->push_back({hwnd, msg, wParam, lParam, info ? static_cast<int>(info->children.size()) : -1});
  return msg == WM_INITDIALOG ? TRUE : FALSE;
}

inline std::vector<UINT> Messages(const std::vector<Seen>& log) {
  std::vector<UINT> out;
  for (const Seen& s : log) out.push_back(s.msg);
  return out;
}

// Destroys a window when the test ends, whatever happens.
struct WindowGuard {
  HWND hwnd;
  explicit WindowGuard(HWND h) : hwnd(h) {}
  ~WindowGuard() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
  WindowGuard(const WindowGuard&) = delete;
  WindowGuard& operator=(const WindowGuard&) = delete;
};
