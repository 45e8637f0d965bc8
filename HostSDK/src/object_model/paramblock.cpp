// Parameter blocks: constants and keys, interpolation, validity, and the
// converter that brings an older saved layout up to date after loading.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "hostside/paramblock_access.h"
#include "ioapi.h"
#include "iparamb.h"
#include "object_model/param_trace.h"

namespace hostparam {
namespace {
thread_local ParamTouch t_lastRead;
thread_local WriteCapture* t_capture = nullptr;
}  // namespace

ParamTouch TakeLastRead() {
  ParamTouch read = t_lastRead;
  t_lastRead = ParamTouch{};
  return read;
}

WriteCapture::WriteCapture() : outer_(t_capture) { t_capture = this; }
WriteCapture::~WriteCapture() { t_capture = outer_; }

void NoteRead(IParamBlock* block, int index, bool scalar, float value) { t_lastRead = {block, index, scalar, value}; }

void NoteWrite(IParamBlock* block, int index) {
  if (t_capture && !t_capture->first_.block) t_capture->first_ = {block, index, false, 0.0f};
}

void ForgetBlock(IParamBlock* block) {
  if (t_lastRead.block == block) t_lastRead = ParamTouch{};
  for (WriteCapture* c = t_capture; c; c = c->outer_)
    if (c->first_.block == block) c->first_ = ParamTouch{};
}

}  // namespace hostparam

namespace {

using hostparam::NoteRead;
using hostparam::NoteWrite;

std::atomic<bool> g_animate{false};

bool IsStepped(ParamType t) { return t == TYPE_INT || t == TYPE_BOOL; }

// A float read or written as a whole number: cut toward zero, as a cast
// does, but defined for every float: NaN is 0, and beyond the range of an
// int the nearest end of it.
int WholeNumber(float v) {
  if (std::isnan(v)) return 0;
  if (v <= -2147483648.0f) return std::numeric_limits<int>::min();
  if (v >= 2147483648.0f) return std::numeric_limits<int>::max();
  return static_cast<int>(v);
}
int Components(ParamType t) { return t == TYPE_FLOAT ? 1 : 3; }

// Hermite interpolation with Catmull-Rom tangents (flat at the first and last
// key), in double, per component.
float Smooth(const std::vector<HostParamSample>& keys, size_t i, TimeValue t, int c) {
  const HostParamSample& a = keys[i];
  const HostParamSample& b = keys[i + 1];
  auto slope = [&](size_t k) -> double {
    if (k == 0 || k + 1 >= keys.size()) return 0.0;
    return (static_cast<double>(keys[k + 1].v[c]) - keys[k - 1].v[c]) /
           (static_cast<double>(keys[k + 1].time) - keys[k - 1].time);
  };
  double dt = static_cast<double>(b.time) - a.time;
  double u = (static_cast<double>(t) - a.time) / dt;
  double u2 = u * u, u3 = u2 * u;
  double h00 = 2 * u3 - 3 * u2 + 1, h10 = u3 - 2 * u2 + u, h01 = -2 * u3 + 3 * u2, h11 = u3 - u2;
  return static_cast<float>(h00 * a.v[c] + h10 * dt * slope(i) + h01 * b.v[c] + h11 * dt * slope(i + 1));
}

// The value of a parameter at t, narrowing ivalid to the time it holds.
HostParamSample Evaluate(const HostParamValue& p, TimeValue t, Interval& ivalid) {
  const auto& keys = p.keys;
  if (keys.empty()) return p.constant;
  if (t <= keys.front().time) {
    ivalid &= Interval(TIME_NegInfinity, keys.front().time);
    return keys.front();
  }
  if (t >= keys.back().time) {
    ivalid &= Interval(keys.back().time, TIME_PosInfinity);
    return keys.back();
  }
  ivalid &= Interval(t, t);
  size_t i = static_cast<size_t>(std::upper_bound(keys.begin(), keys.end(), t,
                                                  [](TimeValue tt, const HostParamSample& k) { return tt < k.time; }) -
                                 keys.begin() - 1);
  if (IsStepped(p.type) || keys[i].time == t) return keys[i];
  HostParamSample s;
  s.time = t;
  for (int c = 0; c < Components(p.type); ++c) s.v[c] = Smooth(keys, i, t, c);
  return s;
}

class ParamBlock : public IParamBlock {
 public:
  ParamBlock(const ParamBlockDescID* desc, int count, DWORD version) : version_(version) {
    for (int i = 0; i < count; ++i) {
      descs_.push_back(desc[i]);
      HostParamValue v;
      v.type = desc[i].type;
      values_.push_back(v);
    }
  }

