// Golden tables: text files that an independent model writes (the
// *_reference.py beside each test), one case a line, words separated by
// spaces, floats as hexadecimal bit patterns; blank lines and lines starting
// with '#' are left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GoldenRow {
  std::string line;  // as written, for failure messages
  std::vector<std::string> words;

  const std::string& Word(size_t i) const;
  int Int(size_t i) const;
  uint32_t Bits(size_t i) const;  // a hexadecimal word
  float Float(size_t i) const;    // the float of that bit pattern
};

// Every row of the table; a failed test (and no rows) when the file cannot
// be read. A row with a word that is not what the test reads fails the test.
std::vector<GoldenRow> ReadGoldenTable(const std::string& path);
