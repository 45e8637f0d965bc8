#include "farm/slurm_jobs.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "common/failure.h"
#include "common/text.h"
#include "farm/farm_files.h"

extern char** environ;

namespace fs = std::filesystem;

namespace plughost {

namespace {

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string ShellLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) line += (line.empty() ? "" : " ") + ShellQuote(a);
  return line;
}

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
std::string SlurmFilePattern(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

bool SubmitBatchJob(std::vector<std::string> args, std::string* id, std::string* error) {
  args.insert(args.begin(), {"sbatch", "--parsable"});
  std::string out, err;
  int rc = RunProgram(args, &out, &err);
  *id = Trim(out.substr(0, out.find(';')));
  if (rc != 0 || id->empty() || id->find_first_not_of("0123456789") != std::string::npos) {
    // One line, as every failure is: sbatch's lines joined.
    std::string why, line, said = Trim(err.empty() ? out : err);
    for (size_t at = 0; at <= said.size();) {
      size_t end = std::min(said.find('\n', at), said.size());
      if (!(line = Trim(said.substr(at, end - at))).empty()) why += (why.empty() ? "" : "; ") + line;
      at = end + 1;
    }
    *error = "sbatch failed: " + (why.empty() ? "exit status " + std::to_string(rc) : why);
    return false;
  }
  return true;
}

namespace {

const char* const kTaskScriptHead =
    "#!/bin/sh\n"
    "# One piece of a render or bake, as a task of a Slurm job array (written by plughost farm).\n"
    "# Pictures already complete are kept; a task that failed while running asks Slurm to run it again.\n"
    "threads=${SLURM_CPUS_PER_TASK:-${SLURM_CPUS_ON_NODE:-0}}\n";

// After the task's command: its status, and a requeue where another try may help.
std::string TaskScriptTail(int retries) {
  std::string s = "status=$?\n";
  if (retries > 0) {
    std::string r = std::to_string(retries);
    // Bad input fails the same way every time: only a failure while
    // running (or a crash) is worth another try.
    std::string bad = std::to_string(kExitBadInput);
    s += "tries=${SLURM_RESTART_COUNT:-0}\n"
         "if [ \"$status\" -eq " +
         bad +
         " ]; then\n"
         "  echo \"plughost farm: task $SLURM_ARRAY_TASK_ID failed on bad input (exit $status); not requeued\" >&2\n"
         "elif [ \"$status\" -ne 0 ] && [ \"$tries\" -lt " +
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

}  // namespace

std::string TaskScript(const std::vector<std::string>& render, const std::string& piece, int pieces, int retries) {
  std::string s = kTaskScriptHead;
  s += ShellLine(render) + " " + piece + " \"$SLURM_ARRAY_TASK_ID/" + std::to_string(pieces) +
       "\" --threads \"$threads\" --progress lines\n";
  return s + TaskScriptTail(retries);
}

std::string BakeTaskScript(const std::vector<std::string>& bake, const std::vector<int>& udims, int tiles,
                           int retries) {
  std::string s = kTaskScriptHead, n = std::to_string(tiles);
  s += "set --";
  for (int udim : udims) s += " " + std::to_string(udim);
  s += "\ni=$((SLURM_ARRAY_TASK_ID - 1))\nshift $((i / " + n + "))\n";
  s += ShellLine(bake) + " --udim \"$1\" --tile \"$((i % " + n + " + 1))/" + n + "\" --threads \"$threads\"\n";
  return s + TaskScriptTail(retries);
}

namespace {

// Job states that end a job (squeue's long names).
bool Ended(const std::string& state) {
  return !state.empty() && state != "PENDING" && state != "RUNNING" && state != "CONFIGURING" &&
         state != "COMPLETING" && state != "REQUEUED" && state != "REQUEUE_FED" && state != "REQUEUE_HOLD" &&
         state != "RESIZING" && state != "SUSPENDED" && state != "STOPPED" && state != "SIGNALING" &&
         state != "STAGE_OUT" && state != "RESV_DEL_HOLD";
}

}  // namespace

bool FollowJobs(const std::string& verb, const std::string& array, const std::string& check, int tasks,
                const std::string& manifest, const std::string& checkLog, double pollSeconds, std::string* error) {
  bool tty = isatty(2);
  std::string last, checkState;
  int misses = 0;
  for (;;) {
    std::string out, err;
    int rc = RunProgram(
        {"squeue", "--noheader", "--array", "--states=all", "--jobs=" + array + "," + check, "--format=%i %T"}, &out,
        &err);
    if (rc != 0) {
      if (++misses == 30) return *error = "lost Slurm: " + Trim(err), false;
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
      std::string line = verb + " job " + array + ": " + std::to_string(count["done"]) + " of " +
                         std::to_string(tasks) + " tasks done, " + std::to_string(count["running"]) + " running, " +
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
  if ((checkState.empty() || checkState == "COMPLETED") && fs::exists(manifest, ec)) return true;
  std::string log, unread;
  ReadFarmFile(checkLog, &log, &unread);
  *error = "the " + verb + " is not complete (check job " + check + " " +
           (checkState.empty() ? std::string("ended") : checkState) + "):\n" + Trim(log);
  return false;
}

}  // namespace plughost
