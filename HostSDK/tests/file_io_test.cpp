// The one way files reach the disk: whole or not at all, whatever step fails
// or however many saves run at once.
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

#include "hostside/picture_io.h"
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
  HostPicture passes;
  passes.width = passes.height = 40;
  passes.AddLayer("", {"R", "G", "B", "A"});
  passes.AddLayer("coverage", {"Y"});
  const std::vector<std::pair<std::string, std::function<bool(const fs::path&, std::string*)>>> savers = {
      {"a.png", [&](const fs::path& p, std::string* e) { return HostWritePng(p.string(), img, e); }},
      {"a.exr", [&](const fs::path& p, std::string* e) { return HostWritePicture(p.string(), passes, {}, e); }},
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
  // Read-only stays as it is, for root too; the check before a long render says so.
  ::chmod(file.c_str(), 0444);
  EXPECT_FALSE(HostWriteFileAtomically(file, "lost", &err));
  EXPECT_FALSE(HostCheckOutputFile(file, &err));
  EXPECT_TRUE(err == "it is read-only" || err == "Permission denied") << err;
  EXPECT_EQ(Read(file), "two");
  ::chmod(file.c_str(), 0640);

  fs::create_symlink("kept", dir / "link");
  ASSERT_TRUE(HostWriteFileAtomically(dir / "link", "three", &err)) << err;
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_EQ(Read(file), "three");
  // A dangling link, even through another link, makes the file it names; a
  // link into a folder that is not there is refused with the reason.
  fs::create_directories(dir / "sub");
  fs::create_symlink("sub/made.png", dir / "dangling");
  fs::create_symlink(dir / "dangling", dir / "via");
  HostImage img{1, 1, {1, 2, 3, 4}};
  ASSERT_TRUE(HostWritePng((dir / "via").string(), img, &err)) << err;
  EXPECT_TRUE(fs::is_symlink(dir / "dangling") && fs::is_symlink(dir / "via"));
  HostImage back;
  ASSERT_TRUE(HostReadPng((dir / "sub" / "made.png").string(), back, &err)) << err;
  EXPECT_EQ(back.rgba, img.rgba);
  fs::create_symlink("nowhere/x", dir / "astray");
  EXPECT_FALSE(HostWriteFileAtomically(dir / "astray", "four", &err));
  EXPECT_NE(err.find("in a folder that does not exist"), std::string::npos) << err;
  EXPECT_FALSE(HostCheckOutputFile(dir / "astray", &err));
  for (const char* name : {"dangling", "via", "astray"}) fs::remove(dir / name);
  fs::remove_all(dir / "sub");

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
