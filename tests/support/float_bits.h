// Floats as their bit patterns: exact arithmetic is asserted bit for bit.
#pragma once

#include <bit>
#include <cstdint>

inline uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }
inline float FromBits(uint32_t b) { return std::bit_cast<float>(b); }

#define EXPECT_BITS(expr, hex) EXPECT_EQ(Bits(expr), static_cast<uint32_t>(hex)) << #expr
