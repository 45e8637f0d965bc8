// Internals of the library, built into this test program from the same
// sources and compiled resources: the program is a module of its own, so its
// DllMain ran at start-up exactly as the plug-in file's does.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "Noise.h"
#include "QuorlLibInternal.h"
#include "assert_capture.h"
#include "hostside/handlers.h"
#include "hostside/module_table.h"
#include "resource.h"
#include "resource_scripts.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID);

TEST(Entry, RecordedTheInstanceAndInitialisedControlsOnce) {
  ASSERT_NE(hInstance, nullptr);
  EXPECT_TRUE(HostIsModuleLoaded(hInstance));
  EXPECT_EQ(HostCustomControlsInitCount(hInstance), 1);
  int commonBefore = HostCommonControlsInitCount();
  EXPECT_GE(commonBefore, 1);

  // A later call with another reason stores the handle again and nothing more.
  HINSTANCE real = hInstance;
  int other = 0;
  HINSTANCE fake = reinterpret_cast<HINSTANCE>(&other);
  EXPECT_EQ(DllMain(fake, DLL_THREAD_ATTACH, nullptr), TRUE);
  EXPECT_EQ(hInstance, fake);
  EXPECT_EQ(HostCustomControlsInitCount(fake), 0);
  EXPECT_EQ(HostCommonControlsInitCount(), commonBefore);
  EXPECT_EQ(DllMain(real, DLL_THREAD_DETACH, nullptr), TRUE);
  EXPECT_EQ(hInstance, real);
  EXPECT_EQ(HostCustomControlsInitCount(real), 1);
}

TEST(Strings, TheLibrarysTableLoadsThroughOneSharedBuffer) {
  char* title = GetString(IDS_LIBINFO_TITLE);
  ASSERT_NE(title, nullptr);
  EXPECT_STREQ(title, "QuorlLib Info");
  char* name = GetString(IDS_PERTURB_PARAMS);
  EXPECT_EQ(name, title);  // the same buffer: the first text now reads as the second
  EXPECT_STREQ(title, "Perturbation Parameters");

  std::map<int, std::string> strings = ReadScriptedStrings(QUORLLIB_RC);
  EXPECT_EQ(strings.size(), 18u);
  for (const auto& [id, text] : strings) EXPECT_STREQ(GetString(id), text.c_str()) << id;
}

TEST(Strings, MissingStringOrModuleGivesNullWithoutReport) {
  AssertCapture reports;
  EXPECT_EQ(GetString(2), nullptr);
  EXPECT_EQ(GetString(30480), nullptr);
  EXPECT_EQ(GetString(-1), nullptr);
  HINSTANCE saved = hInstance;
  hInstance = nullptr;  // as before the entry point's first call
  EXPECT_EQ(GetString(IDS_LIBINFO_TITLE), nullptr);
  hInstance = saved;
  EXPECT_TRUE(reports.empty());
}

TEST(Lattice, FilledOnceInTheDocumentedOrder) {
  EXPECT_EQ(NoiseLattice::needsFill, 0);
  MsvcRand rng(1999);
  EXPECT_EQ(NoiseLattice::lattice[42][42][42][12], rng.Next());  // first draw, 6566
  EXPECT_EQ(NoiseLattice::lattice[42][42][42][12], 6566);
  EXPECT_EQ(NoiseLattice::lattice[42][42][42][11], 30743);
  EXPECT_EQ(NoiseLattice::lattice[42][42][42][10], 14597);
  EXPECT_EQ(NoiseLattice::lattice[0][0][0][0], 30383);  // last draw
  EXPECT_EQ(NoiseLattice::lattice[24][24][24][0], 15137);
  EXPECT_EQ(NoiseLattice::lattice[24][24][0][0], 11919);
  EXPECT_EQ(NoiseLattice::lattice[24][24][24][4], 5159);
  EXPECT_EQ(NoiseLattice::lattice[24][24][24][3], 32271);
  EXPECT_EQ(NoiseLattice::lattice[42][24][24][0], 25829);
  EXPECT_EQ(NoiseLattice::lattice[0][24][24][0], 11526);

  for (int i = 0; i < 43; ++i) {
    int next = i == 42 ? 0 : i + 1;
    EXPECT_EQ(NoiseLattice::nextX[i], next);
    EXPECT_EQ(NoiseLattice::nextY[i], next);
    EXPECT_EQ(NoiseLattice::nextZ[i], next);
  }
  for (int i = 0; i < 13; ++i) EXPECT_EQ(NoiseLattice::nextW[i], i == 12 ? 0 : i + 1);

  // A second construction does not fill again.
  int16_t saved = NoiseLattice::lattice[1][2][3][4];
  NoiseLattice::lattice[1][2][3][4] = -7;
  NoiseLattice again;
  EXPECT_EQ(NoiseLattice::lattice[1][2][3][4], -7);
  NoiseLattice::lattice[1][2][3][4] = saved;
}

