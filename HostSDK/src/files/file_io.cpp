// Whole files between disk and memory: regular files read with a limit,
// atomic saves, locks for read-modify-write (hostside/file_io.h).
#include "hostside/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

// The file a name leads to through symbolic links: the name itself, or the
// last link's target, which need not exist yet.
bool FollowLinks(const fs::path& file, fs::path* target, std::string* error) {
  fs::path at = file;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0) {
      if (errno != ENOENT) return Fail(error, ErrnoText(errno));
      *target = at;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      *target = at;
      return true;
    }
    std::error_code ec;
    fs::path next = fs::read_symlink(at, ec);
    if (ec) return Fail(error, ec.message());
    at = next.is_absolute() ? next : at.parent_path() / next;
  }
  return Fail(error, ErrnoText(ELOOP));
}

bool Classify(const fs::path& file, Output* out, std::string* error) {
  if (file.empty()) return Fail(error, "no file name given");
  // Saving through a link replaces the file it points to, not the link; a
  // dangling link's file is made where it points.
  if (!FollowLinks(file, &out->target, error)) return false;
  struct stat st {};
  if (::stat(out->target.c_str(), &st) != 0) {
    if (errno != ENOENT) return Fail(error, ErrnoText(errno));
    out->kind = Output::kNew;
    if (out->target != file) {
      fs::path dir = out->target.parent_path();
      if (!dir.empty() && ::stat(dir.c_str(), &st) != 0)
        return Fail(error, "it links to " + out->target.string() + ", in a folder that does not exist");
    }
    return true;
  }
  if (S_ISREG(st.st_mode)) {
    // A file its owner made read-only is not replaced behind their back,
    // not even by root, whom access() lets write anything.
    if (::access(out->target.c_str(), W_OK) != 0) return Fail(error, ErrnoText(errno));
    if ((st.st_mode & 0222) == 0) return Fail(error, "it is read-only");
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

// Opens a device or FIFO for writing in place; -1 with *err.
int OpenInPlace(const fs::path& file, int* err) {
  // Opening a FIFO for writing waits for a reader; a save does not wait.
  int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *err = errno;
    return -1;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
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

HostFileIdentity IdentityOf(const struct stat& st) {
  HostFileIdentity id;
  id.device = static_cast<uint64_t>(st.st_dev);
  id.inode = static_cast<uint64_t>(st.st_ino);
  id.size = static_cast<uint64_t>(st.st_size);
  id.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

// Judged before opening: opening a device can have effects of its own.
bool IsRegular(const fs::path& file, struct stat* st, std::string* error) {
  if (::stat(file.c_str(), st) != 0) return Fail(error, ErrnoText(errno));
  if (S_ISDIR(st->st_mode)) return Fail(error, "it is a folder");
  if (!S_ISREG(st->st_mode)) return Fail(error, "it is " + KindOf(st->st_mode) + ", not a regular file");
  return true;
}

}  // namespace

bool HostIdentifyRegularFile(const fs::path& file, HostFileIdentity* identity, std::string* error) {
  struct stat st {};
  if (!IsRegular(file, &st, error)) return false;
  *identity = IdentityOf(st);
  return true;
}

bool HostReadRegularFile(const fs::path& file, uint64_t maxBytes, std::string* bytes, std::string* error,
                         HostFileIdentity* identity) {
  struct stat st {};
  if (!IsRegular(file, &st, error)) return false;
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
  // What was read is the file as it is once read to its end.
  if (identity && ::fstat(fd, &opened) == 0) *identity = IdentityOf(opened);
  ::close(fd);
  *bytes = std::move(text);
  return true;
}

std::unique_ptr<HostAtomicFile> HostAtomicFile::Open(const fs::path& file, std::string* error,
                                                     std::optional<unsigned> mode) {
  Output out;
  if (!Classify(file, &out, error)) return nullptr;
  std::unique_ptr<HostAtomicFile> f(new HostAtomicFile);
  f->target_ = out.target.string();
  f->mode_ = mode;
  int e = 0;
  if (out.kind == Output::kInPlace) {
    f->inPlace_ = true;
    f->fd_ = OpenInPlace(out.target, &e);
    if (f->fd_ < 0) return Fail(error, e == ENXIO ? "it is a FIFO that nobody reads" : ErrnoText(e)), nullptr;
    return f;
  }
  fs::path dir = out.target.parent_path();
  if (dir.empty()) dir = ".";
  f->folder_ = dir.string();
  f->prefix_ = TemporaryPrefix(out.target);
  e = Injected(HostSaveStep::kCreate);
  f->fd_ = e ? -1 : CreateTemporary(dir, f->prefix_, &f->temporary_, &e);
  if (f->fd_ < 0) return Fail(error, ErrnoText(e)), nullptr;
  if (out.kind == Output::kRegular) {
    f->replacing_ = true;
    f->oldUid_ = out.old.st_uid;
    f->oldGid_ = out.old.st_gid;
    f->oldMode_ = out.old.st_mode & 07777;
  }
  return f;
}

HostAtomicFile::~HostAtomicFile() { Abandon(); }

void HostAtomicFile::Abandon() {
  if (fd_ < 0) return;
  if (!inPlace_ && !done_) ::unlink(temporary_.c_str());
  ::close(fd_);
  fd_ = -1;
}

bool HostAtomicFile::Failed(int err, std::string* error) {
  if (failure_.empty()) failure_ = ErrnoText(err);
  return Fail(error, failure_);
}

bool HostAtomicFile::Append(const void* bytes, size_t size, std::string* error) {
  if (!failure_.empty() || fd_ < 0) return Fail(error, failure_.empty() ? "the file is closed" : failure_);
  int e = size_ > 0 ? Injected(HostSaveStep::kWrite) : 0;
  if (e || (e = WriteAll(fd_, static_cast<const char*>(bytes), size))) return Failed(e, error);
  size_ += size;
  return true;
}

bool HostAtomicFile::WriteAt(uint64_t offset, const void* bytes, size_t size, std::string* error) {
  if (!failure_.empty() || fd_ < 0) return Fail(error, failure_.empty() ? "the file is closed" : failure_);
  if (inPlace_ || offset > size_) return Failed(ESPIPE, error);
  int e = Injected(HostSaveStep::kWrite);
  const char* p = static_cast<const char*>(bytes);
  for (size_t left = size; !e && left > 0;) {
    ssize_t w = ::pwrite(fd_, p, left, static_cast<off_t>(offset));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) e = w < 0 ? errno : EIO;
    if (e) break;
    p += w;
    offset += static_cast<uint64_t>(w);
    left -= static_cast<size_t>(w);
  }
  if (e) return Failed(e, error);
  size_ = std::max(size_, offset);
  return true;
}

bool HostAtomicFile::Commit(std::string* error) {
  if (!failure_.empty() || fd_ < 0 || done_) {
    Abandon();
    return Fail(error, failure_.empty() ? "the file is closed" : failure_);
  }
  if (inPlace_) {
    done_ = true;
    int fd = fd_;
    fd_ = -1;
    return (::close(fd) == 0 || errno == EINTR) || Failed(errno, error);
  }
  std::optional<unsigned> mode = mode_;
  if (replacing_) {
    // The owner first (root gives the file back to its owner; others keep
    // their own), then the mode, which a change of owner may have cut.
    if (oldUid_ != ::geteuid() || oldGid_ != ::getegid()) (void)!::fchown(fd_, oldUid_, oldGid_);
    if (!mode) mode = oldMode_;
  }
  int e = 0;
  if (mode && ::fchmod(fd_, static_cast<mode_t>(*mode & 07777)) != 0) e = errno;
  if (!e && (e = Injected(HostSaveStep::kFlush)) == 0 && ::fsync(fd_) != 0) e = errno;
  if (!e && (e = Injected(HostSaveStep::kRename)) == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0) e = errno;
  if (e) {
    Failed(e, error);
    Abandon();
    return false;
  }
  done_ = true;
  ::close(fd_);  // releases the lock
  fd_ = -1;
  FinishInFolder(folder_, prefix_);
  return true;
}

bool HostWriteFileAtomically(const fs::path& file, std::string_view bytes, std::string* error,
                             std::optional<unsigned> mode) {
  std::unique_ptr<HostAtomicFile> out = HostAtomicFile::Open(file, error, mode);
  size_t half = bytes.size() / 2;
  return out && out->Append(bytes.data(), half, error) &&
         out->Append(bytes.data() + half, bytes.size() - half, error) && out->Commit(error);
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
