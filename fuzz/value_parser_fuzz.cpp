// The command line's values: parameter values of every type, times, NAME=VALUE
// and NAME@TIME=VALUE assignments, frame lists and the output names made
// from them.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "param_path.h"
#include "render_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  HostParamSample s;
  for (ParamType type : {TYPE_FLOAT, TYPE_INT, TYPE_RGBA, TYPE_POINT3, TYPE_BOOL}) {
    if (ParseParamValue(type, text, &s, &error)) {
      // What is accepted reads back as itself.
      HostParamSample again;
      if (!ParseParamValue(type, FormatParamValue(type, s), &again, &error)) std::abort();
    }
  }
  TimeValue t = 0;
  if (ParseTime(text, &t, &error)) {
    TimeValue back = 0;
    if (!ParseTime(FormatTime(t), &back, &error) || back != t) std::abort();
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
