// A 4x3 affine transform: three axis rows and a translation row, applied to
// row vectors (p * M).
#pragma once

#include "point3.h"

class Matrix3 {
 public:
  Matrix3() = default;  // identity
  explicit Matrix3(int identity) {
    if (identity) IdentityMatrix();
  }
  Matrix3(const Point3& r0, const Point3& r1, const Point3& r2, const Point3& r3) : m{r0, r1, r2, r3} {}

  void IdentityMatrix() {
    m[0] = Point3(1.0f, 0.0f, 0.0f);
    m[1] = Point3(0.0f, 1.0f, 0.0f);
    m[2] = Point3(0.0f, 0.0f, 1.0f);
    m[3] = Point3(0.0f, 0.0f, 0.0f);
  }
  bool IsIdentity() const {
    return m[0] == Point3(1.0f, 0.0f, 0.0f) && m[1] == Point3(0.0f, 1.0f, 0.0f) && m[2] == Point3(0.0f, 0.0f, 1.0f) &&
           m[3] == Point3(0.0f, 0.0f, 0.0f);
  }
  const Point3& GetRow(int i) const { return m[i]; }
  void SetRow(int i, const Point3& p) { m[i] = p; }
  Point3 GetTrans() const { return m[3]; }
  void SetTrans(const Point3& p) { m[3] = p; }

  Point3 PointTransform(const Point3& p) const {
    return Point3(p.x * m[0].x + p.y * m[1].x + p.z * m[2].x + m[3].x,
                  p.x * m[0].y + p.y * m[1].y + p.z * m[2].y + m[3].y,
                  p.x * m[0].z + p.y * m[1].z + p.z * m[2].z + m[3].z);
  }
  Point3 VectorTransform(const Point3& p) const {
    return Point3(p.x * m[0].x + p.y * m[1].x + p.z * m[2].x, p.x * m[0].y + p.y * m[1].y + p.z * m[2].y,
                  p.x * m[0].z + p.y * m[1].z + p.z * m[2].z);
  }

 private:
  Point3 m[4] = {Point3(1.0f, 0.0f, 0.0f), Point3(0.0f, 1.0f, 0.0f), Point3(0.0f, 0.0f, 1.0f),
                 Point3(0.0f, 0.0f, 0.0f)};
};

inline Point3 operator*(const Point3& p, const Matrix3& m) { return m.PointTransform(p); }
