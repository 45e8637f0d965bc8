// Whole files between disk and memory: regular files read with a limit,
// atomic saves, locks for read-modify-write (hostside/file_io.h).
#include "hostside/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

namespace fs = std::filesystem;

namespace {

std::atomic<HostSaveFaultHook> g_faultHook{nullptr};

int Injected(HostSaveStep step) {
  HostSaveFaultHook hook = g_faultHook.load();
  return hook ? hook(step) : 0;
}

std::string ErrnoText(int e) { return std::strerror(e); }

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// 0, or the errno of the write that failed.
int WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return errno;
    if (w == 0) return EIO;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}

// What a save to a name meets there.
struct Output {
  enum Kind { kNew, kRegular, kInPlace } kind = kNew;
  fs::path target;  // the file to replace: a link's target
  struct stat old {};
};

bool Classify(const fs::path& file, Output* out, std::string* error) {
  if (file.empty()) return Fail(error, "no file name given");
  out->target = file;
  struct stat st {};
  if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Saving through a link replaces the file it points to, not the link.
    std::error_code ec;
    out->target = fs::weakly_canonical(file, ec);
    if (ec) return Fail(error, ec.message());
  }
  if (::stat(out->target.c_str(), &st) != 0) {
    if (errno != ENOENT) return Fail(error, ErrnoText(errno));
    out->kind = Output::kNew;
    return true;
  }
  if (S_ISREG(st.st_mode)) {
    // A file its owner made read-only is not replaced behind their back.
    if (::access(out->target.c_str(), W_OK) != 0) return Fail(error, ErrnoText(errno));
    out->kind = Output::kRegular;
    out->old = st;
    return true;
  }
  if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
    out->kind = Output::kInPlace;
    out->target = file;
    return true;
  }
  if (S_ISDIR(st.st_mode)) return Fail(error, "it is a folder");
  return Fail(error, "it is " + KindOf(st.st_mode) + ", which is never replaced");
}

bool WriteInPlace(const fs::path& file, std::string_view bytes, std::string* error) {
  // Opening a FIFO for writing waits for a reader; a save does not wait.
  int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Fail(error, errno == ENXIO ? "it is a FIFO that nobody reads" : ErrnoText(errno));
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  int e = WriteAll(fd, bytes.data(), bytes.size());
  if (::close(fd) != 0 && e == 0 && errno != EINTR) e = errno;
  return e == 0 || Fail(error, ErrnoText(e));
}

// ".NAME.tmp-": what every temporary of a file begins with. Long names are
// cut so that the temporary's name stays within the 255 bytes a name may have.
std::string TemporaryPrefix(const fs::path& target) {
  std::string name = target.filename().string();
  if (name.size() > 200) name.resize(200);
  return "." + name + ".tmp-";
}

constexpr std::string_view kSuffixLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kSuffixLength = 6;

bool IsTemporaryOf(std::string_view name, const std::string& prefix) {
  if (name.size() != prefix.size() + kSuffixLength || name.substr(0, prefix.size()) != prefix) return false;
  return name.substr(prefix.size()).find_first_not_of(kSuffixLetters) == std::string_view::npos;
}

// Creates and locks a new temporary; -1 with *err on failure.
int CreateTemporary(const fs::path& dir, const std::string& prefix, std::string* path, int* err) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t bits = (static_cast<uint64_t>(random()) << 32) ^ random();
    std::string suffix;
    for (size_t i = 0; i < kSuffixLength; ++i, bits /= kSuffixLetters.size())
      suffix += kSuffixLetters[bits % kSuffixLetters.size()];
    *path = (dir / (prefix + suffix)).string();
    // 0666: the umask decides, as for any new file.
    int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      *err = errno;
      return -1;
    }
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    // Between the creation and the lock, another save's clean-up may have
    // taken this for a killed save's temporary and removed it.
    struct stat mine {
    }, named{};
    if (::fstat(fd, &mine) == 0 && ::lstat(path->c_str(), &named) == 0 && SameFile(mine, named)) return fd;
    ::close(fd);
  }
  *err = EEXIST;
  return -1;
}

// Flushes the folder's entries (the rename lasts once they are on disk) and
// removes the temporaries of `prefix` that no save holds: a killed save's.
void FinishInFolder(const fs::path& dir, const std::string& prefix) {
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  ::fsync(dfd);
  DIR* d = ::fdopendir(dfd);
  if (!d) {
    ::close(dfd);
    return;
  }
  while (const dirent* ent = ::readdir(d)) {
    if (!IsTemporaryOf(ent->d_name, prefix)) continue;
    int fd = ::openat(::dirfd(d), ent->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(::dirfd(d), ent->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, named))
      ::unlinkat(::dirfd(d), ent->d_name, 0);
    ::close(fd);
  }
  ::closedir(d);
}

}  // namespace

