// plughost farm: a render on a Slurm cluster (farm slurm), and the check its
// last job runs (farm check).
#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "farm/farm_check.h"
#include "farm/slurm_farm.h"

namespace plughost {

namespace {

void AddSlurmVerb(CLI::App* farm, const GlobalOptions& global, Verbs& verbs) {
  struct State {
    RenderRequest request;
    FarmOptions farm;
  };
  auto s = std::make_shared<State>();
  CLI::App* cmd = farm->add_subcommand(
      "slurm",
      "Submit a render as a Slurm job array and a job that checks it and writes a manifest; takes render's options");
  AddNumberOption(cmd, "--chunks", s->farm.chunks, "Tasks for a sequence (default: one a frame, at most 1000)");
  AddNumberOption(cmd, "--tiles", s->farm.tiles, "Render a still in this many tiles, one task each");
  AddNumberOption(cmd, "--retries", s->farm.retries, "Times a failed task is requeued");
  cmd->add_flag("--wait", s->farm.wait, "Follow the jobs on a progress line; exit with their outcome");
  AddSecondsOption(cmd, "--poll", s->farm.poll, "Seconds between looks at the queue with --wait");
  cmd->add_option("--sbatch", s->farm.sbatch,
                  "An option for sbatch, e.g. --sbatch=--partition=render --sbatch=--time=2:00:00 "
                  "--sbatch=--account=show (repeatable)")
      ->allow_extra_args(false);
  cmd->add_flag("--overwrite", s->farm.overwrite,
                "Render every picture again, even in a folder that holds another render's");
  cmd->add_option("--plughost", s->farm.plughost, "plughost as the nodes find it (default: this program)");
  AddRenderOptions(cmd, s->request, {RenderOptionScope::kTexture, RenderOptionScope::kPicture});
  verbs.push_back({cmd, [s, &global] {
                     FarmOptions farmOptions = s->farm;
                     farmOptions.hostArgs = global.AsArguments();
                     return FarmSlurmCommand(s->request, farmOptions);
                   }});
}

void AddCheckVerb(CLI::App* farm, Verbs& verbs) {
  auto opts = std::make_shared<FarmCheckOptions>();
  CLI::App* cmd = farm->add_subcommand("check",
                                       "What a farm render's check job runs: join the tiles, check every picture, and "
                                       "write the manifest (sizes and SHA-256) when all are complete");
  cmd->add_option("-o,--output", opts->output, "The render's output, as given to render")->required();
  AddNumberOption(cmd, "--width", opts->width, "Width in pixels");
  AddNumberOption(cmd, "--height", opts->height, "Height in pixels");
  cmd->add_option("--frames", opts->frames, "The render's frames (a still: its frame)")->required();
  AddNumberOption(cmd, "--tiles", opts->tiles, "The still was rendered in this many tiles");
  cmd->add_option("--compression", opts->compression, "The render's --compression, for the joined tiles");
  cmd->add_option("--fingerprint", opts->fingerprint,
                  "The render's fingerprint: a picture that carries another is not complete");
  verbs.push_back({cmd, [opts] { return FarmCheckCommand(*opts); }});
}

}  // namespace

void AddFarmVerbs(CLI::App& app, const GlobalOptions& global, Verbs& verbs) {
  CLI::App* farm = app.add_subcommand("farm", "Render on a Slurm cluster, in pieces");
  farm->require_subcommand(1);
  AddSlurmVerb(farm, global, verbs);
  AddCheckVerb(farm, verbs);
}

}  // namespace plughost
