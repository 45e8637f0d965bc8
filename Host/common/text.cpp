#include "common/text.h"

#include <charconv>
#include <cmath>

namespace plughost {

std::string Trim(const std::string& s) {
  constexpr const char* kSpace = " \t\r\n\v\f";
  size_t b = s.find_first_not_of(kSpace);
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(kSpace);
  return s.substr(b, e - b + 1);
}

std::string FloatText(float v) {
  char buf[64];
  float mag = std::fabs(v);
  bool plain = mag == 0.0f || (mag >= 1e-4f && mag < 1e9f);
  auto r = plain ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                 : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string TimeText(TimeValue t) {
  if (t % GetTicksPerFrame() == 0) return std::to_string(t / GetTicksPerFrame());
  return std::to_string(t) + "t";
}

std::string QuoteText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace plughost
