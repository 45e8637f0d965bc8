// Every fast path of the noise and the perturbation against the reference,
// bit for bit, and the choice of path at load.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "Noise.h"
#include "NoisePaths.h"
#include "QuorlLib.h"
#include "QuorlLibInternal.h"
#include "hostside/module_table.h"

namespace {

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }

const NoisePath& Reference() { return NoisePaths()[0]; }

// The fast paths this processor runs.
std::vector<const NoisePath*> FastPaths() {
  std::vector<const NoisePath*> out;
  for (const NoisePath& p : NoisePaths().subspan(1))
    if (p.runsHere()) out.push_back(&p);
  return out;
}

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Coordinates at the edges: signed zeros, NaN, infinities, huge values, the
// offset sum's 2^31, the borders of the fast domain (|v + 10000| at 2048 and
// 2^19), and cells across the wraps (42 to 0 along x, y and z; 12 to 0
// along w).
const std::vector<float> kEdges = {0.0f,      -0.0f,         kNaN,           kInf,          -kInf,      1e30f,
                                   -1e30f,    2147483648.0f, -2147483648.0f, 2147473648.0f, -7952.0f,   -7952.0001f,
                                   -12048.0f, -12047.999f,   514288.0f,      514287.97f,    -534288.0f, 18.5f,
                                   18.999f,   19.0f,         -10000.0f,      1e-30f,        -1e-30f,    8.9999f,
                                   9.0f,      12.5f,         13.0f,          -0.5f};

void ExpectSameNoise(const NoisePath& path, Point3 p, float w) {
  ASSERT_EQ(Bits(path.noise3(p)), Bits(Reference().noise3(p)))
      << path.name << " qnoise3 " << p.x << " " << p.y << " " << p.z;
  ASSERT_EQ(Bits(path.noise4(p, w)), Bits(Reference().noise4(p, w)))
      << path.name << " qnoise4 " << p.x << " " << p.y << " " << p.z << " " << w;
  ASSERT_EQ(Bits(path.noise2(Point2(p.x, p.y))), Bits(Reference().noise2(Point2(p.x, p.y))))
      << path.name << " qnoise2 " << p.x << " " << p.y;
}

TEST(NoisePaths, EveryPathGivesTheReferenceBitsOnAMillionPoints) {
  for (const NoisePath* path : FastPaths()) {
    std::mt19937 rng(20260101);
    std::uniform_real_distribution<float> d(-1e4f, 1e4f);
    for (int i = 0; i < 1000000; ++i) {
      const Point3 p(d(rng), d(rng), d(rng));
      ExpectSameNoise(*path, p, d(rng));
      if (HasFatalFailure()) return;
    }
  }
}

TEST(NoisePaths, EveryPathGivesTheReferenceBitsFarOutAndOnAnyBits) {
  for (const NoisePath* path : FastPaths()) {
    // Past -10000 the field is mirrored, and the fast domain ends where
    // |v + 10000| reaches 2^19; then floats of every exponent and sign, NaNs
    // with payloads and subnormals among them.
    std::mt19937 rng(314);
    std::uniform_real_distribution<float> far(-6e5f, 6e5f);
    for (int i = 0; i < 200000; ++i) {
      ExpectSameNoise(*path, Point3(far(rng), far(rng), far(rng)), far(rng));
      auto any = [&] { return std::bit_cast<float>(static_cast<uint32_t>(rng())); };
      ExpectSameNoise(*path, Point3(any(), any(), any()), any());
      if (HasFatalFailure()) return;
    }
  }
}

TEST(NoisePaths, EveryPathGivesTheReferenceBitsAtTheEdges) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> d(-100.0f, 100.0f);
  for (const NoisePath* path : FastPaths()) {
    // Each edge value on each axis, the others ordinary, then all together.
    for (float e : kEdges) {
      for (int axis = 0; axis < 4; ++axis) {
        Point3 p(d(rng), d(rng), d(rng));
        float w = axis == 3 ? e : d(rng);
        if (axis < 3) p[axis] = e;
        ExpectSameNoise(*path, p, w);
        ExpectSameNoise(*path, p, 0.0f);
        ExpectSameNoise(*path, p, -0.0f);
      }
      for (float f : kEdges) ExpectSameNoise(*path, Point3(e, f, e), f);
      if (HasFatalFailure()) return;
    }
  }
}

// A Perturb whose caches are set directly, as the evaluation reads only them.
struct Settings {
  int on;
  float p1[6], p2[6];  // size, freq, high, low, levels, phase
};

void Apply(Perturb& pt, const Settings& s) {
  pt.pertOn = s.on;
  float* p1[] = {&pt.p1Size, &pt.p1Freq, &pt.p1High, &pt.p1Low, &pt.p1Lev, &pt.p1Phase};
  float* p2[] = {&pt.p2Size, &pt.p2Freq, &pt.p2High, &pt.p2Low, &pt.p2Lev, &pt.p2Phase};
  for (int i = 0; i < 6; ++i) *p1[i] = s.p1[i], *p2[i] = s.p2[i];
}

