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
// symbolic link replaces the file it points to.
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

// Reads the whole of a regular file of at most `maxBytes` bytes into *bytes.
// On failure: false, and *error says why (without the file's name).
HOSTSDK_API bool HostReadRegularFile(const std::filesystem::path& file, uint64_t maxBytes, std::string* bytes,
                                     std::string* error);

// Writes `bytes` as the whole new content of `file`, as above; where `mode`
// is given, the file gets that mode whether it is new or replaces one. On
// failure: false, the previous file as it was, and *error says why (without
// the file's name).
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

// The steps of HostWriteFileAtomically that can fail, in order. kWrite comes
// after half of the bytes are written.
enum class HostSaveStep { kCreate, kWrite, kFlush, kRename };
// Called at each step of every save; returns 0 to go on, or an errno value
// that the step then fails with. It may also end the process, as a kill
// would. Null (the default) injects nothing. Returns the previous hook.
using HostSaveFaultHook = int (*)(HostSaveStep step);
HOSTSDK_API HostSaveFaultHook HostSetSaveFaultHook(HostSaveFaultHook hook);
