// plughost farm slurm: freezes a render's inputs, submits it, and follows it.
#include "farm/slurm_farm.h"

#include <fcntl.h>
#include <hostside/file_io.h>
#include <hostside/png_image.h>
#include <hostside/scene_file.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "scene/param_path.h"

extern char** environ;

namespace fs = std::filesystem;

namespace plughost {

namespace {

// What the farm reads whole: the scenes and pictures it freezes, its own job
// and logs. Regular files only, no larger than the host reads of either kind.
bool ReadWhole(const fs::path& file, std::string* bytes, std::string* error) {
  std::string why;
  if (!HostReadRegularFile(file, std::max(kSceneMaxFileBytes, kMaxPngFileBytes), bytes, &why))
    return *error = "cannot read " + file.string() + ": " + why, false;
  return true;
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ShellLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) line += (line.empty() ? "" : " ") + ShellQuote(a);
  return line;
}

// Runs a program found on PATH and collects what it prints; its exit status,
// or -1 when it could not be started.
int RunProgram(const std::vector<std::string>& args, std::string* out, std::string* err) {
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return -1;
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open = rc == 0 ? 2 : 0;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      char buf[4096];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  close(outPipe[0]);
  close(errPipe[0]);
  if (rc != 0) {
    *err = args[0] + ": " + std::strerror(rc);
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// sbatch --parsable prints "ID" or "ID;CLUSTER".
bool Submit(std::vector<std::string> args, std::string* id, std::string* error) {
  args.insert(args.begin(), {"sbatch", "--parsable"});
  std::string out, err;
  int rc = RunProgram(args, &out, &err);
  *id = Trim(out.substr(0, out.find(';')));
  if (rc != 0 || id->empty() || id->find_first_not_of("0123456789") != std::string::npos) {
    *error = "sbatch failed: " + Trim(err.empty() ? out : err);
    return false;
  }
  return true;
}

// The render command line a task runs, without the program and the piece.
std::vector<std::string> RenderArgs(const TextureSource& src, const RenderOptions& opts) {
  std::vector<std::string> a;
  if (!src.sceneFile.empty())
    a.push_back(src.sceneFile);
  else
    a.insert(a.end(), {"--class", src.className});
  for (const std::string& s : src.sets) a.insert(a.end(), {"--set", s});
  for (const std::string& k : src.keys) a.insert(a.end(), {"--key", k});
  if (!src.map.empty()) a.insert(a.end(), {"--map", src.map});
  a.insert(a.end(), {"--view", opts.view, "--channel", opts.channel, "--width", std::to_string(opts.width), "--height",
                     std::to_string(opts.height)});
  if (!opts.frames.empty()) a.insert(a.end(), {"--frames", opts.frames});
  if (!opts.time.empty()) a.insert(a.end(), {"--time", opts.time});
  a.insert(a.end(), {"-o", opts.output});
  return a;
}

// The render's frames as --frames takes them (a still: its one frame), and
// how many.
bool FramesText(const RenderOptions& opts, std::string* frames, size_t* count, std::string* error) {
  std::vector<int> list;
  if (!opts.frames.empty()) {
    if (!ParseFrameList(opts.frames, &list, error)) return false;
    *frames = opts.frames;
    *count = list.size();
    return true;
  }
  TimeValue t = 0;
  if (!opts.time.empty() && !ParseTime(opts.time, &t, error)) return *error = "--time " + *error, false;
  *frames = std::to_string(t / GetTicksPerFrame());
  *count = 1;
  return true;
}

std::string TaskScript(const std::vector<std::string>& render, const std::string& piece, int pieces, int retries) {
  std::string s =
      "#!/bin/sh\n"
      "# One piece of a render, as a task of a Slurm job array (written by plughost farm slurm).\n"
      "# Pictures already complete are kept; a failed task asks Slurm to run it again.\n"
      "threads=${SLURM_CPUS_PER_TASK:-${SLURM_CPUS_ON_NODE:-0}}\n";
  s += ShellLine(render) + " " + piece + " \"$SLURM_ARRAY_TASK_ID/" + std::to_string(pieces) +
       "\" --threads \"$threads\" --quiet\n";
  s += "status=$?\n";
  if (retries > 0) {
    std::string r = std::to_string(retries);
    s += "tries=${SLURM_RESTART_COUNT:-0}\n"
         "if [ \"$status\" -ne 0 ] && [ \"$tries\" -lt " +
         r +
         " ]; then\n"
         "  echo \"plughost farm: task $SLURM_ARRAY_TASK_ID failed (exit $status); requeued for retry $((tries + 1)) "
         "of " +
         r +
         "\" >&2\n"
         "  scontrol requeue \"${SLURM_ARRAY_JOB_ID}_${SLURM_ARRAY_TASK_ID}\"\n"
         "fi\n";
  }
  return s + "exit \"$status\"\n";
}

// Job states that end a job (squeue's long names).
bool Ended(const std::string& state) {
  return !state.empty() && state != "PENDING" && state != "RUNNING" && state != "CONFIGURING" &&
         state != "COMPLETING" && state != "REQUEUED" && state != "REQUEUE_FED" && state != "REQUEUE_HOLD" &&
         state != "RESIZING" && state != "SUSPENDED" && state != "STOPPED" && state != "SIGNALING" &&
         state != "STAGE_OUT" && state != "RESV_DEL_HOLD";
}

// Follows the two jobs until the check job ends; its outcome.
int Follow(const std::string& array, const std::string& check, int tasks, const std::string& manifest,
           const std::string& checkLog, double pollSeconds) {
  bool tty = isatty(2);
  std::string last, checkState;
  int misses = 0;
  for (;;) {
    std::string out, err;
    int rc = RunProgram(
        {"squeue", "--noheader", "--array", "--states=all", "--jobs=" + array + "," + check, "--format=%i %T"}, &out,
        &err);
    if (rc != 0) {
      if (++misses == 30) return Fail("lost Slurm: " + Trim(err));
    } else {
      misses = 0;
      std::map<std::string, int> count;
      checkState.clear();
      std::istringstream lines(out);
      std::string id, state;
      while (lines >> id >> state) {
        if (id == check)
          checkState = state;
        else if (id.rfind(array + "_", 0) == 0)
          ++count[state == "COMPLETED" ? "done" : Ended(state) ? "failed" : state == "RUNNING" ? "running" : "waiting"];
      }
      std::string line = "render job " + array + ": " + std::to_string(count["done"]) + " of " + std::to_string(tasks) +
                         " tasks done, " + std::to_string(count["running"]) + " running, " +
                         std::to_string(count["waiting"]) + " waiting, " + std::to_string(count["failed"]) +
                         " failed; check job " + check + ": " + (checkState.empty() ? std::string("gone") : checkState);
      if (line != last) {
        std::fprintf(stderr, tty ? "\r%s\033[K" : "%s\n", line.c_str());
        last = line;
      }
      // A job Slurm no longer lists has ended; the manifest tells how.
      if (checkState.empty() || Ended(checkState)) break;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(pollSeconds));
  }
  if (tty) std::fprintf(stderr, "\n");
  std::error_code ec;
  if ((checkState.empty() || checkState == "COMPLETED") && fs::exists(manifest, ec)) {
    std::printf("complete; manifest %s\n", manifest.c_str());
    return 0;
  }
  std::string log;
  std::string error;
  ReadWhole(checkLog, &log, &error);
  return Fail("the render is not complete (check job " + check + " " +
              (checkState.empty() ? std::string("ended") : checkState) + "):\n" + Trim(log));
}

}  // namespace

bool WriteFileWhole(const std::string& path, const std::string& bytes, unsigned mode, std::string* error) {
  // The host's atomic writer, with the command line's message.
  std::string why;
  if (HostWriteFileAtomically(path, bytes, &why, mode)) return true;
  *error = "cannot write " + path + ": " + why;
  return false;
}

int FarmSlurmCommand(const TextureSource& srcIn, const RenderOptions& optsIn, const FarmOptions& farm) {
  std::string error;
  TextureSource src = srcIn;
  RenderOptions opts = optsIn;
  if (farm.retries < 0) return Fail("--retries must be 0 or more");
  if (!(farm.poll > 0)) return Fail("--poll must be a number of seconds above 0");
  std::string frames;
  size_t frameCount = 0;
  if (!FramesText(opts, &frames, &frameCount, &error)) return Fail(error);
  int pieces = 0;
  if (farm.tiles > 0) {
    if (farm.chunks > 0) return Fail("give --chunks for a sequence or --tiles for a still, not both");
    if (frameCount != 1) return Fail("--tiles renders one picture: give --time or a single frame");
    pieces = farm.tiles;
  } else {
    pieces = farm.chunks > 0 ? farm.chunks : static_cast<int>(std::min<size_t>(frameCount, kMaxFarmTasks));
    if (static_cast<size_t>(pieces) > frameCount)
      return Fail("--chunks " + std::to_string(pieces) + " is more than the " + std::to_string(frameCount) +
                  " frame(s)");
  }
  if (farm.tiles < 0 || farm.chunks < 0 || pieces > kMaxFarmTasks)
    return Fail("a farm render has 1 to " + std::to_string(kMaxFarmTasks) + " tasks");

  // The render as the tasks will run it, checked here first: a mistake costs
  // no farm time. Everything the tasks read is named by an absolute path.
  std::error_code ec;
  opts.output = fs::absolute(opts.output, ec).lexically_normal().string();
  fs::create_directories(fs::path(opts.output).parent_path(), ec);
  RenderOptions check = opts;
  check.dryRun = true;
  if (RenderCommand(src, check) != 0) return 1;
  std::vector<std::string> hostArgs = farm.hostArgs;
  for (size_t i = 0; i + 1 < hostArgs.size(); ++i)
    if (hostArgs[i] == "--plugins") hostArgs[i + 1] = fs::absolute(hostArgs[i + 1], ec).string();

  // The inputs, frozen: the tasks read copies of their own.
  fs::path folder = FarmFolder(opts.output);
  fs::create_directories(folder / "logs", ec);
  if (ec) return Fail("cannot make " + (folder / "logs").string() + ": " + ec.message());
  struct Frozen {
    std::string* arg;
    fs::path copy;
    std::string bytes, old;
  };
  std::vector<Frozen> frozen;
  if (!src.sceneFile.empty()) frozen.push_back({&src.sceneFile, folder / "scene.json", "", ""});
  if (!src.map.empty() && src.map != "checker") frozen.push_back({&src.map, folder / "map.png", "", ""});
  for (Frozen& f : frozen) {
    if (!ReadWhole(*f.arg, &f.bytes, &error)) return Fail(error);
    if (!ReadWhole(f.copy, &f.old, &error)) f.old.clear();
    *f.arg = f.copy.string();
  }
  std::vector<std::string> render = RenderArgs(src, opts);

  // A folder that holds another render's pictures would hand them out as
  // this one's.
  fs::path jobFile = folder / "job.json";
  std::string oldJob;
  if (ReadWhole(jobFile, &oldJob, &error) && !farm.overwrite) {
    bool same = false;
    try {
      same = nlohmann::json::parse(oldJob).at("render") == nlohmann::json(render);
    } catch (const std::exception&) {
    }
    for (const Frozen& f : frozen) same = same && f.old == f.bytes;
    if (!same)
      return Fail(folder.parent_path().string() + " holds pictures of another render (its scene or settings in " +
                  folder.string() + " differ): give --overwrite to render them again, or another output folder");
  }

  std::string plughost = farm.plughost;
  if (plughost.empty()) plughost = fs::read_symlink("/proc/self/exe", ec).string();
  std::vector<std::string> task = {plughost};
  task.insert(task.end(), hostArgs.begin(), hostArgs.end());
  task.push_back("render");
  task.insert(task.end(), render.begin(), render.end());
  if (farm.overwrite) task.push_back("--overwrite");
  std::vector<std::string> checkCmd = {plughost, "farm", "check", "-o", opts.output, "--frames", frames};
  checkCmd.insert(checkCmd.end(), {"--width", std::to_string(opts.width), "--height", std::to_string(opts.height)});
  if (farm.tiles > 0) checkCmd.insert(checkCmd.end(), {"--tiles", std::to_string(farm.tiles)});

  nlohmann::json job = {{"render", render}, {"pieces", pieces}, {"tiles", farm.tiles > 0}};
  fs::path taskScript = folder / "task.sh", checkScript = folder / "check.sh";
  for (const Frozen& f : frozen)
    if (!WriteFileWhole(f.copy.string(), f.bytes, 0644, &error)) return Fail(error);
  std::string checkText =
      "#!/bin/sh\n# Checks a farm render and writes its manifest (written by plughost farm slurm).\n";
  checkText += "exec " + ShellLine(checkCmd) + "\n";
  if (!WriteFileWhole(taskScript.string(),
                      TaskScript(task, farm.tiles > 0 ? "--tile" : "--chunk", pieces, farm.retries), 0755, &error) ||
      !WriteFileWhole(checkScript.string(), checkText, 0755, &error) ||
      !WriteFileWhole(jobFile.string(), job.dump(2) + "\n", 0644, &error))
    return Fail(error);
  std::string manifest = FarmManifest(opts.output);
  fs::remove(manifest, ec);

  std::string name = "plughost-" + FarmStem(opts.output), arrayId, checkId;
  std::vector<std::string> arrayArgs = {"--job-name=" + name, "--array=1-" + std::to_string(pieces),
                                        farm.retries > 0 ? "--requeue" : "--no-requeue", "--open-mode=append",
                                        "--output=" + (folder / "logs" / "task-%a.log").string()};
  arrayArgs.insert(arrayArgs.end(), farm.sbatch.begin(), farm.sbatch.end());
  arrayArgs.push_back(taskScript.string());
  if (!Submit(arrayArgs, &arrayId, &error)) return Fail(error);
  std::vector<std::string> checkArgs = {"--job-name=" + name + "-check", "--dependency=afterany:" + arrayId,
                                        "--output=" + (folder / "check.log").string()};
  checkArgs.insert(checkArgs.end(), farm.sbatch.begin(), farm.sbatch.end());
  checkArgs.push_back(checkScript.string());
  if (!Submit(checkArgs, &checkId, &error)) {
    std::string out, err;
    RunProgram({"scancel", arrayId}, &out, &err);
    return Fail(error + " (render job " + arrayId + " cancelled)");
  }
  std::printf("render job %s (%d %s), check job %s\n  pictures: %s\n  manifest: %s\n  logs: %s\n", arrayId.c_str(),
              pieces, farm.tiles > 0 ? "tiles" : "chunks", checkId.c_str(), opts.output.c_str(), manifest.c_str(),
              folder.c_str());
  std::fflush(stdout);
  if (!farm.wait) return 0;
  return Follow(arrayId, checkId, pieces, manifest, (folder / "check.log").string(), farm.poll);
}

}  // namespace plughost
