// The host's own classes that plug-ins and scenes may create.
#pragma once

#include "iparamb.h"
#include "ref.h"

class ClassDesc;

// Answers the parameter-name and parameter-dimension queries for a block
// whose `count` parameters are named by `names`; false for other messages.
inline bool AnswerParamQuery(PartID part, RefMessage message, const char* const* names, int count) {
  if (message == REFMSG_GET_PARAM_NAME) {
    auto* gpn = reinterpret_cast<GetParamName*>(part);
    if (gpn->index >= 0 && gpn->index < count) gpn->name = names[gpn->index];
    return true;
  }
  if (message == REFMSG_GET_PARAM_DIM) {
    auto* gpd = reinterpret_cast<GetParamDim*>(part);
    if (gpd->index >= 0 && gpd->index < count) gpd->dim = defaultDim;
    return true;
  }
  return false;
}

ClassDesc* StdXYZGenDesc();
ClassDesc* CheckerMapDesc();
ClassDesc* BitmapMapDesc();
