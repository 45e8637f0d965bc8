// The host's owning character string. A CStr returned by value belongs to the
// caller. data() never returns null: an empty CStr reads as "".
#pragma once

#include <cstddef>

#include "hostsdk_api.h"

class HOSTSDK_API CStr {
 public:
  CStr();
  CStr(const char* s);  // NOLINT: implicit, as the host's string converts from text
  CStr(const CStr& o);
  CStr(CStr&& o) noexcept;
  ~CStr();
  CStr& operator=(const CStr& o);
  CStr& operator=(CStr&& o) noexcept;
  CStr& operator=(const char* s);

  const char* data() const;
  operator const char*() const { return data(); }
  int Length() const { return static_cast<int>(len); }
  int isNull() const { return len == 0; }

  CStr& operator+=(const CStr& o);
  CStr operator+(const CStr& o) const;
  bool operator==(const CStr& o) const;
  bool operator==(const char* s) const;

  // Formatted print in the C library's notation; the string grows to fit.
  int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  void assign(const char* s, size_t n);
  char* buf = nullptr;
  size_t len = 0;
};
