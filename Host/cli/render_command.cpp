// plughost render: pictures of a texture map, as the material editor shows a
// map or on the user's model, for a frame, a sequence or a piece of either.
#include <cstdio>

#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "common/failure.h"
#include "render/model_view.h"
#include "render/render_plan.h"
#include "render/render_run.h"
#include "scene/texture_source.h"

namespace plughost {

namespace {

int Render(const RenderRequest& request) {
  RenderPlan plan;
  std::string error;
  if (!MakeRenderPlan(request, &plan, &error)) return FailBadInput(error);
  if (plan.threadsAsked > plan.settings.threads) {
    std::fprintf(stderr, "plughost: note: --threads %d is more than the %d this machine offers; rendering with %d\n",
                 plan.threadsAsked, plan.settings.threads, plan.settings.threads);
  }
  // Fail before rendering when the pictures cannot be written.
  if (!CheckPlanOutputs(plan, &error)) return Fail(error);
  ModelView model;
  if (!plan.mesh.empty()) {
    if (!LoadModelView(plan.mesh, plan.settings.threads, &model, &error)) return FailImport(error);
    if (plan.progress != ProgressStyle::kNone)
      std::fprintf(stderr, "plughost: %s\n", DescribeModelView(plan.mesh, model).c_str());
    plan.settings.model = &model;
  }
  OpenedTexture texture;
  if (!OpenTexture(request.texture, &texture, &error)) return FailBadInput(error);
  if (texture.scene) TakeSceneRenderSettings(*texture.scene, &plan);
  if (!FingerprintRender(request, &plan.fingerprint, &error)) return Fail(error);
  if (!RunRenderPlan(plan, texture.map, &error)) return Fail(error);
  return 0;
}

}  // namespace

void AddRenderVerb(CLI::App& app, Verbs& verbs) {
  auto request = std::make_shared<RenderRequest>();
  CLI::App* cmd = app.add_subcommand(
      "render", "Write a picture of a texture (default: a new Vede, as the material editor shows a map, to vede.png)");
  AddRenderOptions(cmd, *request,
                   {RenderOptionScope::kTexture, RenderOptionScope::kPicture, RenderOptionScope::kProcess});
  verbs.push_back({cmd, [request] { return Render(*request); }});
}

}  // namespace plughost
