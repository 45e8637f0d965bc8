// The exported noise, through QuorlLib.dlu as a plug-in sees it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "QuorlLib.h"
#include "float_bits.h"
#include "golden_table.h"

namespace {

// The float nearest a lattice value over 32767.
float LatticeValue(int v) { return static_cast<float>(v / 32767.0); }

}  // namespace

TEST(Noise, ValuesAtTheDocumentedPoints) {
  EXPECT_EQ(Bits(qnoise3(Point3(0.0f, 0.0f, 0.0f))), Bits(LatticeValue(15137)));
  EXPECT_EQ(Bits(qnoise2(Point2(0.0f, 0.0f))), Bits(LatticeValue(11919)));
  EXPECT_EQ(Bits(qnoise4(Point3(0.0f, 0.0f, 0.0f), 1.0f)), Bits(LatticeValue(5159)));
  EXPECT_EQ(Bits(qnoise3(Point3(-10000.0f, -10000.0f, -10000.0f))), Bits(LatticeValue(30383)));
  EXPECT_EQ(Bits(qnoise3(Point3(19.0f, 0.0f, 0.0f))), Bits(LatticeValue(11526)));
  EXPECT_BITS(qnoise3(Point3(0.0f, 0.0f, 0.0f)), 0x3eec85d9);
  EXPECT_BITS(qnoise2(Point2(0.0f, 0.0f)), 0x3eba3d74);
  EXPECT_BITS(qnoise4(Point3(0.0f, 0.0f, 0.0f), 1.0f), 0x3e213942);
  EXPECT_BITS(qnoise3(Point3(18.5f, 0.0f, 0.0f)), 0x3f11ec24);  // across the wrap from cell 42 to 0
  EXPECT_BITS(qnoise3(Point3(0.5f, 0.5f, 0.5f)), 0x3eef995f);
  EXPECT_BITS(qnoise3(Point3(0.25f, 0.5f, 0.75f)), 0x3f1a481f);
  EXPECT_BITS(qnoise2(Point2(0.25f, 0.75f)), 0x3db73b12);
  EXPECT_BITS(qnoise4(Point3(0.25f, 0.5f, 0.75f), 0.5f), 0x3ee8a0f4);
}

TEST(Noise, FourthDimensionJumpsAtZero) {
  Point3 o(0.0f, 0.0f, 0.0f);
  EXPECT_EQ(Bits(qnoise4(o, 0.0f)), Bits(qnoise3(o)));
  EXPECT_EQ(Bits(qnoise4(o, -0.0f)), Bits(qnoise3(o)));
  EXPECT_EQ(Bits(qnoise4(o, std::numeric_limits<float>::quiet_NaN())), Bits(qnoise3(o)));
  // Any other w, however small, reads layer 3 (10000 mod 13) and beyond.
  EXPECT_EQ(Bits(qnoise4(o, 1e-30f)), Bits(LatticeValue(32271)));
  EXPECT_BITS(qnoise4(o, 1e-30f), 0x3f7c1ff8);
  EXPECT_EQ(Bits(qnoise4(o, 13.0f)), Bits(LatticeValue(32271)));
  Point3 p(0.25f, 0.5f, 0.75f);
  EXPECT_EQ(Bits(qnoise4(p, 0.0f)), Bits(qnoise3(p)));
}

