#include "cli/farm_command.h"

#include "cli/cli_options.h"

namespace plughost {

void AddPieceOptions(CLI::App* render, PieceOptions& piece) {
  render->add_option("--chunk", piece.chunk, "K/N: only the K-th of N equal runs of the frames (1 <= K <= N)");
  render->add_option("--tile", piece.tile,
                     "K/N: only the K-th of N tiles of the picture, row by row from the top left, to "
                     "NAME.tile-X0-Y0-X1-Y1.png");
  render->add_option("--region", piece.region,
                     "x0,y0,x1,y1: only the pixels [x0, x1) by [y0, y1) of the picture, to NAME.tile-X0-Y0-X1-Y1.png");
  render->add_flag("--overwrite", piece.overwrite,
                   "With --chunk, --tile or --region: render pictures again that are already complete");
}

CLI::App* AddAssembleCommand(CLI::App& app, AssembleOptions& opts) {
  CLI::App* cmd = app.add_subcommand("assemble", "Join the tiles of a picture rendered with --tile K/N");
  cmd->add_option("-o,--output", opts.output, "The picture the tiles were rendered for")->capture_default_str();
  AddNumberOption(cmd, "--width", opts.width, "Width of the whole picture in pixels");
  AddNumberOption(cmd, "--height", opts.height, "Height of the whole picture in pixels");
  AddNumberOption(cmd, "--tiles", opts.tiles, "N, as given to --tile K/N")->required();
  return cmd;
}

FarmCommands AddFarmCommands(CLI::App& app, FarmOptions& farm, FarmCheckOptions& check) {
  CLI::App* cmd = app.add_subcommand("farm", "Render on a Slurm cluster, in pieces");
  cmd->require_subcommand(1);
  FarmCommands out;
  out.slurm =
      cmd->add_subcommand("slurm",
                          "Submit a render as a Slurm job array and a job that checks it and writes a manifest; takes "
                          "render's options");
  AddNumberOption(out.slurm, "--chunks", farm.chunks, "Tasks for a sequence (default: one a frame, at most 1000)");
  AddNumberOption(out.slurm, "--tiles", farm.tiles, "Render a still in this many tiles, one task each");
  AddNumberOption(out.slurm, "--retries", farm.retries, "Times a failed task is requeued");
  out.slurm->add_flag("--wait", farm.wait, "Follow the jobs on a progress line; exit with their outcome");
  AddNumberOption(out.slurm, "--poll", farm.poll, "Seconds between looks at the queue with --wait");
  out.slurm
      ->add_option("--sbatch", farm.sbatch,
                   "An option for sbatch, e.g. --sbatch=--partition=render --sbatch=--time=2:00:00 "
                   "--sbatch=--account=show (repeatable)")
      ->allow_extra_args(false);
  out.slurm->add_flag("--overwrite", farm.overwrite,
                      "Render every picture again, even in a folder that holds another render's");
  out.slurm->add_option("--plughost", farm.plughost, "plughost as the nodes find it (default: this program)");

  out.check = cmd->add_subcommand("check",
                                  "What a farm render's check job runs: join the tiles, check every picture, and "
                                  "write the manifest (sizes and SHA-256) when all are complete");
  out.check->add_option("-o,--output", check.output, "The render's output, as given to render")->required();
  AddNumberOption(out.check, "--width", check.width, "Width in pixels");
  AddNumberOption(out.check, "--height", check.height, "Height in pixels");
  out.check->add_option("--frames", check.frames, "The render's frames (a still: its frame)")->required();
  AddNumberOption(out.check, "--tiles", check.tiles, "The still was rendered in this many tiles");
  return out;
}

}  // namespace plughost
