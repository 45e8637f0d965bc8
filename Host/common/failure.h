// The one way a plughost command fails: a line on standard error that names
// the program, and a non-zero exit status that says whether trying again can
// help. A farm manager retries a task on 1 and gives up on 2.
#pragma once

#include <string>

namespace plughost {

// Bad input or options: an unknown option, a bad value, a missing or
// unreadable input file, an unknown class or map. The same command fails the
// same way again.
inline constexpr int kExitBadInput = 2;
// A failure while running: an output that cannot be written (no space, no
// permission), a child process that crashed or ran out of time, the program
// out of memory. Another try may succeed.
inline constexpr int kExitFailure = 1;

// Prints "plughost: MESSAGE" on standard error and answers kExitFailure;
// FailBadInput prints the same line and answers kExitBadInput. Every failure
// a command reports goes through one of them.
int Fail(const std::string& message);
int FailBadInput(const std::string& message);
// The same line, for the command-line parser's own messages.
std::string FailureLine(const std::string& message);

}  // namespace plughost
