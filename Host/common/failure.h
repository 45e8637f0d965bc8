// The one way a plughost command fails: a line on standard error that names
// the program, and a non-zero exit status.
#pragma once

#include <string>

namespace plughost {

inline constexpr int kExitBadInput = 2;
inline constexpr int kExitFailure = 1;

// Prints "plughost: MESSAGE" on standard error and answers the exit status
// of a failed command (1). Every failure a command reports goes through it.
int Fail(const std::string& message);
int FailBadInput(const std::string& message);
// The same line, for the command-line parser's own messages.
std::string FailureLine(const std::string& message);

}  // namespace plughost