TEST(NoisePaths, EveryPathPerturbsAsTheReference) {
  Perturb* pt = new Perturb(FALSE);
  const NoisePath& loaded = ActiveNoisePath();
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> coord(-1e4f, 1e4f), unit(0.0f, 1.0f);
  const float levels[] = {1.0f, 2.0f, 2.5f, 3.0f, 0.5f, 0.0f, -1.0f, 1.0000001f, 7.25f, 121.0f, kNaN, kInf};
  const float phases[] = {0.0f, -0.0f, 0.5f, 3.0f, -7.75f, kNaN, 1e30f};
  const float sizes[] = {0.5f, 2.0f, 0.0f, -0.0f, kNaN, 1e-3f, 37.5f};
  const float freqs[] = {0.5f, 2.5f, 15.0f, 0.0f, 1e6f, kNaN};
  for (int i = 0; i < 6000; ++i) {
    auto pick = [&](const auto& list) { return list[rng() % std::size(list)]; };
    Settings s{i % 50 == 0 ? 0 : 1, {}, {}};
    for (float* set : {s.p1, s.p2}) {
      set[0] = i % 3 ? pick(sizes) : coord(rng) * 1e-3f;
      set[1] = i % 4 ? pick(freqs) : unit(rng) * 20.0f;
      set[2] = unit(rng), set[3] = unit(rng) * 0.5f;
      set[4] = i % 5 ? pick(levels) : unit(rng) * 6.0f;
      set[5] = i % 2 ? pick(phases) : coord(rng) * 1e-2f;
    }
    Apply(*pt, s);
    Point3 start(coord(rng), coord(rng), coord(rng));
    if (i % 7 == 0) start[i % 3] = kEdges[rng() % kEdges.size()];
    SetActiveNoisePath(Reference());
    Point3 expected = start, expectedHost = start;
    pt->PerturbHitPoint(expected);
    pt->PPerturbHitPoint(expectedHost);
    for (const NoisePath* path : FastPaths()) {
      Point3 got = start, gotHost = start;
      path->perturbHitPoint(*pt, got);
      path->pPerturbHitPoint(*pt, gotHost);
      for (int a = 0; a < 3; ++a) {
        ASSERT_EQ(Bits(got[a]), Bits(expected[a])) << path->name << " case " << i << " axis " << a;
        ASSERT_EQ(Bits(gotHost[a]), Bits(expectedHost[a])) << path->name << " host noise, case " << i;
      }
    }
  }
  SetActiveNoisePath(loaded);
  pt->DeleteThis();
}

TEST(NoisePaths, TheBuildRunsTheGoldenTestsUnderEveryPath) {
  std::string names;
  for (const NoisePath& p : NoisePaths()) names += (names.empty() ? "" : " ") + std::string(p.name);
  EXPECT_EQ(names, QUORLLIB_NOISE_PATHS);
}

TEST(NoisePaths, TheSettingNamesAPathOrIsReportedAndIgnored) {
  const NoisePath* fastest = &Reference();
  for (const NoisePath& p : NoisePaths())
    if (p.runsHere()) fastest = &p;

  NoisePathChoice unset = ChooseNoisePath(nullptr);
  EXPECT_EQ(unset.path, fastest);
  EXPECT_TRUE(unset.complaint.empty());
  EXPECT_EQ(ChooseNoisePath("").path, fastest);
  EXPECT_NE(unset.note.find(std::string("noise path ") + fastest->name), std::string::npos) << unset.note;

  for (const NoisePath& p : NoisePaths()) {
    if (!p.runsHere()) continue;
    NoisePathChoice c = ChooseNoisePath(p.name);
    EXPECT_EQ(c.path, &p);
    EXPECT_TRUE(c.complaint.empty());
    EXPECT_EQ(c.note, std::string("noise path ") + p.name + " (QUORLLIB_SIMD=" + p.name + ")");
  }
  EXPECT_EQ(ChooseNoisePath("SCALAR").path, &Reference());

  // An unknown name: the fastest path, and a note that says what happened.
  NoisePathChoice bad = ChooseNoisePath("avx9\x1b[2J");
  EXPECT_EQ(bad.path, fastest);
  EXPECT_NE(bad.complaint.find("QUORLLIB_SIMD=avx9?[2J is not one of scalar"), std::string::npos) << bad.complaint;
  EXPECT_NE(bad.note.find(std::string("noise path ") + fastest->name), std::string::npos);
  EXPECT_NE(bad.note.find(bad.complaint), std::string::npos);
  // A long setting is shown cut short.
  EXPECT_NE(ChooseNoisePath(std::string(100, 'x').c_str()).complaint.find("=" + std::string(32, 'x') + "... is"),
            std::string::npos);
}

TEST(NoisePaths, TheModuleNoteNamesTheLoadedPath) {
  EXPECT_EQ(HostModuleNote(hInstance), LoadedNoisePathNote());
  EXPECT_NE(HostModuleNote(hInstance).find(std::string("noise path ") + ActiveNoisePath().name), std::string::npos);
}

}  // namespace
