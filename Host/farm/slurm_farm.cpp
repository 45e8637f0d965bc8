#include "farm/slurm_farm.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "common/failure.h"
#include "common/value_readers.h"
#include "farm/farm_files.h"
#include "farm/slurm_jobs.h"

namespace fs = std::filesystem;

namespace plughost {

namespace {

// How many tasks the render becomes: one a tile of a still, or chunks of the
// frames (one a frame by default, as many as Slurm's arrays allow).
bool CountTasks(const FarmOptions& farm, size_t frames, int* pieces, std::string* error) {
  if (farm.tiles > 0) {
    if (farm.chunks > 0) return *error = "give --chunks for a sequence or --tiles for a still, not both", false;
    if (frames != 1) return *error = "--tiles renders one picture: give --time or a single frame", false;
    *pieces = farm.tiles;
  } else {
    *pieces = farm.chunks > 0 ? farm.chunks : static_cast<int>(std::min<size_t>(frames, kMaxFarmTasks));
    if (static_cast<size_t>(*pieces) > frames) {
      *error = "--chunks " + std::to_string(*pieces) + " is more than the " + std::to_string(frames) + " frame(s)";
      return false;
    }
  }
  if (farm.tiles < 0 || farm.chunks < 0 || *pieces > kMaxFarmTasks)
    return *error = "a farm render has 1 to " + std::to_string(kMaxFarmTasks) + " tasks", false;
  return true;
}

// An input the tasks read a copy of: `arg` is the request's own name for it,
// which comes to name the copy.
struct Frozen {
  std::string* arg;
  fs::path copy;
  std::string bytes, old;  // the input's bytes now, and the copy's from an earlier submission
};

bool FreezeInputs(TextureSource& texture, const fs::path& folder, std::vector<Frozen>* frozen, std::string* error) {
  if (!texture.sceneFile.empty()) frozen->push_back({&texture.sceneFile, folder / "scene.json", "", ""});
  if (!texture.map.empty() && texture.map != "checker") frozen->push_back({&texture.map, folder / "map.png", "", ""});
  for (Frozen& f : *frozen) {
    if (!ReadFarmFile(*f.arg, &f.bytes, error)) return false;
    std::string unread;
    if (!ReadFarmFile(f.copy, &f.old, &unread)) f.old.clear();
    *f.arg = f.copy.string();
  }
  return true;
}

// A folder that holds another render's pictures would hand them out as this
// one's: the job file and the frozen inputs must be the same.
bool SameRenderAsBefore(const fs::path& jobFile, const std::vector<std::string>& render,
                        const std::vector<Frozen>& frozen) {
  std::string oldJob, unread;
  if (!ReadFarmFile(jobFile, &oldJob, &unread)) return true;  // a new folder
  bool same = false;
  try {
    same = nlohmann::json::parse(oldJob).at("render") == nlohmann::json(render);
  } catch (const std::exception&) {
  }
  for (const Frozen& f : frozen) same = same && f.old == f.bytes;
  return same;
}

// The scripts of both jobs and the job file, in the farm folder.
bool WriteFarmFolder(const fs::path& folder, const std::vector<std::string>& task,
                     const std::vector<std::string>& check, const nlohmann::json& job, const FarmOptions& farm,
                     int pieces, std::string* error) {
  std::string checkText =
      "#!/bin/sh\n# Checks a farm render and writes its manifest (written by plughost farm slurm).\n";
  checkText += "exec " + ShellLine(check) + "\n";
  std::string taskText = TaskScript(task, farm.tiles > 0 ? "--tile" : "--chunk", pieces, farm.retries);
  return WriteFileWhole((folder / "task.sh").string(), taskText, 0755, error) &&
         WriteFileWhole((folder / "check.sh").string(), checkText, 0755, error) &&
         WriteFileWhole((folder / "job.json").string(), job.dump(2) + "\n", 0644, error);
}

}  // namespace

int FarmSlurmCommand(const RenderRequest& original, const FarmOptions& farm) {
  std::string error;
  if (farm.retries < 0) return FailBadInput("--retries must be 0 or more");
  if (!(farm.poll > 0) || farm.poll > kMaxWaitSeconds)
    return FailBadInput("--poll must be a number of seconds above 0, at most a day");

  // The render as the tasks will run it, checked here first: a mistake costs
  // no farm time. Everything the tasks read is named by an absolute path.
  RenderRequest request = original;
  std::error_code ec;
  request.output = fs::absolute(request.output, ec).lexically_normal().string();
  RenderPlan plan;
  int pieces = 0;
  if (!MakeRenderPlan(request, &plan, &error) || !CountTasks(farm, plan.frames.size(), &pieces, &error))
    return FailBadInput(error);
  fs::create_directories(fs::path(request.output).parent_path(), ec);
  OpenedTexture texture;
  if (!CheckPlanOutputs(plan, &error)) return Fail(error);
  if (!OpenTexture(request.texture, &texture, &error)) return FailBadInput(error);
  std::vector<std::string> hostArgs = farm.hostArgs;
  for (size_t i = 0; i + 1 < hostArgs.size(); ++i)
    if (hostArgs[i] == "--plugins") hostArgs[i + 1] = fs::absolute(hostArgs[i + 1], ec).string();

  fs::path folder = FarmFolder(request.output);
  bool newFolder = !fs::exists(folder, ec);
  fs::create_directories(folder / "logs", ec);
  if (ec) return Fail("cannot make " + (folder / "logs").string() + ": " + ec.message());
  std::vector<Frozen> frozen;
  if (!FreezeInputs(request.texture, folder, &frozen, &error)) return Fail(error);
  std::vector<std::string> render = RenderTaskArguments(request);
  if (!farm.overwrite && !SameRenderAsBefore(folder / "job.json", render, frozen))
    return FailBadInput(folder.parent_path().string() + " holds pictures of another render (its scene or settings in " +
                        folder.string() + " differ): give --overwrite to render them again, or another output folder");

  for (const Frozen& f : frozen)
    if (!WriteFileWhole(f.copy.string(), f.bytes, 0644, &error)) return Fail(error);
  // The fingerprint of the render as the tasks will run it, from the copies.
  std::string fingerprint;
  if (!FingerprintRender(request, &fingerprint, &error)) return Fail(error);

  std::string plughost = farm.plughost;
  if (plughost.empty()) plughost = fs::read_symlink("/proc/self/exe", ec).string();
  std::vector<std::string> task = {plughost};
  task.insert(task.end(), hostArgs.begin(), hostArgs.end());
  task.push_back("render");
  task.insert(task.end(), render.begin(), render.end());
  if (farm.overwrite) task.push_back("--overwrite");
  std::string frames = request.frames.empty() ? std::to_string(plan.frames[0]) : request.frames;
  std::vector<std::string> check = {plughost, "farm", "check", "-o", request.output, "--frames", frames};
  check.insert(check.end(), {"--width", std::to_string(request.width), "--height", std::to_string(request.height)});
  if (farm.tiles > 0) check.insert(check.end(), {"--tiles", std::to_string(farm.tiles)});
  if (!request.compression.empty()) check.insert(check.end(), {"--compression", request.compression});
  // The check counts only the pictures of this render: not those a render
  // with other settings left, even once the farm folder is gone.
  check.insert(check.end(), {"--fingerprint", fingerprint});
  nlohmann::json job = {{"render", render}, {"pieces", pieces}, {"tiles", farm.tiles > 0}};
  if (!WriteFarmFolder(folder, task, check, job, farm, pieces, &error)) return Fail(error);
  std::string manifest = FarmManifest(request.output);
  fs::remove(manifest, ec);

  std::string name = "plughost-" + FarmStem(request.output), arrayId, checkId;
  std::vector<std::string> arrayArgs = {"--job-name=" + name, "--array=1-" + std::to_string(pieces),
                                        farm.retries > 0 ? "--requeue" : "--no-requeue", "--open-mode=append",
                                        "--output=" + SlurmFilePattern((folder / "logs").string()) + "/task-%a.log"};
  arrayArgs.insert(arrayArgs.end(), farm.sbatch.begin(), farm.sbatch.end());
  arrayArgs.push_back((folder / "task.sh").string());
  if (!SubmitBatchJob(arrayArgs, &arrayId, &error)) {
    // Nothing was submitted: a folder made for this render goes with it.
    if (newFolder) fs::remove_all(folder, ec);
    return Fail(error);
  }
  std::vector<std::string> checkArgs = {"--job-name=" + name + "-check", "--dependency=afterany:" + arrayId,
                                        "--output=" + SlurmFilePattern((folder / "check.log").string())};
  checkArgs.insert(checkArgs.end(), farm.sbatch.begin(), farm.sbatch.end());
  checkArgs.push_back((folder / "check.sh").string());
  if (!SubmitBatchJob(checkArgs, &checkId, &error)) {
    std::string out, err;
    RunProgram({"scancel", arrayId}, &out, &err);
    return Fail(error + " (render job " + arrayId + " cancelled)");
  }
  std::printf("render job %s (%d %s), check job %s\n  pictures: %s\n  manifest: %s\n  logs: %s\n", arrayId.c_str(),
              pieces, farm.tiles > 0 ? "tiles" : "chunks", checkId.c_str(), request.output.c_str(), manifest.c_str(),
              folder.c_str());
  std::fflush(stdout);
  if (!farm.wait) return 0;
  if (!FollowJobs(arrayId, checkId, pieces, manifest, (folder / "check.log").string(), farm.poll, &error))
    return Fail(error);
  std::printf("complete; manifest %s\n", manifest.c_str());
  return 0;
}

}  // namespace plughost
