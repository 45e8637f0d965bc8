// Time, intervals and class identities of the host.
//
// Time is counted in ticks: 4800 a second, so one frame at 30 frames a second
// is 160 ticks. An Interval is closed at both ends. Forever runs from the
// smallest to the largest tick; the empty interval has both ends at the
// smallest tick and contains no time at all.
#pragma once

#include <climits>
#include <cstdint>

typedef int TimeValue;
typedef unsigned long SClass_ID;
typedef unsigned long ULONG;

constexpr TimeValue TIME_NegInfinity = INT_MIN;
constexpr TimeValue TIME_PosInfinity = INT_MAX;
constexpr int TICKS_PER_SECOND = 4800;
constexpr int HOST_FRAME_RATE = 30;
constexpr TimeValue GetTicksPerFrame() { return TICKS_PER_SECOND / HOST_FRAME_RATE; }

class Interval {
 public:
  constexpr Interval() = default;  // empty
  constexpr Interval(TimeValue s, TimeValue e) : start(s), end(e) {}

  constexpr TimeValue Start() const { return start; }
  constexpr TimeValue End() const { return end; }
  constexpr void Set(TimeValue s, TimeValue e) {
    start = s;
    end = e;
  }
  constexpr void SetStart(TimeValue s) { start = s; }
  constexpr void SetEnd(TimeValue e) { end = e; }
  constexpr void SetInfinite() {
    start = TIME_NegInfinity;
    end = TIME_PosInfinity;
  }
  constexpr void SetEmpty() {
    start = TIME_NegInfinity;
    end = TIME_NegInfinity;
  }
  constexpr void SetInstant(TimeValue t) {
    start = t;
    end = t;
  }

  constexpr bool Empty() const { return start == TIME_NegInfinity && end == TIME_NegInfinity; }
  constexpr bool IsInfinite() const { return start == TIME_NegInfinity && end == TIME_PosInfinity; }
  // The empty interval holds no time, not even the smallest tick.
  constexpr int InInterval(TimeValue t) const { return !Empty() && start <= t && t <= end; }
  constexpr int InInterval(const Interval& i) const { return !i.Empty() && InInterval(i.start) && InInterval(i.end); }

  // Intersection; disjoint intervals give the empty one.
  constexpr Interval operator&(const Interval& o) const {
    if (Empty() || o.Empty()) return Interval();
    TimeValue s = start > o.start ? start : o.start;
    TimeValue e = end < o.end ? end : o.end;
    return s <= e ? Interval(s, e) : Interval();
  }
  constexpr Interval& operator&=(const Interval& o) { return *this = *this & o; }
  constexpr bool operator==(const Interval& o) const { return start == o.start && end == o.end; }
  constexpr bool operator!=(const Interval& o) const { return !(*this == o); }

 private:
  TimeValue start = TIME_NegInfinity;
  TimeValue end = TIME_NegInfinity;
};

constexpr Interval FOREVER(TIME_NegInfinity, TIME_PosInfinity);
constexpr Interval NEVER(TIME_NegInfinity, TIME_NegInfinity);

// A class is named by two 32-bit words; a super class by one.
class Class_ID {
 public:
  constexpr Class_ID() = default;
  constexpr Class_ID(ULONG aa, ULONG bb) : a(static_cast<uint32_t>(aa)), b(static_cast<uint32_t>(bb)) {}
  constexpr ULONG PartA() const { return a; }
  constexpr ULONG PartB() const { return b; }
  constexpr void SetPartA(ULONG v) { a = static_cast<uint32_t>(v); }
  constexpr void SetPartB(ULONG v) { b = static_cast<uint32_t>(v); }
  constexpr bool operator==(const Class_ID& o) const { return a == o.a && b == o.b; }
  constexpr bool operator!=(const Class_ID& o) const { return !(*this == o); }
  constexpr bool operator<(const Class_ID& o) const { return a < o.a || (a == o.a && b < o.b); }

 private:
  uint32_t a = 0xFFFFFFFFu;
  uint32_t b = 0xFFFFFFFFu;
};

// Super classes the plug-ins name.
constexpr SClass_ID REF_TARGET_CLASS_ID = 0x100;
constexpr SClass_ID TEXMAP_CLASS_ID = 0xC10;
constexpr SClass_ID UTILITY_CLASS_ID = 0x1020;