  ~ParamBlock() override { hostparam::ForgetBlock(this); }

  void GetClassName(CStr& s) override { s = "ParamBlock"; }
  Class_ID ClassID() override { return PARAMETER_BLOCK_CLASS; }
  SClass_ID SuperClassID() override { return PARAMETER_BLOCK_CLASS_ID; }
  RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

  RefTargetHandle Clone(RemapDir&) override {
    auto* copy = new ParamBlock(descs_.data(), static_cast<int>(descs_.size()), version_);
    copy->values_ = values_;
    return copy;
  }

  int NumParams() override { return static_cast<int>(descs_.size()); }
  ParamType GetParameterType(int i) override { return Valid(i) ? descs_[i].type : TYPE_FLOAT; }
  DWORD GetVersion() override { return version_; }

  BOOL GetValue(int i, TimeValue t, float& v, Interval& ivalid) override {
    if (!Valid(i) || descs_[i].type != TYPE_FLOAT) return FALSE;
    v = Evaluate(values_[i], t, ivalid).v[0];
    NoteRead(this, i, true, v);
    return TRUE;
  }
  BOOL GetValue(int i, TimeValue t, int& v, Interval& ivalid) override {
    if (!Valid(i)) return FALSE;
    if (IsStepped(descs_[i].type)) {
      v = Evaluate(values_[i], t, ivalid).i;
      NoteRead(this, i, true, static_cast<float>(v));
      return TRUE;
    }
    if (descs_[i].type == TYPE_FLOAT) {  // the host reads a float as a whole number too
      v = WholeNumber(Evaluate(values_[i], t, ivalid).v[0]);
      NoteRead(this, i, true, static_cast<float>(v));
      return TRUE;
    }
    return FALSE;
  }
  BOOL GetValue(int i, TimeValue t, Point3& v, Interval& ivalid) override {
    if (!Valid(i) || (descs_[i].type != TYPE_POINT3 && descs_[i].type != TYPE_RGBA)) return FALSE;
    HostParamSample s = Evaluate(values_[i], t, ivalid);
    v = Point3(s.v[0], s.v[1], s.v[2]);
    NoteRead(this, i, false, 0.0f);
    return TRUE;
  }
  BOOL GetValue(int i, TimeValue t, Color& v, Interval& ivalid) override {
    if (!Valid(i) || (descs_[i].type != TYPE_RGBA && descs_[i].type != TYPE_POINT3)) return FALSE;
    HostParamSample s = Evaluate(values_[i], t, ivalid);
    v = Color(s.v[0], s.v[1], s.v[2]);
    NoteRead(this, i, false, 0.0f);
    return TRUE;
  }

  BOOL SetValue(int i, TimeValue t, float v) override {
    if (!Valid(i)) return FALSE;
    if (IsStepped(descs_[i].type)) return SetValue(i, t, WholeNumber(v));
    if (descs_[i].type != TYPE_FLOAT) return FALSE;
    HostParamSample s;
    s.v[0] = v;
    return Write(i, t, s);
  }
  BOOL SetValue(int i, TimeValue t, int v) override {
    if (!Valid(i)) return FALSE;
    if (descs_[i].type == TYPE_FLOAT) return SetValue(i, t, static_cast<float>(v));
    if (!IsStepped(descs_[i].type)) return FALSE;
    HostParamSample s;
    s.i = v;
    return Write(i, t, s);
  }
  BOOL SetValue(int i, TimeValue t, Point3& v) override {
    if (!Valid(i) || (descs_[i].type != TYPE_POINT3 && descs_[i].type != TYPE_RGBA)) return FALSE;
    HostParamSample s;
    s.v[0] = v.x, s.v[1] = v.y, s.v[2] = v.z;
    return Write(i, t, s);
  }
  BOOL SetValue(int i, TimeValue t, Color& v) override {
    if (!Valid(i) || (descs_[i].type != TYPE_RGBA && descs_[i].type != TYPE_POINT3)) return FALSE;
    HostParamSample s;
    s.v[0] = v.r, s.v[1] = v.g, s.v[2] = v.b;
    return Write(i, t, s);
  }

  int IDtoIndex(DWORD id) override {
    for (size_t i = 0; i < descs_.size(); ++i)
      if (descs_[i].id == id) return static_cast<int>(i);
    return -1;
  }

