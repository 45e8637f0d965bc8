// Reading the values a user types.
//
// Every value plughost takes goes through these readers, so --set,
// --key, --spin, --type, --time, --normal, the points of sample and every
// other option accept and refuse the same texts, with the same messages:
//  - a number is a decimal with an optional sign and exponent ("0.5", "-2",
//    "+1e-3"), spaces around it allowed. Empty text, "nan", "inf", "1e",
//    hexadecimal and anything after the number are refused, and so is a
//    number its type cannot hold (1e39 for a float, 3000000000 for an int);
//  - a whole number is such a number without a fraction or exponent;
//  - a boolean is 1/0, on/off, true/false or yes/no, in any case;
//  - three numbers (a colour, a point) are separated by commas or spaces;
//  - seconds to wait are a number above 0 and at most kMaxWaitSeconds (a
//    day), so that a sleep never overflows nor spins;
//  - a time is a whole frame number (160 ticks a frame) or ticks with a t
//    suffix ("320t"), and must fit the host's 32-bit ticks.
// Each reader leaves *out alone and says why in *error (when given) on
// failure.
#pragma once

#include <maxtypes.h>

#include <string>

namespace plughost {

bool ParseFloat(const std::string& text, float* out, std::string* error = nullptr);
bool ParseInt(const std::string& text, int* out, std::string* error = nullptr);
bool ParseBool(const std::string& text, bool* out, std::string* error = nullptr);
bool ParseTriple(const std::string& text, float out[3], std::string* error = nullptr);
// The longest wait a time option takes, in seconds.
inline constexpr double kMaxWaitSeconds = 86400.0;
bool ParseSeconds(const std::string& text, double* out, std::string* error = nullptr);
bool ParseTime(const std::string& text, TimeValue* out, std::string* error = nullptr);

}  // namespace plughost
