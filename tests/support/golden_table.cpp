#include "golden_table.h"

#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <sstream>

#include "float_bits.h"

namespace {

template <typename T>
T Number(const GoldenRow& row, size_t i, int base) {
  T v = 0;
  const std::string& w = row.Word(i);
  auto r = std::from_chars(w.data(), w.data() + w.size(), v, base);
  if (r.ec != std::errc() || r.ptr != w.data() + w.size())
    ADD_FAILURE() << "word " << i << " '" << w << "' is not a number: " << row.line;
  return v;
}

}  // namespace

const std::string& GoldenRow::Word(size_t i) const {
  static const std::string none;
  if (i < words.size()) return words[i];
  ADD_FAILURE() << "no word " << i << " in the golden row: " << line;
  return none;
}
int GoldenRow::Int(size_t i) const { return Number<int>(*this, i, 10); }
uint32_t GoldenRow::Bits(size_t i) const { return Number<uint32_t>(*this, i, 16); }
float GoldenRow::Float(size_t i) const { return FromBits(Bits(i)); }

std::vector<GoldenRow> ReadGoldenTable(const std::string& path) {
  std::vector<GoldenRow> rows;
  std::ifstream file(path);
  if (!file) ADD_FAILURE() << "cannot read the golden table " << path;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    GoldenRow row{line, {}};
    std::istringstream in(line);
    for (std::string w; in >> w;) row.words.push_back(w);
    rows.push_back(std::move(row));
  }
  return rows;
}
