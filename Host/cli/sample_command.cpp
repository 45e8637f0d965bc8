// plughost sample: a texture's values at points read from standard input,
// one "x y z" a line, one line of values out for each.
#include <cstdio>
#include <iostream>

#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "render/point_samples.h"
#include "render/render_plan.h"
#include "scene/texture_source.h"

namespace plughost {

namespace {

struct SampleOptions {
  RenderRequest source;       // only its texture: the render options of that scope
  std::string what = "mono";  // mono, color, bump, perturbed
  std::string time = "0";
  std::string normal = "0,0,1";
  bool header = false;
};

bool ParseSampled(const std::string& text, PointValue* out) {
  if (text == "mono")
    *out = PointValue::kMono;
  else if (text == "color" || text == "colour")
    *out = PointValue::kColor;
  else if (text == "bump")
    *out = PointValue::kBump;
  else if (text == "perturbed")
    *out = PointValue::kPerturbed;
  else
    return false;
  return true;
}

// The names of the columns a line of values holds.
const char* ColumnNames(PointValue what) {
  switch (what) {
    case PointValue::kMono: return "mono";
    case PointValue::kColor: return "r g b a";
    case PointValue::kBump: return "bump.x bump.y bump.z";
    case PointValue::kPerturbed: return "perturbed.x perturbed.y perturbed.z";
  }
  return "";
}

int Sample(const SampleOptions& opts) {
  std::string error;
  PointValue what{};
  if (!ParseSampled(opts.what, &what))
    return FailBadInput("unknown --what '" + opts.what + "' (mono, color, bump or perturbed)");
  TimeValue t = 0;
  if (!ParseTime(opts.time, &t, &error)) return FailBadInput("--time " + error);
  float n[3];
  if (!ParseTriple(opts.normal, n, &error)) return FailBadInput("--normal " + error);

  OpenedTexture texture;
  if (!OpenTexture(opts.source.texture, &texture, &error)) return FailBadInput(error);
  Interval valid = FOREVER;
  texture.map->Update(t, valid);
  PointSampler sampler;
  if (!sampler.Prepare(texture.map, what, t, &error)) return FailBadInput("--what perturbed " + error);

  if (opts.header) std::printf("%s\n", ColumnNames(what));
  std::string line;
  int lineNo = 0, bad = 0;
  while (std::getline(std::cin, line)) {
    ++lineNo;
    float p[3];
    if (!ParseTriple(line, p, &error)) {
      Fail("line " + std::to_string(lineNo) + ": " + error);
      ++bad;
      continue;
    }
    float v[4];
    sampler.Sample(p, n, v);
    std::string out;
    for (int i = 0; i < PointValueWidth(what); ++i) out += (i ? " " : "") + FloatText(v[i]);
    std::printf("%s\n", out.c_str());
  }
  return bad ? kExitBadInput : 0;
}

}  // namespace

void AddSampleVerb(CLI::App& app, Verbs& verbs) {
  auto opts = std::make_shared<SampleOptions>();
  CLI::App* cmd =
      app.add_subcommand("sample", "Evaluate a texture at the points read from standard input, one \"x y z\" a line");
  AddRenderOptions(cmd, opts->source, {RenderOptionScope::kTexture});
  cmd->add_option("--what", opts->what,
                  "mono, color, bump, or perturbed (the coordinates generator's point moved by the "
                  "perturbation object the map references)")
      ->capture_default_str();
  cmd->add_option("--time", opts->time, "A frame number, or ticks with a t suffix")->capture_default_str();
  cmd->add_option("--normal", opts->normal, "The shading normal for bump, x,y,z")->capture_default_str();
  cmd->add_flag("--header", opts->header, "First print a line naming the columns (such as r g b a)");
  verbs.push_back({cmd, [opts] { return Sample(*opts); }});
}

}  // namespace plughost
