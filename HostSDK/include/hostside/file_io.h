// Whole files between disk and memory: how every file the host reads or
// writes (scenes, pictures) goes.
//
// Reading takes regular files only, and at most a given number of bytes: a
// device would read until memory runs out, and a FIFO with no writer would
// wait forever.
//
// Writing never leaves half a file in place of a good one. The bytes go to a
// temporary file with a unique name in the same folder (".NAME.tmp-XXXXXX"),
// which is flushed to disk and renamed over the old file only once complete;
// then the folder is flushed too. So a save that fails or is killed at any
// step leaves the previous file whole, and two saves to one file at once each
// write their own temporary: the file ends as one of them, whole. The new file
// keeps the old one's permissions (and, where the process may set it, its
// owner); a new file gets the usual 0666 less the umask. Saving through a
// symbolic link replaces the file it points to, and a link whose file does
// not exist yet (a dangling link) makes that file: the link stays a link.
//
// An existing output that is not a regular file is never replaced: a
// character device or a FIFO is written in place (so /dev/null works; a FIFO
// needs a reader already), a folder or anything else is refused with the
// reason.
//
// While a save runs it holds an advisory lock on its temporary. A temporary
// that nobody holds was left by a save that was killed; the next successful
// save of the same file removes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "../hostsdk_api.h"

// Which file a name named when it was read: the same identity means the same
// file, unchanged (as far as its size and modification time tell).
struct HostFileIdentity {
  uint64_t device = 0, inode = 0, size = 0;
  int64_t modifiedNs = 0;
  bool operator==(const HostFileIdentity&) const = default;
};

// Reads the whole of a regular file of at most `maxBytes` bytes into *bytes,
// and where asked the identity of the file read. On failure: false, and
// *error says why (without the file's name).
HOSTSDK_API bool HostReadRegularFile(const std::filesystem::path& file, uint64_t maxBytes, std::string* bytes,
                                     std::string* error, HostFileIdentity* identity = nullptr);
// The identity of the regular file a name names now; false with *error when
// there is none.
HOSTSDK_API bool HostIdentifyRegularFile(const std::filesystem::path& file, HostFileIdentity* identity,
                                         std::string* error);

// A save written piece by piece, for output made while it is computed (a
// picture's rows as they are shaded): Open makes the temporary, Append and
// WriteAt fill it, Commit puts it in place of the old file. Destroyed without
// a successful Commit, it removes its temporary and the old file stays as it
// was. A device or FIFO is written in place from Open on, and cannot be
// written at an offset (Seekable() is false). The first failure sticks: every
// later call fails with it, Commit too. One thread at a time.
class HOSTSDK_API HostAtomicFile {
 public:
  // Null with *error (without the file's name) when the file cannot be
  // written; `mode` as for HostWriteFileAtomically.
  static std::unique_ptr<HostAtomicFile> Open(const std::filesystem::path& file, std::string* error,
                                              std::optional<unsigned> mode = std::nullopt);
  ~HostAtomicFile();
  HostAtomicFile(const HostAtomicFile&) = delete;
  HostAtomicFile& operator=(const HostAtomicFile&) = delete;

  bool Append(const void* bytes, size_t size, std::string* error);
  // Overwrites bytes already written, from `offset` (at most Size()); may
  // run past the end, which then grows.
  bool WriteAt(uint64_t offset, const void* bytes, size_t size, std::string* error);
  bool Seekable() const { return !inPlace_; }
  uint64_t Size() const { return size_; }
  // The first failure so far; empty while there is none.
  const std::string& Failure() const { return failure_; }
  bool Commit(std::string* error);

 private:
  HostAtomicFile() = default;
  bool Failed(int err, std::string* error);
  void Abandon();

  int fd_ = -1;
  bool inPlace_ = false;
  bool done_ = false;
  uint64_t size_ = 0;
  std::string failure_;
  std::string target_, temporary_, folder_, prefix_;
  std::optional<unsigned> mode_;
  bool replacing_ = false;
  unsigned oldUid_ = 0, oldGid_ = 0, oldMode_ = 0;
};

// Writes `bytes` as the whole new content of `file`, as above (through one
// HostAtomicFile); where `mode` is given, the file gets that mode whether it
// is new or replaces one. On failure: false, the previous file as it was, and
// *error says why (without the file's name).
HOSTSDK_API bool HostWriteFileAtomically(const std::filesystem::path& file, std::string_view bytes, std::string* error,
                                         std::optional<unsigned> mode = std::nullopt);

// Whether HostWriteFileAtomically could write `file` now, judged without
// writing anything: what exists there and its folder. For failing before a
// long computation rather than after it.
HOSTSDK_API bool HostCheckOutputFile(const std::filesystem::path& file, std::string* error);

// An advisory lock (flock) on an existing regular file, held for a whole
// read-modify-write, so that concurrent edits of one file queue instead of
// losing one. Taking it waits for the holder. A save replaces the file with a
// new one, so the lock is taken on whichever file the name names once the lock
// is held. Released when destroyed.
class HOSTSDK_API HostFileLock {
 public:
  explicit HostFileLock(int fd) : fd_(fd) {}
  ~HostFileLock();
  HostFileLock(const HostFileLock&) = delete;
  HostFileLock& operator=(const HostFileLock&) = delete;

 private:
  int fd_;
};
// Null with *error on failure (no such file, not a regular file).
HOSTSDK_API std::unique_ptr<HostFileLock> HostLockFile(const std::filesystem::path& file, std::string* error);

// ---- Fault injection, for tests ---------------------------------------------

// The steps of a save that can fail, in order. kWrite comes before every
// write once some bytes are written (in HostWriteFileAtomically: after half of
// them).
enum class HostSaveStep { kCreate, kWrite, kFlush, kRename };
// Called at each step of every save; returns 0 to go on, or an errno value
// that the step then fails with. It may also end the process, as a kill
// would. Null (the default) injects nothing. Returns the previous hook.
using HostSaveFaultHook = int (*)(HostSaveStep step);
HOSTSDK_API HostSaveFaultHook HostSetSaveFaultHook(HostSaveFaultHook hook);