  const ParamBlockDescID& Desc(int i) const { return descs_[static_cast<size_t>(i)]; }
  HostParamValue& Value(int i) { return values_[static_cast<size_t>(i)]; }
  bool Valid(int i) const { return i >= 0 && static_cast<size_t>(i) < descs_.size(); }

  void Changed() { NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE); }

 private:
  BOOL Write(int i, TimeValue t, HostParamSample s) {
    NoteWrite(this, i);
    HostParamValue& p = values_[static_cast<size_t>(i)];
    bool makeKey = descs_[static_cast<size_t>(i)].animatable && (!p.keys.empty() || (g_animate && t != 0));
    if (!makeKey) {
      s.time = 0;
      p.constant = s;
    } else {
      if (p.keys.empty() && t != 0) {
        // The first key away from 0 keeps the old value at time 0.
        HostParamSample at0 = p.constant;
        at0.time = 0;
        p.keys.push_back(at0);
      }
      s.time = t;
      auto it = std::lower_bound(p.keys.begin(), p.keys.end(), t,
                                 [](const HostParamSample& k, TimeValue tt) { return k.time < tt; });
      if (it != p.keys.end() && it->time == t)
        *it = s;
      else
        p.keys.insert(it, s);
    }
    Changed();
    return TRUE;
  }

  std::vector<ParamBlockDescID> descs_;
  std::vector<HostParamValue> values_;
  DWORD version_;
};

ParamBlock* AsBlock(ReferenceTarget* t) {
  return t && t->ClassID() == PARAMETER_BLOCK_CLASS && t->SuperClassID() == PARAMETER_BLOCK_CLASS_ID
             ? static_cast<ParamBlock*>(t)
             : nullptr;
}

}  // namespace

IParamBlock* CreateParameterBlock(ParamBlockDescID* pdesc, int count, DWORD version) {
  if (count < 0 || (count > 0 && !pdesc)) return nullptr;
  return new ParamBlock(pdesc, count, version);
}

void SetAnimateMode(BOOL on) { g_animate = on != 0; }
BOOL IsAnimateModeOn() { return g_animate ? TRUE : FALSE; }

bool HostIsParamBlock(ReferenceTarget* target) { return AsBlock(target) != nullptr; }

ParamBlockDescID HostParamDesc(IParamBlock* block, int i) {
  ParamBlock* b = AsBlock(block);
  if (!b || !b->Valid(i)) return ParamBlockDescID{TYPE_FLOAT, nullptr, FALSE, 0};
  return b->Desc(i);
}

HostParamValue HostGetParam(IParamBlock* block, int i) {
  ParamBlock* b = AsBlock(block);
  if (!b || !b->Valid(i)) return HostParamValue{};
  return b->Value(i);
}

bool HostSetParam(IParamBlock* block, int i, const HostParamValue& value) {
  ParamBlock* b = AsBlock(block);
  if (!b || !b->Valid(i) || value.type != b->Desc(i).type) return false;
  for (size_t k = 1; k < value.keys.size(); ++k)
    if (value.keys[k - 1].time >= value.keys[k].time) return false;
  b->Value(i) = value;
  b->Changed();
  return true;
}

// ---- Converting an older layout after load ---------------------------------

ParamBlockPLCB::ParamBlockPLCB(ParamVersionDesc* oldVersions, int count, ParamVersionDesc* current,
                               ReferenceTarget* target, int refNum)
    : oldVersions_(oldVersions), count_(count), current_(current), target_(target), refNum_(refNum) {}

void ParamBlockPLCB::proc(ILoad* iload) {
  auto* loaded = AsBlock(target_->GetReference(refNum_));
  if (!loaded || loaded->GetVersion() == current_->version) return;
  bool known = false;
  for (int k = 0; k < count_; ++k)
    if (oldVersions_[k].version == loaded->GetVersion()) known = true;
  if (!known) return;

  IParamBlock* fresh = CreateParameterBlock(current_->desc, current_->count, current_->version);
  auto copyMatching = [&](ParamBlock* from) {
    for (int j = 0; j < fresh->NumParams(); ++j) {
      int k = from->IDtoIndex(current_->desc[j].id);
      if (k >= 0 && from->Desc(k).type == current_->desc[j].type) HostSetParam(fresh, j, from->Value(k));
    }
  };
  // Parameters the old layout lacks keep what the object's construction gave
  // them; the rest come from the file.
  if (ParamBlock* constructed = AsBlock(iload ? iload->DisplacedReference(target_, refNum_) : nullptr))
    copyMatching(constructed);
  copyMatching(loaded);
  target_->ReplaceReference(refNum_, fresh, 1);
}
