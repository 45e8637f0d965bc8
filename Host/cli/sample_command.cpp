// plughost sample: a texture's values at points read from standard input,
// one "x y z" a line, one line of values out for each.
#include <hostside/shade_context.h>
#include <imtl.h>

#include <cstdio>
#include <iostream>

#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "plugins/host_entries.h"
#include "render/render_plan.h"
#include "scene/texture_source.h"

namespace plughost {

namespace {

struct SampleOptions {
  RenderRequest source;       // only its texture: the render options of that scope
  std::string what = "mono";  // mono, color, bump, perturbed
  std::string time = "0";
  std::string normal = "0,0,1";
};

enum class Sampled { kMono, kColor, kBump, kPerturbed };

bool ParseSampled(const std::string& text, Sampled* out) {
  if (text == "mono")
    *out = Sampled::kMono;
  else if (text == "color" || text == "colour")
    *out = Sampled::kColor;
  else if (text == "bump")
    *out = Sampled::kBump;
  else if (text == "perturbed")
    *out = Sampled::kPerturbed;
  else
    return false;
  return true;
}

// A perturbation object among the map's references: one whose class a
// plug-in offers the point perturbation of. Null when the map has none.
ReferenceTarget* FindPerturbation(Texmap* map, HostPerturbPointFn* perturb) {
  for (int i = 0; i < map->NumRefs(); ++i) {
    ReferenceTarget* r = map->GetReference(i);
    if ((*perturb = FindPerturbPoint(r))) return r;
  }
  return nullptr;
}

std::string Triple(const Point3& p) { return FloatText(p.x) + " " + FloatText(p.y) + " " + FloatText(p.z); }

int Sample(const SampleOptions& opts) {
  std::string error;
  Sampled what{};
  if (!ParseSampled(opts.what, &what))
    return Fail("unknown --what '" + opts.what + "' (mono, color, bump or perturbed)");
  TimeValue t = 0;
  if (!ParseTime(opts.time, &t, &error)) return Fail("--time " + error);
  float n[3];
  if (!ParseTriple(opts.normal, n, &error)) return Fail("--normal " + error);

  OpenedTexture texture;
  if (!OpenTexture(opts.source.texture, &texture, &error)) return Fail(error);
  Texmap* tex = texture.map;
  Interval valid = FOREVER;
  tex->Update(t, valid);

  // For the perturbed point: the map's coordinates generator and the
  // perturbation object it references.
  HostPerturbPointFn perturbPoint = nullptr;
  ReferenceTarget* perturbation = nullptr;
  if (what == Sampled::kPerturbed) {
    perturbation = FindPerturbation(tex, &perturbPoint);
    if (!perturbation || !tex->GetTheXYZGen())
      return Fail("--what perturbed needs a map with a coordinates generator and a perturbation object");
  }

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
    HostShadeContext sc;
    sc.time = t;
    sc.pObj = sc.pWorld = Point3(p[0], p[1], p[2]);
    sc.normal = Point3(n[0], n[1], n[2]);
    std::string out;
    switch (what) {
      case Sampled::kMono: out = FloatText(tex->EvalMono(sc)); break;
      case Sampled::kColor: {
        AColor c = tex->EvalColor(sc);
        out = FloatText(c.r) + " " + FloatText(c.g) + " " + FloatText(c.b) + " " + FloatText(c.a);
        break;
      }
      case Sampled::kBump: out = Triple(tex->EvalNormalPerturb(sc)); break;
      case Sampled::kPerturbed: {
        Point3 q, dq;
        tex->GetTheXYZGen()->GetXYZ(sc, q, dq);
        perturbPoint(perturbation, &q);
        out = Triple(q);
        break;
      }
    }
    std::printf("%s\n", out.c_str());
  }
  return bad ? 1 : 0;
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
  verbs.push_back({cmd, [opts] { return Sample(*opts); }});
}

}  // namespace plughost
