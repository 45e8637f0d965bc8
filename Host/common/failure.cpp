#include "common/failure.h"

#include <cstdio>

namespace plughost {

std::string FailureLine(const std::string& message) { return "plughost: " + message + "\n"; }

int Fail(const std::string& message) {
  std::fputs(FailureLine(message).c_str(), stderr);
  return kExitFailure;
}

int FailBadInput(const std::string& message) {
  Fail(message);
  return kExitBadInput;
}

}  // namespace plughost
