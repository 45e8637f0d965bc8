// Map bases: names, the G-buffer id, and defaults of the map interface.
#include "imtl.h"

ShadeContext::~ShadeContext() = default;
ISubMap::~ISubMap() = default;

MtlBase::MtlBase() = default;
MtlBase::~MtlBase() = default;
XYZGen::~XYZGen() = default;

MtlBase& MtlBase::operator=(const MtlBase& m) {
  if (this != &m) {
    name_ = m.name_;
    gbufID_ = m.gbufID_;
  }
  return *this;
}

CStr MtlBase::GetFullName() {
  CStr cls;
  GetClassName(cls);
  CStr detail = FullNameDetail();
  if (!detail.isNull()) {
    CStr both;
    both.printf("%s: %s", cls.data(), detail.data());
    cls = both;
  }
  if (name_.isNull()) return cls;
  CStr full;
  full.printf("%s (%s)", name_.data(), cls.data());
  return full;
}

float Texmap::EvalMono(ShadeContext& sc) {
  AColor c = EvalColor(sc);
  return (c.r + c.g + c.b) / 3.0f;
}
