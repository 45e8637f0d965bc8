// The command line's values: numbers, whole numbers, booleans, three
// numbers, times, parameter values of every type, NAME=VALUE and
// NAME@TIME=VALUE assignments, frame lists and the output names made from
// them. What is accepted and printed back reads back as itself.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/value_readers.h"
#include "render/render_plan.h"
#include "scene/param_path.h"

using namespace plughost;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  float f = 0, triple[3];
  int i = 0;
  bool b = false;
  if (ParseFloat(text, &f, &error)) {
    float back = 0;
    if (!ParseFloat(FloatText(f), &back, &error) || back != f) std::abort();
  }
  (void)ParseInt(text, &i, &error);
  (void)ParseBool(text, &b, &error);
  (void)ParseTriple(text, triple, &error);
  TimeValue t = 0;
  if (ParseTime(text, &t, &error)) {
    TimeValue back = 0;
    if (!ParseTime(TimeText(t), &back, &error) || back != t) std::abort();
  }
  HostParamSample s;
  for (ParamType type : {TYPE_FLOAT, TYPE_INT, TYPE_RGBA, TYPE_POINT3, TYPE_BOOL}) {
    if (ParseParamValue(type, text, &s, &error)) {
      HostParamSample again;
      if (!ParseParamValue(type, FormatParamValue(type, s), &again, &error)) std::abort();
    }
  }
  ParamAssignment a;
  (void)ParseAssignment(text, false, &a, &error);
  (void)ParseAssignment(text, true, &a, &error);
  std::vector<int> frames;
  if (ParseFrameList(text, &frames, &error)) {
    if (frames.empty() || frames.size() > static_cast<size_t>(kMaxFrames)) std::abort();
    (void)FrameFileName("f.###.png", frames.front(), frames.size() > 1);
  }
  return 0;
}
