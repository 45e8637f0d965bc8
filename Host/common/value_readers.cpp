#include "common/value_readers.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "common/text.h"

namespace plughost {

namespace {

bool Refuse(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// The digits of a number: the trimmed text without a leading '+', which
// from_chars does not take. "inf" and "nan" pass here and fail later.
struct Digits {
  std::string text;
  const char* begin() const { return text.data() + (plus ? 1 : 0); }
  const char* end() const { return text.data() + text.size(); }
  bool plus = false;
};

Digits DigitsOf(const std::string& s) {
  Digits d{Trim(s)};
  d.plus = !d.text.empty() && d.text[0] == '+' && d.text.size() > 1 && d.text[1] != '-' && d.text[1] != '+';
  return d;
}

}  // namespace

bool ParseFloat(const std::string& text, float* out, std::string* error) {
  Digits d = DigitsOf(text);
  float v = 0;
  auto r = std::from_chars(d.begin(), d.end(), v);
  if (r.ec == std::errc::result_out_of_range && r.ptr == d.end())
    return Refuse(error, "'" + text + "' is out of range for a number (about -3.4e38 to 3.4e38)");
  if (r.ec != std::errc() || r.ptr != d.end() || d.text.empty() || !std::isfinite(v))
    return Refuse(error, "'" + text + "' is not a number");
  *out = v;
  return true;
}

bool ParseSeconds(const std::string& text, double* out, std::string* error) {
  float v = 0;
  if (!ParseFloat(text, &v, error)) return false;
  if (!(v > 0) || v > kMaxWaitSeconds) {
    return Refuse(error, "'" + text + "' is out of range for seconds to wait (above 0, at most " +
                             std::to_string(static_cast<int>(kMaxWaitSeconds)) + ")");
  }
  *out = v;
  return true;
}

bool ParseInt(const std::string& text, int* out, std::string* error) {
  Digits d = DigitsOf(text);
  int v = 0;
  auto r = std::from_chars(d.begin(), d.end(), v);
  if (r.ec == std::errc::result_out_of_range && r.ptr == d.end()) {
    return Refuse(error, "'" + text + "' is out of range for a whole number (" +
                             std::to_string(std::numeric_limits<int>::min()) + " to " +
                             std::to_string(std::numeric_limits<int>::max()) + ")");
  }
  if (r.ec != std::errc() || r.ptr != d.end() || d.text.empty())
    return Refuse(error, "'" + text + "' is not a whole number");
  *out = v;
  return true;
}

bool ParseBool(const std::string& text, bool* out, std::string* error) {
  std::string t = Trim(text);
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* yes : {"1", "on", "true", "yes"}) {
    if (t == yes) return *out = true, true;
  }
  for (const char* no : {"0", "off", "false", "no"}) {
    if (t == no) return *out = false, true;
  }
  return Refuse(error, "'" + text + "' is not on or off (nor 1 or 0, true or false, yes or no)");
}

bool ParseTriple(const std::string& text, float out[3], std::string* error) {
  std::vector<std::string> parts;
  if (text.find(',') != std::string::npos) {
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
      parts.push_back(text.substr(start, comma - start));
    parts.push_back(text.substr(start));
  } else {
    std::string word;
    for (char c : text + ' ') {
      if (c != ' ' && c != '\t') {
        word += c;
      } else if (!word.empty()) {
        parts.push_back(word);
        word.clear();
      }
    }
  }
  if (parts.size() != 3) return Refuse(error, "'" + text + "' is not three numbers (such as 1,2,3 or 1 2 3)");
  float v[3];
  for (size_t i = 0; i < 3; ++i) {
    if (!ParseFloat(parts[i], &v[i], error)) {
      if (error) *error = "'" + text + "': " + *error;
      return false;
    }
  }
  std::copy(v, v + 3, out);
  return true;
}

bool ParseTime(const std::string& text, TimeValue* out, std::string* error) {
  std::string t = Trim(text);
  bool ticks = !t.empty() && (t.back() == 't' || t.back() == 'T');
  if (ticks) t.pop_back();
  long long scale = ticks ? 1 : GetTicksPerFrame();
  Digits d = DigitsOf(t);
  long long v = 0;
  auto r = std::from_chars(d.begin(), d.end(), v);
  if (r.ec != std::errc() || r.ptr != d.end() || d.text.empty()) {
    return Refuse(error, "bad time '" + text + "': give a whole frame number (" + std::to_string(GetTicksPerFrame()) +
                             " ticks a frame) or ticks with a t suffix, like 320t");
  }
  constexpr long long kMin = std::numeric_limits<TimeValue>::min(), kMax = std::numeric_limits<TimeValue>::max();
  if (v > kMax / scale || v < kMin / scale) {
    return Refuse(error, "bad time '" + text + "': the host's times run from frame " +
                             std::to_string(kMin / GetTicksPerFrame()) + " to " +
                             std::to_string(kMax / GetTicksPerFrame()) + " (" + std::to_string(kMin) + "t to " +
                             std::to_string(kMax) + "t)");
  }
  *out = static_cast<TimeValue>(v * scale);
  return true;
}

}  // namespace plughost
