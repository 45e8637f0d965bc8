// Texts plughost prints and compares: values as a user types them back, and
// names quoted so that a line stays one line.
#pragma once

#include <maxtypes.h>

#include <string>

namespace plughost {

// The text without the white space (spaces, tabs, line breaks) around it.
std::string Trim(const std::string& text);

// The shortest text that reads back as the same float; plain decimals (no
// exponent) from 0.0001 up to a billion.
std::string FloatText(float v);
// Whole frames as a frame number, other times in ticks ("330t").
std::string TimeText(TimeValue t);

// A text in double quotes, with quotes, backslashes and line breaks escaped.
std::string QuoteText(const std::string& s);

}  // namespace plughost
