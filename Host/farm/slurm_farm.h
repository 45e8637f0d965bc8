// plughost farm: one render (or bake, below) as a Slurm job array, checked by a
// job of its own.
//
// `farm slurm` freezes the render's inputs beside its output: the scene file,
// a picture given to --map and a model given to --mesh (with the files a
// .gltf names) are copied into STEM.farm/ next to the pictures, and the
// tasks read only those copies, so edits made after submission change
// nothing. It writes two batch scripts there and submits:
//
//  - a job array, one task per chunk of the frames (render --chunk K/N) or per
//    tile of a still (render --tile K/N). A task that fails asks Slurm to
//    requeue it, up to --retries times; the pictures it finds complete are
//    kept, so the retry resumes. Slurm holds a requeued task back for a while
//    (its credential lifetime, two minutes by default) before it runs again.
//  - a check job that starts when every task has ended, however it ended
//    (afterany: a task that failed for good must be named, not waited on
//    forever), and runs `farm check`.
//
// `farm check` joins a still's tiles, checks that every picture is complete,
// and only then writes STEM.manifest.txt beside the pictures (size and
// SHA-256 of each). Otherwise it names every missing or broken frame or tile
// and fails; a manifest from an earlier run is removed at submission, so
// none claims success while a picture is missing.
//
// A resubmission into the same folder with the same inputs resumes (complete
// pictures are kept); with other inputs it is refused unless --overwrite,
// which renders every picture again.
//
// What the farm needs: plughost, its libraries and its plug-in folders at the
// same paths on every node, and the output folder on storage that every node
// sees.
#pragma once

#include <string>
#include <vector>

#include "bake/bake_plan.h"
#include "render/render_plan.h"

namespace plughost {

struct FarmOptions {
  int chunks = 0;  // tasks for a sequence; 0: one a frame, at most kMaxFarmTasks
  int tiles = 0;   // a still in this many tiles (render --tile K/N); 0: a sequence
  int retries = 2;
  bool wait = false;
  double poll = 10.0;               // seconds between looks at the queue while waiting
  std::vector<std::string> sbatch;  // given to both sbatch calls as they are
  bool overwrite = false;
  std::string plughost;               // the program the nodes run; empty: this one
  std::vector<std::string> hostArgs;  // plug-in folder options the tasks get too
};

// Slurm's default limit on the tasks of one array (MaxArraySize 1001).
constexpr int kMaxFarmTasks = 1000;

// Freezes the inputs, writes the scripts, submits both jobs and, with --wait,
// follows them; the exit status.
int FarmSlurmCommand(const RenderRequest& request, const FarmOptions& farm);

// A bake on the farm (farm bake), the same way: the model is frozen too
// (STEM.farm/model/, with the files a .gltf names beside it), and the job
// array has a task per UDIM tile and tile of it (bake --udim U --tile K/N,
// with N = farm.tiles, 1 when 0), so a bake of one large UDIM tile spreads
// over its tiles and one of many UDIM tiles over those. The check job joins
// every UDIM tile's pieces (assemble --udim) and writes the manifest of the
// UDIM tiles' files.
int FarmBakeCommand(const BakeRequest& request, const FarmOptions& farm);

}  // namespace plughost
