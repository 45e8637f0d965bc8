#include "farm/slurm_farm.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "common/digest.h"
#include "common/failure.h"
#include "common/value_readers.h"
#include "farm/farm_files.h"
#include "farm/slurm_jobs.h"
#include "geometry/model_import.h"

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
  std::string* arg;  // null for a file that an input names (a glTF's buffers)
  std::string source;
  fs::path copy;
  uint64_t most = 0;  // bytes read at most; 0: ReadFarmFile's own limit
  std::string bytes;  // the input's bytes now
  // Digests of those and of the copy an earlier submission left (empty:
  // none), compared rather than a second copy of a model's bytes.
  std::string digest, old;
};

Frozen Freeze(std::string* arg, const std::string& source, const fs::path& copy, uint64_t most = 0) {
  Frozen f;
  f.arg = arg;
  f.source = source;
  f.copy = copy;
  f.most = most;
  return f;
}

// The texture's scene and sub-map picture.
void FreezeTexture(TextureSource& texture, const fs::path& folder, std::vector<Frozen>* frozen) {
  if (!texture.sceneFile.empty())
    frozen->push_back(Freeze(&texture.sceneFile, texture.sceneFile, folder / "scene.json"));
  if (!texture.map.empty() && texture.map != "checker")
    frozen->push_back(Freeze(&texture.map, texture.map, folder / "map.png"));
}

