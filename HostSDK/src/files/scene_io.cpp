// Scene files on disk: read whole, saved whole (a new file renamed over the
// old, so a failed save never leaves half a scene in place of a good one).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "hostside/scene_file.h"

namespace fs = std::filesystem;

namespace {

std::string ErrnoText(int e) { return std::strerror(e); }

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool HostSaveScene(const Scene& scene, const fs::path& file, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = "cannot save " + file.string() + ": " + what;
    return false;
  };
  std::string text, err;
  if (!HostWriteScene(scene, &text, &err)) return fail(err);

  // Saving through a link replaces the file it points to, not the link.
  std::error_code ec;
  fs::path target = file;
  if (fs::is_symlink(file, ec)) {
    target = fs::weakly_canonical(file, ec);
    if (ec) return fail(ec.message());
  }
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  struct stat old {};
  mode_t mode;
  if (::stat(target.c_str(), &old) == 0) {
    if (S_ISDIR(old.st_mode)) return fail("it is a folder");
    // A file its owner made read-only is not replaced behind their back.
    if (::access(target.c_str(), W_OK) != 0) return fail(ErrnoText(errno));
    mode = old.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return fail(ErrnoText(errno));
  bool ok = WriteAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  int e = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    e = errno;
  }
  if (ok && ::rename(name.data(), target.c_str()) != 0) {
    ok = false;
    e = errno;
  }
  if (!ok) {
    ::unlink(name.data());
    return fail(ErrnoText(e));
  }
  // The new name lasts once the folder's entry is on disk too.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::unique_ptr<Scene> HostLoadScene(const fs::path& file, std::string* error) {
  auto fail = [&](const std::string& what) -> std::unique_ptr<Scene> {
    if (error) *error = "cannot read " + file.string() + ": " + what;
    return nullptr;
  };
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(ErrnoText(errno));
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return fail("it is a folder");
  }
  std::string text;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int e = errno;
      ::close(fd);
      return fail(ErrnoText(e));
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return HostReadScene(text, file.string(), error);
}
