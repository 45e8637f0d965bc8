#include "cli/user_messages.h"

#include <cstdio>

namespace plughost {

namespace {

int PrintMessageBox(HWND, const char* text, const char* caption, UINT, void*) {
  std::fprintf(stderr, "plughost: %s: %s\n", caption ? caption : "", text ? text : "");
  return IDOK;
}

INT_PTR PrintShellOpen(HWND, const char* operation, const char* file, const char*, const char*, int, void*) {
  std::fprintf(stderr, "plughost: %s %s\n", operation ? operation : "open", file ? file : "");
  return 42;  // above 32: the shell took it
}

}  // namespace

UserMessages::UserMessages()
    : box_(HostSetMessageBoxHandler({PrintMessageBox, nullptr})),
      shell_(HostSetShellExecuteHandler({PrintShellOpen, nullptr})) {}

UserMessages::~UserMessages() {
  HostSetMessageBoxHandler(box_);
  HostSetShellExecuteHandler(shell_);
}

}  // namespace plughost
