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

// The text safe to print on a terminal: backslashes and control characters
// (C0, DEL and C1) escaped as \n or \xHH, so that a name from a file
// can neither break a line nor send the terminal a command.
std::string TerminalSafe(const std::string& s);
// A text in double quotes, escaped as TerminalSafe does, quotes too.
std::string QuoteText(const std::string& s);

}  // namespace plughost