bool HostReadRegularFile(const fs::path& file, uint64_t maxBytes, std::string* bytes, std::string* error) {
  // Judged before opening: opening a device can have effects of its own.
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return Fail(error, ErrnoText(errno));
  if (S_ISDIR(st.st_mode)) return Fail(error, "it is a folder");
  if (!S_ISREG(st.st_mode)) return Fail(error, "it is " + KindOf(st.st_mode) + ", not a regular file");
  int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Fail(error, ErrnoText(errno));
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::close(fd);
    return Fail(error, "it is not a regular file");
  }
  auto tooBig = [&](uint64_t size) {
    ::close(fd);
    return Fail(error, "it is " + std::to_string(size) + " bytes, more than the limit of " + std::to_string(maxBytes));
  };
  if (static_cast<uint64_t>(opened.st_size) > maxBytes) return tooBig(static_cast<uint64_t>(opened.st_size));
  std::string text;
  text.reserve(static_cast<size_t>(opened.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int e = errno;
      ::close(fd);
      return Fail(error, ErrnoText(e));
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (text.size() > maxBytes) return tooBig(text.size());  // it grew while being read
  }
  ::close(fd);
  *bytes = std::move(text);
  return true;
}

bool HostWriteFileAtomically(const fs::path& file, std::string_view bytes, std::string* error,
                             std::optional<unsigned> mode) {
  Output out;
  if (!Classify(file, &out, error)) return false;
  if (out.kind == Output::kInPlace) return WriteInPlace(out.target, bytes, error);

  fs::path dir = out.target.parent_path();
  if (dir.empty()) dir = ".";
  const std::string prefix = TemporaryPrefix(out.target);
  std::string tmp;
  int e = Injected(HostSaveStep::kCreate);
  int fd = e ? -1 : CreateTemporary(dir, prefix, &tmp, &e);
  if (fd < 0) return Fail(error, ErrnoText(e));
  auto abandon = [&](int err) {
    ::unlink(tmp.c_str());
    ::close(fd);
    return Fail(error, ErrnoText(err));
  };
  size_t half = bytes.size() / 2;
  if ((e = WriteAll(fd, bytes.data(), half)) || (e = Injected(HostSaveStep::kWrite)) ||
      (e = WriteAll(fd, bytes.data() + half, bytes.size() - half)))
    return abandon(e);
  if (out.kind == Output::kRegular) {
    // The owner first (root gives the file back to its owner; others keep
    // their own), then the mode, which a change of owner may have cut.
    if (out.old.st_uid != ::geteuid() || out.old.st_gid != ::getegid())
      (void)!::fchown(fd, out.old.st_uid, out.old.st_gid);
    if (!mode) mode = out.old.st_mode & 07777;
  }
  if (mode && ::fchmod(fd, static_cast<mode_t>(*mode & 07777)) != 0) return abandon(errno);
  if ((e = Injected(HostSaveStep::kFlush)) || (::fsync(fd) != 0 && (e = errno))) return abandon(e);
  if ((e = Injected(HostSaveStep::kRename)) || (::rename(tmp.c_str(), out.target.c_str()) != 0 && (e = errno)))
    return abandon(e);
  ::close(fd);  // releases the lock
  FinishInFolder(dir, prefix);
  return true;
}

bool HostCheckOutputFile(const fs::path& file, std::string* error) {
  Output out;
  if (!Classify(file, &out, error)) return false;
  if (out.kind == Output::kInPlace) return true;
  fs::path dir = out.target.parent_path();
  if (dir.empty()) dir = ".";
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(error, "no folder " + dir.string());
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    return Fail(error, "folder " + dir.string() + " is not writable (" + ErrnoText(errno) + ")");
  }
  return true;
}

HostFileLock::~HostFileLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<HostFileLock> HostLockFile(const fs::path& file, std::string* error) {
  for (;;) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return Fail(error, ErrnoText(errno)), nullptr;
    if (!S_ISREG(st.st_mode)) return Fail(error, "it is " + KindOf(st.st_mode) + ", not a regular file"), nullptr;
    int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Fail(error, ErrnoText(errno)), nullptr;
    int r;
    while ((r = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
      int e = errno;
      ::close(fd);
      return Fail(error, ErrnoText(e)), nullptr;
    }
    // The holder before us may have saved: then the name is a new file, and
    // that is the one to lock.
    struct stat locked {
    }, named{};
    if (::fstat(fd, &locked) == 0 && ::stat(file.c_str(), &named) == 0 && SameFile(locked, named))
      return std::make_unique<HostFileLock>(fd);
    ::close(fd);
  }
}

HostSaveFaultHook HostSetSaveFaultHook(HostSaveFaultHook hook) { return g_faultHook.exchange(hook); }
