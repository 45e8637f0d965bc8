#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <type_traits>

#include "max.h"

static_assert(std::is_trivially_copyable_v<Interval>);
static_assert(std::is_trivially_copyable_v<Point2>);
static_assert(std::is_trivially_copyable_v<Point3>);
static_assert(std::is_trivially_copyable_v<Color>);
static_assert(std::is_trivially_copyable_v<AColor>);
static_assert(std::is_trivially_copyable_v<Matrix3>);
static_assert(std::is_trivially_copyable_v<Class_ID>);
static_assert(sizeof(TimeValue) == 4 && sizeof(DWORD) == 4 && sizeof(LPARAM) == sizeof(void*));

TEST(Interval, ForeverAndEmptyAreTheHostsEncodings) {
  EXPECT_EQ(FOREVER.Start(), std::numeric_limits<int>::min());
  EXPECT_EQ(FOREVER.End(), std::numeric_limits<int>::max());
  EXPECT_EQ(NEVER.Start(), std::numeric_limits<int>::min());
  EXPECT_EQ(NEVER.End(), std::numeric_limits<int>::min());
  EXPECT_TRUE(Interval().Empty());
  EXPECT_TRUE(FOREVER.IsInfinite());
}

TEST(Interval, MembershipIsClosedAndEmptyHoldsNothing) {
  Interval i(0, 160);
  EXPECT_TRUE(i.InInterval(0));
  EXPECT_TRUE(i.InInterval(160));
  EXPECT_FALSE(i.InInterval(161));
  EXPECT_FALSE(i.InInterval(-1));
  EXPECT_TRUE(FOREVER.InInterval(TIME_NegInfinity));
  EXPECT_TRUE(FOREVER.InInterval(TIME_PosInfinity));
  // Empty shares its start with forever, yet holds not even that tick.
  EXPECT_FALSE(NEVER.InInterval(TIME_NegInfinity));
  EXPECT_FALSE(NEVER.InInterval(0));
}

TEST(Interval, IntersectionNarrowsAndDisjointGivesEmpty) {
  EXPECT_EQ(Interval(0, 100) & Interval(50, 200), Interval(50, 100));
  EXPECT_EQ(FOREVER & Interval(5, 5), Interval(5, 5));
  EXPECT_TRUE((Interval(0, 10) & Interval(11, 20)).Empty());
  EXPECT_TRUE((NEVER & FOREVER).Empty());
  Interval v = FOREVER;
  v &= Interval(-10, 10);
  v &= Interval(0, 100);
  EXPECT_EQ(v, Interval(0, 10));
  EXPECT_EQ(GetTicksPerFrame(), 160);
}

TEST(Point3, ArithmeticAndCrossProduct) {
  Point3 a(1.0f, 2.0f, 3.0f), b(4.0f, 5.0f, 6.0f);
  EXPECT_EQ(a + b, Point3(5.0f, 7.0f, 9.0f));
  EXPECT_EQ(b - a, Point3(3.0f, 3.0f, 3.0f));
  EXPECT_EQ(a * 2.0f, Point3(2.0f, 4.0f, 6.0f));
  EXPECT_EQ(2.0f * a, Point3(2.0f, 4.0f, 6.0f));
  EXPECT_EQ(Point3(1.0f, 0.0f, 0.0f) ^ Point3(0.0f, 1.0f, 0.0f), Point3(0.0f, 0.0f, 1.0f));
  EXPECT_EQ(a ^ b, Point3(-3.0f, 6.0f, -3.0f));
  EXPECT_EQ(a % b, 32.0f);
}

TEST(Point3, NormalizeKeepsZeroAndScalesToUnit) {
  EXPECT_EQ(Normalize(Point3(0.0f, 0.0f, 0.0f)), Point3(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(Normalize(Point3(0.0f, 3.0f, 4.0f)), Point3(0.0f, 0.6f, 0.8f));
  Point3 n = Normalize(Point3(1e-20f, 0.0f, 0.0f));  // tiny but not zero
  EXPECT_FALSE(std::isnan(n.x));
}

TEST(Matrix3, IdentityTransformsNothing) {
  Matrix3 m(1);
  EXPECT_TRUE(m.IsIdentity());
  Point3 p(1.5f, -2.0f, 3.25f);
  EXPECT_EQ(p * m, p);
  m.SetTrans(Point3(1.0f, 1.0f, 1.0f));
  EXPECT_EQ(p * m, Point3(2.5f, -1.0f, 4.25f));
}

TEST(ClassId, ComparesBothWords) {
  Class_ID a(0x37647715, 0x188822CB), b(0x37647715, 0x188822CC);
  EXPECT_NE(a, b);
  EXPECT_TRUE(a < b);
  EXPECT_EQ(a.PartA(), 0x37647715u);
  EXPECT_EQ(Class_ID(a.PartA(), a.PartB()), a);
}

TEST(Clamp, LimitsAndPassesNaN) {
  EXPECT_EQ(clamp(1.5f, 0.0f, 1.0f), 1.0f);
  EXPECT_EQ(clamp(-0.5f, 0.0f, 1.0f), 0.0f);
  EXPECT_EQ(clamp(0.25f, 0.0f, 1.0f), 0.25f);
  EXPECT_EQ(clamp(3, 0, 2), 2);
  EXPECT_TRUE(std::isnan(clamp(std::nanf(""), 0.0f, 1.0f)));
}

TEST(Zfree, FreesAndNulls) {
  char* p = static_cast<char*>(std::malloc(8));
  zfree(&p);
  EXPECT_EQ(p, nullptr);
  zfree(&p);  // a second call is harmless
}
