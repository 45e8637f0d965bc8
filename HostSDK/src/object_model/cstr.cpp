#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "strclass.h"

namespace {
char kEmpty[1] = {0};
}

CStr::CStr() = default;
CStr::CStr(const char* s) { assign(s ? s : "", s ? std::strlen(s) : 0); }
CStr::CStr(const CStr& o) { assign(o.data(), o.len); }
CStr::CStr(CStr&& o) noexcept : buf(o.buf), len(o.len) {
  o.buf = nullptr;
  o.len = 0;
}
CStr::~CStr() { std::free(buf); }

CStr& CStr::operator=(const CStr& o) {
  if (this != &o) assign(o.data(), o.len);
  return *this;
}
CStr& CStr::operator=(CStr&& o) noexcept {
  if (this != &o) {
    std::free(buf);
    buf = o.buf;
    len = o.len;
    o.buf = nullptr;
    o.len = 0;
  }
  return *this;
}
CStr& CStr::operator=(const char* s) {
  // s may point into our own buffer, so copy before freeing.
  CStr tmp(s);
  return *this = std::move(tmp);
}

const char* CStr::data() const { return buf ? buf : kEmpty; }

void CStr::assign(const char* s, size_t n) {
  char* nb = static_cast<char*>(std::malloc(n + 1));
  if (!nb) throw std::bad_alloc();
  std::memcpy(nb, s, n);
  nb[n] = 0;
  std::free(buf);
  buf = nb;
  len = n;
}

CStr& CStr::operator+=(const CStr& o) {
  size_t n = len + o.len;
  char* nb = static_cast<char*>(std::malloc(n + 1));
  if (!nb) throw std::bad_alloc();
  std::memcpy(nb, data(), len);
  std::memcpy(nb + len, o.data(), o.len);
  nb[n] = 0;
  std::free(buf);
  buf = nb;
  len = n;
  return *this;
}

CStr CStr::operator+(const CStr& o) const {
  CStr r(*this);
  r += o;
  return r;
}

bool CStr::operator==(const CStr& o) const { return len == o.len && std::memcmp(data(), o.data(), len) == 0; }
bool CStr::operator==(const char* s) const { return std::strcmp(data(), s ? s : "") == 0; }

int CStr::printf(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, format, ap);
  va_end(ap);
  if (n < 0) {
    va_end(ap2);
    assign("", 0);
    return n;
  }
  char* nb = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
  if (!nb) {
    va_end(ap2);
    throw std::bad_alloc();
  }
  std::vsnprintf(nb, static_cast<size_t>(n) + 1, format, ap2);
  va_end(ap2);
  std::free(buf);
  buf = nb;
  len = static_cast<size_t>(n);
  return n;
}
