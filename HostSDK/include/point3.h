// A point or vector in space, three single-precision floats.
//
// Every operation rounds to single precision at each step, as the host's own
// vector code does; nothing here is fused or reassociated.
#pragma once

#include <cmath>

class Point3 {
 public:
  float x, y, z;

  Point3() = default;
  constexpr Point3(float xx, float yy, float zz) : x(xx), y(yy), z(zz) {}
  constexpr Point3(double xx, double yy, double zz)
      : x(static_cast<float>(xx)), y(static_cast<float>(yy)), z(static_cast<float>(zz)) {}
  constexpr Point3(int xx, int yy, int zz)
      : x(static_cast<float>(xx)), y(static_cast<float>(yy)), z(static_cast<float>(zz)) {}

  constexpr Point3 operator+(const Point3& o) const { return Point3(x + o.x, y + o.y, z + o.z); }
  constexpr Point3 operator-(const Point3& o) const { return Point3(x - o.x, y - o.y, z - o.z); }
  constexpr Point3 operator-() const { return Point3(-x, -y, -z); }
  constexpr Point3 operator*(float f) const { return Point3(x * f, y * f, z * f); }
  constexpr Point3 operator/(float f) const { return Point3(x / f, y / f, z / f); }
  constexpr Point3& operator+=(const Point3& o) {
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
  }
  constexpr Point3& operator-=(const Point3& o) {
    x -= o.x;
    y -= o.y;
    z -= o.z;
    return *this;
  }
  constexpr Point3& operator*=(float f) {
    x *= f;
    y *= f;
    z *= f;
    return *this;
  }
  constexpr bool operator==(const Point3& o) const { return x == o.x && y == o.y && z == o.z; }
  constexpr bool operator!=(const Point3& o) const { return !(*this == o); }

  // Cross product.
  constexpr Point3 operator^(const Point3& o) const {
    return Point3(y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x);
  }
  // Dot product.
  constexpr float operator%(const Point3& o) const { return x * o.x + y * o.y + z * o.z; }

  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  const float& operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  float LengthSquared() const { return x * x + y * y + z * z; }
  float Length() const { return std::sqrt(LengthSquared()); }
  // Unit length; a zero vector stays zero rather than turning into NaNs.
  Point3 Normalize() const {
    float l = Length();
    return l == 0.0f ? Point3(0.0f, 0.0f, 0.0f) : Point3(x / l, y / l, z / l);
  }

  static const Point3 Origin;
};

inline constexpr Point3 Point3::Origin{0.0f, 0.0f, 0.0f};

constexpr Point3 operator*(float f, const Point3& p) { return p * f; }
inline float Length(const Point3& p) { return p.Length(); }
inline Point3 Normalize(const Point3& p) { return p.Normalize(); }
inline Point3 CrossProd(const Point3& a, const Point3& b) { return a ^ b; }
inline float DotProd(const Point3& a, const Point3& b) { return a % b; }
