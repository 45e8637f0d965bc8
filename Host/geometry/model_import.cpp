#include "model_import.h"

#include <fcntl.h>
#include <hostside/file_io.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "model_wire.h"

extern char** environ;

namespace fs = std::filesystem;

namespace plughost {

namespace {

using Clock = std::chrono::steady_clock;

// The helper's standard output, read until a deadline.
class PipeSource : public ByteSource {
 public:
  PipeSource(int fd, Clock::time_point deadline) : fd_(fd), deadline_(deadline) {}
  bool Read(void* dst, size_t n, std::string* error) override {
    char* p = static_cast<char*>(dst);
    while (n > 0) {
      ssize_t got = Next(p, n);
      if (got <= 0) {
        *error = got == 0    ? "the importer stopped before it handed back the whole model"
                 : timedOut_ ? "the import did not finish in time"
                             : std::string("reading the importer's answer failed: ") + std::strerror(readError_);
        return false;
      }
      p += got;
      n -= static_cast<size_t>(got);
    }
    return true;
  }
  bool More() override {
    char c;
    return Next(&c, 1) != 0;
  }
  bool TimedOut() const { return timedOut_; }

 private:
  // Bytes read; 0 at the end; -1 when the deadline passed or reading failed.
  ssize_t Next(char* p, size_t n) {
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
      if (left <= 0) {
        timedOut_ = true;
        return -1;
      }
      pollfd fd{fd_, POLLIN, 0};
      int ready = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        readError_ = errno;
        return -1;
      }
      if (ready == 0) continue;  // the deadline is checked above
      ssize_t got = ::read(fd_, p, n);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) readError_ = errno;
      return got;
    }
  }

  int fd_;
  Clock::time_point deadline_;
  bool timedOut_ = false;
  int readError_ = 0;
};

fs::path HelperBesideProgram() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path("plughost-import") : self.parent_path() / "plughost-import";
}

constexpr const char* kTimedOut = "the import did not finish within ";
constexpr const char* kCrashed = "the importer crashed reading it (";

// How the helper ended, where that says more than what was read.
std::string EndOfHelper(int status, const PipeSource& source, const ImportBudget& budget) {
  if (source.TimedOut() || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU))
    return kTimedOut + std::to_string(budget.seconds) + " seconds";
  if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
    const char* name = ::sigdescr_np(WTERMSIG(status));
    return kCrashed + (name ? std::string(name) : "signal " + std::to_string(WTERMSIG(status))) + ")";
  }
  return {};
}

}  // namespace

std::string LowerCaseExtension(const fs::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

bool IsModelFileName(const fs::path& file) {
  std::string ext = LowerCaseExtension(file);
  for (const char* known : {".obj", ".gltf", ".glb", ".fbx", ".ply", ".stl"})
    if (ext == known) return true;
  return false;
}

bool ImportModel(const fs::path& file, const ImportBudget& budget, Model* model, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = file.string() + ": " + why;
    return false;
  };
  if (!IsModelFileName(file)) return fail("not a model file the host reads (.obj, .gltf, .glb, .fbx, .ply, .stl)");
  // The helper reads it through the host layer's regular-file reader, with
  // the same limit; judged here first so that no helper starts in vain.
  HostFileIdentity identity;
  std::string why;
  if (!HostIdentifyRegularFile(file, &identity, &why)) return fail(why);
  if (identity.size > budget.maxFileBytes)
    return fail("it is " + std::to_string(identity.size) + " bytes, more than the limit of " +
                std::to_string(budget.maxFileBytes));
  if (budget.seconds <= 0) return fail("the import has no time to run");

  fs::path helper = budget.helper.empty() ? HelperBesideProgram() : budget.helper;
  // Absolute, so that no file name can pass for one of the helper's options.
  std::error_code ec;
  fs::path absolute = fs::absolute(file, ec);
  if (ec) return fail("cannot read it: " + ec.message());
  std::vector<std::string> args = {helper.string(),
                                   "--max-file-bytes=" + std::to_string(budget.maxFileBytes),
                                   "--max-triangles=" + std::to_string(budget.maxTriangles),
                                   "--max-meshes=" + std::to_string(budget.maxMeshes),
                                   "--memory=" + std::to_string(budget.importerMemory),
                                   "--seconds=" + std::to_string(budget.seconds),
                                   absolute.string()};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return fail(std::string("cannot start the importer: ") + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGXCPU, SIGTERM, SIGINT}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int spawned = ::posix_spawn(&pid, helper.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    return fail("cannot start the importer " + helper.string() + ": " + std::strerror(spawned));
  }

  PipeSource source(out[0], Clock::now() + std::chrono::seconds(budget.seconds));
  Model m;
  bool ok = DecodeModel(source, budget, &m, &why);
  // Whatever it is doing, it is not needed any more; it has not been waited
  // for, so its process id cannot have gone to another process.
  if (!ok) ::kill(pid, SIGKILL);
  ::close(out[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::string ended = EndOfHelper(status, source, budget);
  if (!ok) return fail(ended.empty() ? why : ended);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return fail(ended.empty() ? "the importer failed after handing back the model" : ended);
  m.file = file.string();
  *model = std::move(m);
  return true;
}

bool ImportFailedWhileRunning(const std::string& error) {
  return error.find(kTimedOut) != std::string::npos || error.find(kCrashed) != std::string::npos;
}

}  // namespace plughost