// A glTF file names its buffers and images by URI; the farm copies those
// beside it. Each must be a relative path that stays in the model's folder.
bool GltfFiles(const std::string& gltf, const std::string& bytes, std::vector<std::string>* files, std::string* error) {
  nlohmann::json doc = nlohmann::json::parse(bytes, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return *error = gltf + ": not a glTF document", false;
  for (const char* kind : {"buffers", "images"}) {
    auto list = doc.find(kind);
    if (list == doc.end() || !list->is_array()) continue;
    for (const nlohmann::json& item : *list) {
      if (!item.is_object() || !item.contains("uri") || !item["uri"].is_string()) continue;
      std::string uri = item["uri"].get<std::string>();
      if (uri.rfind("data:", 0) == 0) continue;
      fs::path path(uri);
      bool inside = !uri.empty() && path.is_relative() && uri.find('%') == std::string::npos;
      for (const fs::path& part : path) inside = inside && part != "..";
      if (!inside) {
        *error = gltf + " names '" + uri + "', which the farm cannot copy beside it: give a .glb";
        return false;
      }
      files->push_back(uri);
    }
  }
  return true;
}

// A model (given by an absolute path) and what a .gltf names beside it,
// under the model's own name in the farm folder's model/.
bool FreezeModel(std::string* model, const fs::path& folder, std::vector<Frozen>* frozen, std::string* error) {
  const fs::path models = folder / "model";
  const std::string file = *model;
  ImportBudget budget;
  frozen->push_back(Freeze(model, file, models / fs::path(file).filename(), budget.maxFileBytes));
  if (LowerCaseExtension(file) != ".gltf") return true;
  std::string bytes;
  std::vector<std::string> named;
  if (!ReadFarmFile(file, &bytes, error, budget.maxFileBytes) || !GltfFiles(file, bytes, &named, error)) return false;
  for (const std::string& uri : named)
    frozen->push_back(
        Freeze(nullptr, (fs::path(file).parent_path() / uri).string(), models / uri, budget.maxFileBytes));
  return true;
}

// A folder that holds another render's pictures would hand them out as this
// one's: the job file and the frozen inputs must be the same.
bool SameRenderAsBefore(const fs::path& jobFile, const std::string& verb, const std::vector<std::string>& render,
                        const std::vector<Frozen>& frozen) {
  std::string oldJob, unread;
  if (!ReadFarmFile(jobFile, &oldJob, &unread)) return true;  // a new folder
  bool same = false;
  try {
    same = nlohmann::json::parse(oldJob).at(verb) == nlohmann::json(render);
  } catch (const std::exception&) {
  }
  for (const Frozen& f : frozen) same = same && f.old == f.digest;
  return same;
}

// The scripts of both jobs and the job file, in the farm folder.
bool WriteFarmFolder(const fs::path& folder, const std::string& taskText, const std::vector<std::string>& check,
                     const nlohmann::json& job, std::string* error) {
  std::string checkText = "#!/bin/sh\n# Checks a farm job and writes its manifest (written by plughost farm).\n";
  checkText += "exec " + ShellLine(check) + "\n";
  return WriteFileWhole((folder / "task.sh").string(), taskText, 0755, error) &&
         WriteFileWhole((folder / "check.sh").string(), checkText, 0755, error) &&
         WriteFileWhole((folder / "job.json").string(), job.dump(2) + "\n", 0644, error);
}

// What a render or a bake hands the shared road below, once its request is
// checked: the inputs to freeze (their `arg` naming fields of the request),
// and how its task and check command lines are made from the request as the
// copies left it.
struct FarmWork {
  std::string output;  // absolute
  std::string verb;    // "render" or "bake": the task's verb, and its key in the job file
  std::vector<Frozen> frozen;
  std::function<std::vector<std::string>()> arguments;
  std::function<bool(std::string* fingerprint, std::string* error)> fingerprint;
  std::function<std::string(const std::vector<std::string>& task)> script;
  std::function<std::vector<std::string>(const std::string& plughost, const std::string& fingerprint)> check;
  nlohmann::json job;  // the job file's other entries
  int pieces = 0;
  std::string noun;  // what the pieces are, for the lines printed
};

int SubmitFarmWork(FarmWork& work, const FarmOptions& farm) {
  std::string error;
  std::error_code ec;
  std::vector<std::string> hostArgs = farm.hostArgs;
  for (size_t i = 0; i + 1 < hostArgs.size(); ++i)
    if (hostArgs[i] == "--plugins") hostArgs[i + 1] = fs::absolute(hostArgs[i + 1], ec).string();

  fs::path folder = FarmFolder(work.output);
  bool newFolder = !fs::exists(folder, ec);
  fs::create_directories(folder / "logs", ec);
  if (ec) return Fail("cannot make " + (folder / "logs").string() + ": " + ec.message());
  for (Frozen& f : work.frozen) {
    if (!ReadFarmFile(f.source, &f.bytes, &error, f.most)) return Fail(error);
    std::string unread;
    f.digest = Sha256Hex(f.bytes);
    if (!fs::exists(f.copy, ec) || !Sha256OfFile(f.copy.string(), &f.old, &unread)) f.old.clear();
    if (f.arg) *f.arg = f.copy.string();
  }
  std::vector<std::string> args = work.arguments();
  if (!farm.overwrite && !SameRenderAsBefore(folder / "job.json", work.verb, args, work.frozen))
    return FailBadInput(folder.parent_path().string() + " holds pictures of another " + work.verb +
                        " (its scene or settings in " + folder.string() +
                        " differ): give --overwrite to make them again, or another output folder");

  for (const Frozen& f : work.frozen) {
    fs::create_directories(f.copy.parent_path(), ec);
    if (!WriteFileWhole(f.copy.string(), f.bytes, 0644, &error)) return Fail(error);
  }
  // The fingerprint of the job as the tasks will run it, from the copies.
  std::string fingerprint;
  if (!work.fingerprint(&fingerprint, &error)) return Fail(error);

  std::string plughost = farm.plughost;
  if (plughost.empty()) plughost = fs::read_symlink("/proc/self/exe", ec).string();
  std::vector<std::string> task = {plughost};
  task.insert(task.end(), hostArgs.begin(), hostArgs.end());
  task.push_back(work.verb);
  task.insert(task.end(), args.begin(), args.end());
  if (farm.overwrite) task.push_back("--overwrite");
  nlohmann::json job = work.job;
  job[work.verb] = args;
  job["pieces"] = work.pieces;
  if (!WriteFarmFolder(folder, work.script(task), work.check(plughost, fingerprint), job, &error)) return Fail(error);
  std::string manifest = FarmManifest(work.output);
  fs::remove(manifest, ec);

  std::string name = "plughost-" + FarmStem(work.output), arrayId, checkId;
  std::vector<std::string> arrayArgs = {"--job-name=" + name, "--array=1-" + std::to_string(work.pieces),
                                        farm.retries > 0 ? "--requeue" : "--no-requeue", "--open-mode=append",
                                        "--output=" + SlurmFilePattern((folder / "logs").string()) + "/task-%a.log"};
  arrayArgs.insert(arrayArgs.end(), farm.sbatch.begin(), farm.sbatch.end());
  arrayArgs.push_back((folder / "task.sh").string());
  if (!SubmitBatchJob(arrayArgs, &arrayId, &error)) {
    // Nothing was submitted: a folder made for this job goes with it.
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
    return Fail(error + " (" + work.verb + " job " + arrayId + " cancelled)");
  }
  std::printf("%s job %s (%d %s), check job %s\n  pictures: %s\n  manifest: %s\n  logs: %s\n", work.verb.c_str(),
              arrayId.c_str(), work.pieces, work.noun.c_str(), checkId.c_str(), work.output.c_str(), manifest.c_str(),
              folder.c_str());
  std::fflush(stdout);
  if (!farm.wait) return 0;
  if (!FollowJobs(work.verb, arrayId, checkId, work.pieces, manifest, (folder / "check.log").string(), farm.poll,
                  &error))
    return Fail(error);
  std::printf("complete; manifest %s\n", manifest.c_str());
  return 0;
}

bool CheckFarmOptions(const FarmOptions& farm, std::string* error) {
  if (farm.retries < 0) return *error = "--retries must be 0 or more", false;
  if (!(farm.poll > 0) || farm.poll > kMaxWaitSeconds)
    return *error = "--poll must be a number of seconds above 0, at most a day", false;
  return true;
}

}  // namespace

