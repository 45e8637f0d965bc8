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

std::string TerminalSafe(const std::string& s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    // C1 controls in UTF-8 (U+0080 to U+009F) are as live as C0 ones in
    // many terminals.
    bool c1 = c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
              static_cast<unsigned char>(s[i + 1]) <= 0x9F;
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7F || c1) {
      unsigned char v = c1 ? static_cast<unsigned char>(s[++i]) : c;
      out += "\\x";
      out += hex[v >> 4];
      out += hex[v & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string QuoteText(const std::string& s) {
  std::string out = "\"";
  for (char c : TerminalSafe(s)) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace plughost