TEST(Lattice, GeneratorMatchesTheRuntimesSequence) {
  MsvcRand a(1999), b(1);
  for (int v : {6566, 30743, 14597, 1577, 16617}) EXPECT_EQ(a.Next(), v);
  for (int v : {41, 18467, 6334, 26500}) EXPECT_EQ(b.Next(), v);
}

TEST(Lattice, SmoothstepWeights) {
  EXPECT_EQ(LatticeSmoothstep(0.5f), 0.5f);
  EXPECT_EQ(LatticeSmoothstep(0.25f), 0.15625f);
  EXPECT_EQ(LatticeSmoothstep(0.0f), 0.0f);
  EXPECT_EQ(LatticeSmoothstep(0.75f), 0.84375f);
  // The fast paths' table, made by the compiler, against the function run here.
  for (int i = 0; i < NoiseLattice::kWeights; ++i) {
    volatile float f = static_cast<float>(i) / NoiseLattice::kWeights;
    EXPECT_EQ(std::bit_cast<uint32_t>(NoiseLattice::weight12[i]), std::bit_cast<uint32_t>(LatticeSmoothstep(f))) << i;
  }
  float prev = 0.0f;
  for (float f = 0.0f; f < 1.0f; f += 1.0f / 1024) {
    float t = LatticeSmoothstep(f);
    EXPECT_GE(t, prev);
    prev = t;
  }
}

TEST(Lattice, CoordinateReductionKeepsEveryIndexInItsTable) {
  LatticeCoord c = ReduceLatticeCoord(0.0f, 43, NoiseLattice::nextX);
  EXPECT_EQ(c.c0, 24);
  EXPECT_EQ(c.c1, 25);
  EXPECT_EQ(c.f, 0.0f);
  c = ReduceLatticeCoord(18.5f, 43, NoiseLattice::nextX);
  EXPECT_EQ(c.c0, 42);
  EXPECT_EQ(c.c1, 0);
  EXPECT_EQ(c.t, 0.5f);
  c = ReduceLatticeCoord(1.0f, 13, NoiseLattice::nextW);
  EXPECT_EQ(c.c0, 4);

  const float inf = std::numeric_limits<float>::infinity();
  for (float v : {std::numeric_limits<float>::quiet_NaN(), inf, -inf, 1e30f, -1e30f, 2147483648.0f, 2147473648.0f,
                  -2147503648.0f, std::numeric_limits<float>::max()}) {
    for (int period : {43, 13}) {
      c = ReduceLatticeCoord(v, period, period == 43 ? NoiseLattice::nextX : NoiseLattice::nextW);
      EXPECT_GE(c.c0, 0) << v;
      EXPECT_LT(c.c0, period) << v;
      EXPECT_GE(c.c1, 0) << v;
      EXPECT_LT(c.c1, period) << v;
      EXPECT_EQ(c.f, 0.0f) << v;  // no whole-number coordinate has a fraction
    }
  }
  // The last offset below 2^31 still goes through the integer path.
  c = ReduceLatticeCoord(2147473536.0f, 43, NoiseLattice::nextX);
  EXPECT_EQ(c.c0, static_cast<int>(std::fmod(2147483520.0, 43.0)));
}
