// What plug-ins show in message boxes, and the addresses their links open, as
// a command-line verb shows them: on standard error, so that the command's
// own output stays on standard output. Message boxes answer OK.
#pragma once

#include <hostside/handlers.h>
#include <hostside/ui.h>

namespace plughost {

// Installs both handlers for its life.
class UserMessages {
 public:
  UserMessages();
  ~UserMessages();
  UserMessages(const UserMessages&) = delete;
  UserMessages& operator=(const UserMessages&) = delete;

 private:
  MessageBoxHook box_;
  ShellExecuteHook shell_;
};

}  // namespace plughost
