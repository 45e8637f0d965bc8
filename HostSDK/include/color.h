// Colours: three (Color) or four (AColor, with alpha) single-precision floats.
#pragma once

class Color {
 public:
  float r, g, b;

  Color() = default;
  constexpr Color(float rr, float gg, float bb) : r(rr), g(gg), b(bb) {}
  constexpr Color operator+(const Color& o) const { return Color(r + o.r, g + o.g, b + o.b); }
  constexpr Color operator*(float f) const { return Color(r * f, g * f, b * f); }
  constexpr bool operator==(const Color& o) const { return r == o.r && g == o.g && b == o.b; }
};

class AColor {
 public:
  float r, g, b, a;

  AColor() = default;
  constexpr AColor(float rr, float gg, float bb, float aa = 1.0f) : r(rr), g(gg), b(bb), a(aa) {}
  constexpr explicit AColor(const Color& c, float aa = 1.0f) : r(c.r), g(c.g), b(c.b), a(aa) {}
  constexpr AColor operator*(float f) const { return AColor(r * f, g * f, b * f, a * f); }
  constexpr AColor operator+(const AColor& o) const { return AColor(r + o.r, g + o.g, b + o.b, a + o.a); }
  constexpr bool operator==(const AColor& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
  constexpr operator Color() const { return Color(r, g, b); }
};
