// What the host (scene files, the command line) reads and writes of a
// parameter block beyond the plug-ins' GetValue/SetValue: its layout and
// each value whole, constant or keys.
#pragma once

#include <vector>

#include "../iparamb.h"

struct HostParamSample {
  TimeValue time = 0;      // for a key; 0 for the constant
  float v[3] = {0, 0, 0};  // float: v[0]; colour and point: all three
  int i = 0;               // int and bool
};

struct HostParamValue {
  ParamType type = TYPE_FLOAT;
  HostParamSample constant;           // used while keys is empty
  std::vector<HostParamSample> keys;  // sorted by time, no two at one time
};

HOSTSDK_API bool HostIsParamBlock(ReferenceTarget* target);
// The descriptor of parameter i (its type, animatable flag and id).
HOSTSDK_API ParamBlockDescID HostParamDesc(IParamBlock* block, int i);
HOSTSDK_API HostParamValue HostGetParam(IParamBlock* block, int i);
// Replaces parameter i whole (its type must match); notifies dependents.
HOSTSDK_API bool HostSetParam(IParamBlock* block, int i, const HostParamValue& value);
