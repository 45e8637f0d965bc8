// plughost farm: a render (farm slurm) or a bake (farm bake) on a Slurm
// cluster, and the check their last job runs (farm check).
#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "farm/farm_check.h"
#include "farm/slurm_farm.h"

namespace plughost {

namespace {

// The options of the farm itself, for a render and a bake alike.
void AddFarmOptions(CLI::App* cmd, FarmOptions& farm) {
  AddNumberOption(cmd, "--retries", farm.retries, "Times a failed task is requeued");
  cmd->add_flag("--wait", farm.wait, "Follow the jobs on a progress line; exit with their outcome");
  AddSecondsOption(cmd, "--poll", farm.poll, "Seconds between looks at the queue with --wait");
  cmd->add_option("--sbatch", farm.sbatch,
                  "An option for sbatch, e.g. --sbatch=--partition=render --sbatch=--time=2:00:00 "
                  "--sbatch=--account=show (repeatable)")
      ->allow_extra_args(false);
  cmd->add_flag("--overwrite", farm.overwrite, "Make every picture again, even in a folder that holds another job's");
  cmd->add_option("--plughost", farm.plughost, "plughost as the nodes find it (default: this program)");
}

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
  AddFarmOptions(cmd, s->farm);
  AddRenderOptions(cmd, s->request, {RenderOptionScope::kTexture, RenderOptionScope::kPicture});
  verbs.push_back({cmd, [s, &global] {
                     FarmOptions farmOptions = s->farm;
                     farmOptions.hostArgs = global.AsArguments();
                     return FarmSlurmCommand(s->request, farmOptions);
                   }});
}

void AddBakeVerb(CLI::App* farm, const GlobalOptions& global, Verbs& verbs) {
  struct State {
    BakeRequest request;
    FarmOptions farm;
  };
  auto s = std::make_shared<State>();
  CLI::App* cmd = farm->add_subcommand(
      "bake",
      "Submit a bake as a Slurm job array, a task per UDIM tile and tile of it, and a job that joins the pieces and "
      "writes a manifest; takes bake's options");
  AddNumberOption(cmd, "--tiles", s->farm.tiles, "Bake each UDIM tile in this many tiles, one task each (default 1)");
  AddFarmOptions(cmd, s->farm);
  AddBakeOptions(cmd, &s->request);
  verbs.push_back({cmd, [s, &global] {
                     FarmOptions farmOptions = s->farm;
                     farmOptions.hostArgs = global.AsArguments();
                     return FarmBakeCommand(s->request, farmOptions);
                   }});
}

void AddCheckVerb(CLI::App* farm, Verbs& verbs) {
  auto opts = std::make_shared<FarmCheckOptions>();
  CLI::App* cmd = farm->add_subcommand("check",
                                       "What a farm job's check runs: join the tiles, check every picture, and "
                                       "write the manifest (sizes and SHA-256) when all are complete");
  cmd->add_option("-o,--output", opts->output, "The render's or bake's output, as given to it")->required();
  AddNumberOption(cmd, "--width", opts->width, "Width in pixels");
  AddNumberOption(cmd, "--height", opts->height, "Height in pixels");
  cmd->add_option("--frames", opts->frames, "The render's frames (a still: its frame)");
  cmd->add_option("--udim", opts->udims, "A bake's UDIM tiles (1001,1002,...): join each one's pieces")->delimiter(',');
  AddNumberOption(cmd, "--tiles", opts->tiles, "The still was rendered in this many tiles");
  cmd->add_option("--compression", opts->compression, "The render's --compression, for the joined tiles");
  cmd->add_option("--fingerprint", opts->fingerprint,
                  "The render's fingerprint: a picture that carries another is not complete");
  verbs.push_back({cmd, [opts] { return FarmCheckCommand(*opts); }});
}

}  // namespace

void AddFarmVerbs(CLI::App& app, const GlobalOptions& global, Verbs& verbs) {
  CLI::App* farm = app.add_subcommand("farm", "Render or bake on a Slurm cluster, in pieces");
  farm->require_subcommand(1);
  AddSlurmVerb(farm, global, verbs);
  AddBakeVerb(farm, global, verbs);
  AddCheckVerb(farm, verbs);
}

}  // namespace plughost
