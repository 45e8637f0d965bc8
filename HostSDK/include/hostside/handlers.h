// What the host program decides about the services plug-ins call: where an
// assertion report goes, how a message box is shown. The host program and the
// tests install handlers; plug-ins never include this header.
//
// Handlers are process-wide and meant to be installed on the user-interface
// thread before plug-ins run. Each setter returns the handler it replaced.
#pragma once

#include <string>

#include "../windows.h"

using AssertHandler = void (*)(int line, const char* file, void* user);
struct AssertHook {
  AssertHandler fn = nullptr;  // null: one line on standard error
  void* user = nullptr;
};
HOSTSDK_API AssertHook HostSetAssertHandler(AssertHook hook);

using MessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption, UINT type, void* user);
struct MessageBoxHook {
  MessageBoxHandler fn = nullptr;  // null: caption and text on standard error, answer IDOK
  void* user = nullptr;
};
HOSTSDK_API MessageBoxHook HostSetMessageBoxHandler(MessageBoxHook hook);

// How often each initialisation ran in this process (0 before the first).
HOSTSDK_API int HostCommonControlsInitCount();
HOSTSDK_API int HostCustomControlsInitCount(HINSTANCE instance);
