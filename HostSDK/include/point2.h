// A point or vector in the plane, two single-precision floats.
#pragma once

class Point2 {
 public:
  float x, y;

  Point2() = default;
  constexpr Point2(float xx, float yy) : x(xx), y(yy) {}

  constexpr Point2 operator+(const Point2& o) const { return Point2(x + o.x, y + o.y); }
  constexpr Point2 operator-(const Point2& o) const { return Point2(x - o.x, y - o.y); }
  constexpr Point2 operator*(float f) const { return Point2(x * f, y * f); }
  constexpr bool operator==(const Point2& o) const { return x == o.x && y == o.y; }
  float& operator[](int i) { return i == 0 ? x : y; }
  const float& operator[](int i) const { return i == 0 ? x : y; }
};

constexpr Point2 operator*(float f, const Point2& p) { return p * f; }
