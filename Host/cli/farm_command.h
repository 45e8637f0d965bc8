// The command line of rendering in pieces: render's piece options, assemble,
// farm slurm and farm check (the options a farm render shares with render
// are added by the caller).
#pragma once

#include <CLI/CLI.hpp>

#include "farm/assemble.h"
#include "farm/slurm_farm.h"
#include "render/render_pieces.h"

namespace plughost {

void AddPieceOptions(CLI::App* render, PieceOptions& piece);
CLI::App* AddAssembleCommand(CLI::App& app, AssembleOptions& opts);

struct FarmCommands {
  CLI::App* slurm = nullptr;
  CLI::App* check = nullptr;
};
FarmCommands AddFarmCommands(CLI::App& app, FarmOptions& farm, FarmCheckOptions& check);

}  // namespace plughost
