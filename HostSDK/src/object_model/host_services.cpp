// assert1, message boxes and control initialisation: the host services whose
// outcome the host program decides through handlers.
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>

#include "custcont.h"
#include "hostside/handlers.h"
#include "hostutil.h"
#include "windows.h"

char TEXMAP_CAT_2D[] = "2D Maps";
char TEXMAP_CAT_3D[] = "3D Maps";
char TEXMAP_CAT_COMP[] = "Compositors";
char TEXMAP_CAT_COLMOD[] = "Color Modifiers";

namespace {

std::mutex& HookMutex() {
  static std::mutex m;
  return m;
}
AssertHook g_assertHook;
MessageBoxHook g_messageBoxHook;
std::atomic<int> g_commonControlsInits{0};
std::map<HINSTANCE, int>& CustomControlInits() {
  static std::map<HINSTANCE, int> m;
  return m;
}

}  // namespace

AssertHook HostSetAssertHandler(AssertHook hook) {
  std::lock_guard lock(HookMutex());
  AssertHook old = g_assertHook;
  g_assertHook = hook;
  return old;
}

MessageBoxHook HostSetMessageBoxHandler(MessageBoxHook hook) {
  std::lock_guard lock(HookMutex());
  MessageBoxHook old = g_messageBoxHook;
  g_messageBoxHook = hook;
  return old;
}

void assert1(int line, const char* file) {
  AssertHook hook;
  {
    std::lock_guard lock(HookMutex());
    hook = g_assertHook;
  }
  if (hook.fn) {
    hook.fn(line, file ? file : "", hook.user);
    return;
  }
  std::fprintf(stderr, "assertion failed: %s, line %d\n", file ? file : "(unknown file)", line);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  MessageBoxHook hook;
  {
    std::lock_guard lock(HookMutex());
    hook = g_messageBoxHook;
  }
  if (hook.fn) return hook.fn(owner, text ? text : "", caption ? caption : "Error", type, hook.user);
  std::fprintf(stderr, "[%s] %s\n", caption ? caption : "Error", text ? text : "");
  return IDOK;
}

void InitCommonControls() { ++g_commonControlsInits; }
int HostCommonControlsInitCount() { return g_commonControlsInits.load(); }

void InitCustomControls(HINSTANCE instance) {
  std::lock_guard lock(HookMutex());
  ++CustomControlInits()[instance];
}
int HostCustomControlsInitCount(HINSTANCE instance) {
  std::lock_guard lock(HookMutex());
  auto it = CustomControlInits().find(instance);
  return it == CustomControlInits().end() ? 0 : it->second;
}