int FarmSlurmCommand(const RenderRequest& original, const FarmOptions& farm) {
  std::string error;
  if (!CheckFarmOptions(farm, &error)) return FailBadInput(error);

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

  FarmWork work;
  work.output = request.output;
  work.verb = "render";
  // A model is read here first, as the tasks will (a bad one costs no farm
  // time), and frozen as the scene is: edits after submission change nothing.
  if (!request.mesh.empty()) {
    Model model;
    if (!ImportModel(request.mesh, ImportBudget{}, &model, &error))
      return ImportFailedWhileRunning(error) ? Fail(error) : FailBadInput(error);
    request.mesh = fs::absolute(request.mesh, ec).lexically_normal().string();
    if (!FreezeModel(&request.mesh, FarmFolder(request.output), &work.frozen, &error)) return FailBadInput(error);
  }
  FreezeTexture(request.texture, FarmFolder(request.output), &work.frozen);
  work.arguments = [&] { return RenderTaskArguments(request); };
  work.fingerprint = [&](std::string* fingerprint, std::string* why) {
    return FingerprintRender(request, fingerprint, why);
  };
  work.script = [&](const std::vector<std::string>& task) {
    return TaskScript(task, farm.tiles > 0 ? "--tile" : "--chunk", pieces, farm.retries);
  };
  work.check = [&](const std::string& plughost, const std::string& fingerprint) {
    std::string frames = request.frames.empty() ? std::to_string(plan.frames[0]) : request.frames;
    std::vector<std::string> check = {plughost, "farm", "check", "-o", request.output, "--frames", frames};
    check.insert(check.end(), {"--width", std::to_string(request.width), "--height", std::to_string(request.height)});
    if (farm.tiles > 0) check.insert(check.end(), {"--tiles", std::to_string(farm.tiles)});
    if (!request.compression.empty()) check.insert(check.end(), {"--compression", request.compression});
    // The check counts only the pictures of this render: not those a render
    // with other settings left, even once the farm folder is gone.
    check.insert(check.end(), {"--fingerprint", fingerprint});
    return check;
  };
  work.job = {{"tiles", farm.tiles > 0}};
  work.pieces = pieces;
  work.noun = farm.tiles > 0 ? "tiles" : "chunks";
  return SubmitFarmWork(work, farm);
}