// Reading the lattice back through qnoise4 at whole coordinates, where the
// result is exactly a lattice value over 32767, checks every entry against the
// generator and the backwards fill order.
TEST(Noise, EveryLatticeEntryIsTheExpectedDraw) {
  constexpr int N = 43, W = 13, total = N * N * N * W;
  uint32_t state = 1999;
  auto draw = [&] {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  };
  // Coordinate giving cell c: 10000 is cell 24 along x, y, z and layer 3 along w.
  auto xyz = [](int c) { return static_cast<float>((c - 24 + N) % N); };
  auto wOf = [](int c) {
    int w = (c - 3 + W) % W;
    return static_cast<float>(w == 0 ? W : w);  // w = 0 would read qnoise3
  };
  int mismatches = 0;
  for (int p = total - 1; p >= 0; --p) {  // the first draw lands at the last position
    int expected = draw();
    int w = p % W, z = (p / W) % N, y = (p / W / N) % N, x = p / W / N / N;
    float v = qnoise4(Point3(xyz(x), xyz(y), xyz(z)), wOf(w));
    if (static_cast<int>(std::lround(v * 32767.0)) != expected && ++mismatches < 5)
      ADD_FAILURE() << "lattice[" << x << "][" << y << "][" << z << "][" << w << "]";
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(Noise, PeriodAndMirrorHoldWhereTheSumsAreExact) {
  std::mt19937 rng(11);
  // Quarter steps in [-200, 200]: every offset sum is exact in single precision.
  auto coord = [&] { return static_cast<float>(static_cast<int>(rng() % 1601) - 800) * 0.25f; };
  for (int i = 0; i < 2000; ++i) {
    Point3 p(coord(), coord(), coord());
    float w = coord();
    if (w == 0.0f) w = 0.5f;
    float v3 = qnoise3(p);
    ASSERT_EQ(Bits(v3), Bits(qnoise3(p + Point3(43.0f, 0.0f, 0.0f))));
    ASSERT_EQ(Bits(v3), Bits(qnoise3(p + Point3(0.0f, -43.0f, 0.0f))));
    ASSERT_EQ(Bits(v3), Bits(qnoise3(p + Point3(0.0f, 0.0f, 86.0f))));
    // Reflection at -10000 on every axis at once.
    ASSERT_EQ(Bits(v3), Bits(qnoise3(Point3(-20000.0f - p.x, -20000.0f - p.y, -20000.0f - p.z))));
    float v4 = qnoise4(p, w);
    if (w + 13.0f != 0.0f) {
      ASSERT_EQ(Bits(v4), Bits(qnoise4(p, w + 13.0f)));
    }
    ASSERT_EQ(Bits(v4), Bits(qnoise4(p + Point3(43.0f, 43.0f, 43.0f), w)));
    float v2 = qnoise2(Point2(p.x, p.y));
    ASSERT_EQ(Bits(v2), Bits(qnoise2(Point2(p.x + 43.0f, p.y - 43.0f))));
    ASSERT_EQ(Bits(v2), Bits(qnoise2(Point2(-20000.0f - p.x, p.y))));
  }
  EXPECT_EQ(Bits(qnoise3(Point3(43.25f, 0.5f, 0.75f))), Bits(qnoise3(Point3(0.25f, 0.5f, 0.75f))));
  EXPECT_EQ(Bits(qnoise3(Point3(-20000.25f, 0.5f, 0.75f))), Bits(qnoise3(Point3(0.25f, 0.5f, 0.75f))));
}

TEST(Noise, ValuesStayInUnitRangeAndVaryInsideACell) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(-50.0f, 50.0f);
  float lo = 1.0f, hi = 0.0f;
  for (int i = 0; i < 20000; ++i) {
    Point3 p(d(rng), d(rng), d(rng));
    for (float v : {qnoise2(Point2(p.x, p.y)), qnoise3(p), qnoise4(p, d(rng))}) {
      ASSERT_GE(v, 0.0f);
      ASSERT_LE(v, 1.0f);
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  EXPECT_LT(lo, 0.05f);
  EXPECT_GT(hi, 0.95f);
}

TEST(Noise, IsContinuousAcrossCellFaces) {
  // Smoothstep weights meet the neighbouring cell with the same value.
  for (float x : {0.0f, 1.0f, 18.0f, 19.0f}) {
    float below = qnoise3(Point3(std::nextafter(x, -1e9f), 0.3f, 0.6f));
    float at = qnoise3(Point3(x, 0.3f, 0.6f));
    EXPECT_NEAR(below, at, 1e-5f) << x;
  }
}

TEST(Noise, UnrepresentableCoordinatesStayInRange) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float bad[] = {nan,
                       inf,
                       -inf,
                       1e30f,
                       -1e30f,
                       2147483648.0f,
                       -2147483648.0f,
                       4294967296.0f,
                       std::numeric_limits<float>::max(),
                       -std::numeric_limits<float>::max()};
  for (float b : bad) {
    for (int axis = 0; axis < 4; ++axis) {
      Point3 p(0.25f, 0.5f, 0.75f);
      float w = 0.5f;
      if (axis < 3)
        p[axis] = b;
      else
        w = b;
      for (float v : {qnoise3(p), qnoise4(p, w), qnoise2(Point2(p.x, p.y))}) {
        EXPECT_GE(v, 0.0f) << b << " on axis " << axis;
        EXPECT_LE(v, 1.0f) << b << " on axis " << axis;
      }
    }
  }
  // Beyond 2^31 the cell is the exact remainder, so the period still holds
  // for whole numbers: 2^32 + 10000 and 2^32 + 10043 share a cell.
  EXPECT_EQ(Bits(qnoise3(Point3(4294967296.0f, 0.0f, 0.0f))),
            Bits(qnoise3(Point3(4294967296.0f + 43.0f * 512.0f, 0.0f, 0.0f))));
}

TEST(Noise, MatchesTheIndependentModelOnRandomPoints) {
  std::vector<GoldenRow> rows = ReadGoldenTable(QUORL_NOISE_GOLDEN);
  for (const GoldenRow& row : rows) {
    Point3 p(row.Float(1), row.Float(2), row.Float(3));
    const std::string& kind = row.Word(0);
    float v = kind == "q2" ? qnoise2(Point2(p.x, p.y)) : kind == "q3" ? qnoise3(p) : qnoise4(p, row.Float(4));
    EXPECT_EQ(Bits(v), row.Bits(5)) << row.line;
  }
  EXPECT_EQ(rows.size(), 600u);
}
