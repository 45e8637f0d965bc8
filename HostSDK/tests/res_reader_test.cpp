#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "hostside/module_table.h"

namespace {

std::vector<uint8_t> ReadFile(const char* path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// Every entry must lie inside the bytes it was parsed from.
void ExpectInside(const std::vector<ResEntry>& entries, const std::vector<uint8_t>& bytes) {
  for (const ResEntry& e : entries) {
    if (e.data.empty()) continue;
    EXPECT_GE(e.data.data(), bytes.data());
    EXPECT_LE(e.data.data() + e.data.size(), bytes.data() + bytes.size());
  }
}

}  // namespace

TEST(ResFile, CompiledScriptParsesIntoItsEntries) {
  std::vector<uint8_t> bytes = ReadFile(HOSTSDK_TEST_RES);
  ASSERT_FALSE(bytes.empty());
  std::string error;
  auto entries = HostParseResFile(bytes, &error);
  ASSERT_TRUE(entries) << error;
  int strings = 0;
  bool payload = false;
  for (const ResEntry& e : *entries) {
    if (e.type == ResId::Num(6)) ++strings;
    if (e.type == ResId::Num(10) && e.name == ResId::Num(42)) {
      payload = true;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.data.data()), 7), "payload");
      EXPECT_EQ(e.language, 0x409);
    }
  }
  // Strings 1, 16-17 and 40000 fall in three blocks of sixteen.
  EXPECT_EQ(strings, 3);
  EXPECT_TRUE(payload);
}

TEST(ResFile, EveryTruncationFailsCleanlyOrStaysInside) {
  std::vector<uint8_t> bytes = ReadFile(HOSTSDK_TEST_RES);
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    std::string error;
    auto entries = HostParseResFile(cut, &error);
    if (entries)
      ExpectInside(*entries, cut);
    else
      EXPECT_NE(error.find("at byte"), std::string::npos);
  }
}

TEST(ResFile, CorruptedBytesNeverReadOutside) {
  std::vector<uint8_t> bytes = ReadFile(HOSTSDK_TEST_RES);
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> bad = bytes;
    for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
    auto entries = HostParseResFile(bad);
    if (entries) ExpectInside(*entries, bad);
  }
}

TEST(ResFile, NamesCompareWithoutCase) {
  EXPECT_EQ(ResId::Name("CustEdit"), ResId::Name("CUSTEDIT"));
  EXPECT_EQ(ResId::From(MAKEINTRESOURCE(101)), ResId::Num(101));
  EXPECT_EQ(ResId::From("#101"), ResId::Num(101));
  EXPECT_FALSE(ResId::Num(101) == ResId::Name("101"));
}