int FarmBakeCommand(const BakeRequest& original, const FarmOptions& farm) {
  std::string error;
  if (!CheckFarmOptions(farm, &error)) return FailBadInput(error);
  if (farm.tiles < 0) return FailBadInput("--tiles must be 1 or more");
  const int tiles = farm.tiles > 0 ? farm.tiles : 1;

  // The bake as its tasks will run it, checked here first, piece 1 of each
  // UDIM tile standing for all of them.
  BakeRequest request = original;
  std::error_code ec;
  request.output = fs::absolute(request.output, ec).lexically_normal().string();
  request.model = fs::absolute(request.model, ec).lexically_normal().string();
  BakeRequest first = request;
  first.tile = "1/" + std::to_string(tiles);
  first.udim = 0;
  first.quiet = true;
  const fs::path pictures = fs::path(request.output).parent_path();
  const bool newPictures = !fs::exists(pictures, ec);
  fs::create_directories(pictures, ec);
  Model model;
  BakePlan plan;
  if (int status = PlanBake(first, &model, &plan, &error)) {
    if (newPictures) fs::remove(pictures, ec);  // made for this bake, and still empty
    return status == kExitBadInput ? FailBadInput(error) : Fail(error);
  }
  const std::vector<int> udims = plan.udims;
  if (udims.size() * static_cast<size_t>(tiles) > kMaxFarmTasks)
    return FailBadInput(std::to_string(udims.size()) + " UDIM tiles x " + std::to_string(tiles) +
                        " tiles is more than the " + std::to_string(kMaxFarmTasks) + " tasks of a farm job");
  OpenedTexture texture;
  if (!OpenTexture(request.source.texture, &texture, &error)) return FailBadInput(error);

  FarmWork work;
  work.output = request.output;
  work.verb = "bake";
  fs::path folder = FarmFolder(request.output);
  if (!FreezeModel(&request.model, folder, &work.frozen, &error)) return FailBadInput(error);
  FreezeTexture(request.source.texture, folder, &work.frozen);
  work.arguments = [&] { return BakeTaskArguments(request); };
  work.fingerprint = [&](std::string* fingerprint, std::string* why) {
    return FingerprintBake(request, fingerprint, why);
  };
  work.script = [&](const std::vector<std::string>& task) { return BakeTaskScript(task, udims, tiles, farm.retries); };
  work.check = [&](const std::string& plughost, const std::string& fingerprint) {
    std::string list;
    for (int udim : udims) list += (list.empty() ? "" : ",") + std::to_string(udim);
    std::vector<std::string> check = {plughost, "farm", "check", "-o", request.output, "--udim", list};
    check.insert(check.end(), {"--width", std::to_string(plan.layout.width), "--height",
                               std::to_string(plan.layout.height), "--tiles", std::to_string(tiles)});
    if (!request.compression.empty()) check.insert(check.end(), {"--compression", request.compression});
    check.insert(check.end(), {"--fingerprint", fingerprint});
    return check;
  };
  work.job = {{"udims", udims}, {"tiles", tiles}};
  work.pieces = static_cast<int>(udims.size()) * tiles;
  work.noun = "pieces: " + std::to_string(udims.size()) + " UDIM tile(s) x " + std::to_string(tiles) + " tile(s)";
  return SubmitFarmWork(work, farm);
}

}  // namespace plughost
