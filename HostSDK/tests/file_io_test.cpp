// The one way files reach the disk: whole or not at all, whatever step
// fails; regular files only on the way in.
#include "hostside/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "hostside/png_image.h"
#include "hostside/scene_file.h"
#include "iparamb.h"

namespace fs = std::filesystem;

namespace {

class FileIoTest : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("file_io_test_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    HostSetSaveFaultHook(nullptr);
    fs::remove_all(dir);
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // The names in the folder other than `file`'s own.
  std::vector<std::string> Others(const fs::path& file) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path() != file) names.push_back(e.path().filename().string());
    return names;
  }
  fs::path dir;
};

HostSaveStep g_failAt;
int FailAtStep(HostSaveStep step) { return step == g_failAt ? ENOSPC : 0; }
int DieWhileWriting(HostSaveStep step) {
  if (step == HostSaveStep::kWrite) _exit(9);  // as a kill half-way through the bytes would
  return 0;
}

}  // namespace

// Scenes and pictures both save through the writer: a failure at any step
// keeps the old file and leaves no temporary; a killed save's temporary goes
// with the next successful save of the same file.
TEST_F(FileIoTest, ASaveFailingOrKilledAtAnyStepKeepsTheOldFile) {
  HostImage img;
  img.width = img.height = 4;
  img.rgba.assign(64, 200);
  Scene scene;
  ParamBlockDescID desc[] = {{TYPE_FLOAT, nullptr, TRUE, 0}};
  scene.AddRoot(CreateParameterBlock(desc, 1, 1));
  std::string err;
  const std::vector<std::pair<std::string, std::function<bool(const fs::path&, std::string*)>>> savers = {
      {"a.png", [&](const fs::path& p, std::string* e) { return HostWritePng(p.string(), img, e); }},
      {"a.json", [&](const fs::path& p, std::string* e) { return HostSaveScene(scene, p, e); }},
  };
  for (const auto& [name, save] : savers) {
    fs::path file = dir / name;
    std::ofstream(file) << "the previous file";
    for (HostSaveStep step :
         {HostSaveStep::kCreate, HostSaveStep::kWrite, HostSaveStep::kFlush, HostSaveStep::kRename}) {
      g_failAt = step;
      HostSetSaveFaultHook(FailAtStep);
      EXPECT_FALSE(save(file, &err)) << name;
      HostSetSaveFaultHook(nullptr);
      EXPECT_NE(err.find(file.string() + ": " + std::strerror(ENOSPC)), std::string::npos) << err;
      EXPECT_EQ(Read(file), "the previous file") << name << " step " << static_cast<int>(step);
      EXPECT_TRUE(Others(file).empty()) << name << " step " << static_cast<int>(step);
    }
    pid_t child = fork();
    if (child == 0) {
      HostSetSaveFaultHook(DieWhileWriting);
      save(file, &err);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9);
    EXPECT_EQ(Read(file), "the previous file");
    EXPECT_EQ(Others(file).size(), 1u) << "the killed save's temporary";
    ASSERT_TRUE(save(file, &err)) << err;
    EXPECT_NE(Read(file), "the previous file");
    EXPECT_TRUE(Others(file).empty()) << "stale temporary not cleaned";
    fs::remove(file);
  }
}

TEST_F(FileIoTest, SavesKeepModeLinksAndOtherSavesTemporaries) {
  fs::path file = dir / "kept";
  std::string err;
  ASSERT_TRUE(HostWriteFileAtomically(file, "one", &err)) << err;
  ::chmod(file.c_str(), 0640);
  ASSERT_TRUE(HostWriteFileAtomically(file, "two", &err)) << err;
  EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0640));

  fs::create_symlink("kept", dir / "link");
  ASSERT_TRUE(HostWriteFileAtomically(dir / "link", "three", &err)) << err;
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_EQ(Read(file), "three");

  // A temporary whose save still runs (it holds the lock) is not taken for
  // a killed save's; once its holder is gone, it is.
  fs::path live = dir / ".kept.tmp-AbC123";
  int fd = ::open(live.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  ASSERT_TRUE(HostWriteFileAtomically(file, "four", &err)) << err;
  EXPECT_TRUE(fs::exists(live));
  ::close(fd);
  ASSERT_TRUE(HostWriteFileAtomically(file, "five", &err)) << err;
  EXPECT_FALSE(fs::exists(live));

  // Eight saves at once: each writes its own temporary; one wins whole.
  std::vector<std::thread> savers;
  for (int i = 0; i < 8; ++i) {
    savers.emplace_back([&, i] {
      std::string e;
      EXPECT_TRUE(HostWriteFileAtomically(file, std::string(100000, static_cast<char>('a' + i)), &e)) << e;
    });
  }
  for (std::thread& t : savers) t.join();
  std::string last = Read(file);
  EXPECT_EQ(last, std::string(100000, last.at(0)));
  EXPECT_EQ(Others(file), std::vector<std::string>{"link"});
}

// What is not a regular file is written in place (a device, a FIFO with a
// reader) or refused with the reason; it is never replaced, and a read takes
// regular files only.
TEST_F(FileIoTest, DevicesFifosAndFoldersAreNeverReplaced) {
  std::string err, text;
  EXPECT_TRUE(HostWriteFileAtomically("/dev/null", "x", &err)) << err;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_FALSE(HostWriteFileAtomically(dir, "x", &err));
  EXPECT_EQ(err, "it is a folder");

  fs::path fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(HostWriteFileAtomically(fifo, "x", &err));
  EXPECT_EQ(err, "it is a FIFO that nobody reads");
  EXPECT_FALSE(HostReadRegularFile(fifo, 100, &text, &err));  // no writer: refused, not waited for
  EXPECT_EQ(err, "it is a FIFO, not a regular file");
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_TRUE(HostWriteFileAtomically(fifo, "through", &err)) << err;
  char buf[16] = {};
  EXPECT_EQ(::read(reader, buf, sizeof buf), 7);
  ::close(reader);
  EXPECT_TRUE(fs::is_fifo(fifo));

  EXPECT_FALSE(HostReadRegularFile("/dev/zero", 100, &text, &err));
  EXPECT_EQ(err, "it is a character device, not a regular file");
  fs::path big = dir / "big";
  std::ofstream(big) << std::string(101, 'x');
  EXPECT_FALSE(HostReadRegularFile(big, 100, &text, &err));
  EXPECT_EQ(err, "it is 101 bytes, more than the limit of 100");
  EXPECT_TRUE(HostReadRegularFile(big, 101, &text, &err));
  EXPECT_EQ(text.size(), 101u);
}

// A lock taken while another process holds it waits; once the holder saved
// a new file in its place, the lock is on the new file.
TEST_F(FileIoTest, LocksFollowTheFileASaveReplaced) {
  fs::path file = dir / "edited";
  std::string err;
  ASSERT_TRUE(HostWriteFileAtomically(file, "0", &err));
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = fork();
  if (child == 0) {
    auto lock = HostLockFile(file, &err);
    (void)!::write(ready[1], "x", 1);
    HostWriteFileAtomically(file, "1", &err);
    _exit(0);
  }
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  auto lock = HostLockFile(file, &err);  // waits for the child's save
  ASSERT_TRUE(lock) << err;
  EXPECT_EQ(Read(file), "1");
  int status = 0;
  waitpid(child, &status, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_FALSE(HostLockFile(dir / "none", &err));
  EXPECT_EQ(err, std::strerror(ENOENT));
}
