// Parameter blocks: a plug-in's animatable values.
//
// A block holds one value per descriptor. Each value is a constant or a list
// of keys. Floats and colours interpolate smoothly between keys (a Hermite
// curve with automatic, Catmull-Rom tangents, flat at the ends); ints and
// bools step, holding a key's value until the next key.
//
// A read narrows the interval it is given to the time over which the value
// read holds: not at all for a constant (forever); to the range from the
// smallest tick to the first key for a time at or before the first key; to
// the range from the last key to the largest tick at or after the last key;
// and to the single instant for a time between keys.
//
// SetValue at time t sets the constant; it sets a key at t instead where the
// parameter has keys already, or where the host is in animate mode and t is
// not 0. The first key made at t != 0 also keys time 0 with the value the
// parameter had. Every write sends REFMSG_CHANGE to the block's dependents.
#pragma once

#include "color.h"
#include "point3.h"
#include "ref.h"
#include "windows.h"

enum ParamType { TYPE_FLOAT = 0, TYPE_INT = 1, TYPE_RGBA = 2, TYPE_POINT3 = 3, TYPE_BOOL = 4 };

class UserType;

struct ParamBlockDescID {
  ParamType type;
  UserType* user;
  BOOL animatable;
  DWORD id;
};

// One saved layout of a block: its descriptors and their count, and its
// version number.
class ParamVersionDesc {
 public:
  ParamBlockDescID* desc;
  int count;
  DWORD version;
  ParamVersionDesc(ParamBlockDescID* d, int c, DWORD v) : desc(d), count(c), version(v) {}
};

// Units a parameter is shown in; the default is a plain number.
class HOSTSDK_API ParamDimension {
 public:
  virtual ~ParamDimension();
  virtual float Convert(float value) { return value; }
  virtual float UnConvert(float value) { return value; }
};
extern HOSTSDK_API ParamDimension* defaultDim;

// The host's class of parameter blocks.
constexpr SClass_ID PARAMETER_BLOCK_CLASS_ID = 0x82;
constexpr Class_ID PARAMETER_BLOCK_CLASS(0x0F00BA1, 0x1);

class HOSTSDK_API IParamBlock : public ReferenceTarget {
 public:
  ~IParamBlock() override;
  virtual int NumParams() = 0;
  virtual ParamType GetParameterType(int i) = 0;
  virtual DWORD GetVersion() = 0;

  // Reads at time t; narrows ivalid. Returns FALSE (value untouched) for an
  // index out of range or a value of another type.
  virtual BOOL GetValue(int i, TimeValue t, float& v, Interval& ivalid) = 0;
  virtual BOOL GetValue(int i, TimeValue t, int& v, Interval& ivalid) = 0;
  virtual BOOL GetValue(int i, TimeValue t, Point3& v, Interval& ivalid) = 0;
  virtual BOOL GetValue(int i, TimeValue t, Color& v, Interval& ivalid) = 0;

  virtual BOOL SetValue(int i, TimeValue t, float v) = 0;
  virtual BOOL SetValue(int i, TimeValue t, int v) = 0;
  virtual BOOL SetValue(int i, TimeValue t, Point3& v) = 0;
  virtual BOOL SetValue(int i, TimeValue t, Color& v) = 0;

  // Index of the parameter with descriptor id `id`, or -1.
  virtual int IDtoIndex(DWORD id) = 0;
};

HOSTSDK_API IParamBlock* CreateParameterBlock(ParamBlockDescID* pdesc, int count, DWORD version = 0);

// Whether SetValue at t != 0 makes keys (the host's Animate button).
HOSTSDK_API void SetAnimateMode(BOOL on);
HOSTSDK_API BOOL IsAnimateModeOn();
