#include "render/queued_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace plughost {

namespace {

class QueuedWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("queued-writer-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path dir_;
};

// Colour and a bump layer, every sample its own value, different in each
// picture of a sequence.
HostPicture Picture(int frame) {
  HostPicture p;
  p.width = 23;
  p.height = 37;
  HostPictureLayer& c = p.AddLayer("", {"R", "G", "B", "A"});
  for (size_t i = 0; i < c.floats.size(); ++i) c.floats[i] = static_cast<float>((i * 7919 + frame) % 1000) / 999.0f;
  HostPictureLayer& b = p.AddLayer("bump", {"X", "Y", "Z"});
  for (size_t i = 0; i < b.floats.size(); ++i) b.floats[i] = static_cast<float>(i % 13) * 0.01f - 0.06f;
  return p;
}

// Rows [y, y + count) of p as the first rows of a band of `rows` rows, as
// the renderer hands them on.
HostPicture Band(const HostPicture& p, int y, int count, int rows) {
  HostPicture band;
  band.width = p.width;
  band.height = rows;
  for (const HostPictureLayer& l : p.layers) {
    HostPictureLayer& to = band.AddLayer(l.name, l.channels);
    size_t row = static_cast<size_t>(p.width) * l.channels.size();
    std::copy_n(l.floats.begin() + static_cast<long>(y * row), count * row, to.floats.begin());
  }
  return band;
}

bool Write(QueuedPictureWriter& out, const std::string& path, const HostPicture& p,
           const HostPictureWriteOptions& options) {
  constexpr int kRows = 16;
  bool ok = out.Begin(path, p.Shape(), options);
  for (int y = 0; ok && y < p.height; y += kRows) {
    int count = std::min(kRows, p.height - y);
    ok = out.Rows(Band(p, y, count, kRows), count);
  }
  return ok && out.Finish();
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

// On a thread of its own, or on the caller's as a one-thread render asks.
TEST_F(QueuedWriter, WritesTheBytesOfAWriterOnTheCallingThreadInBoundedMemory) {
  size_t band = 0;
  for (const HostPictureLayer& l : Band(Picture(0), 0, 16, 16).layers) band += l.floats.size() * sizeof(float);
  for (bool ownThread : {true, false}) {
    for (std::string ext : {".exr", ".png"}) {
      HostPictureWriteOptions options;
      options.threads = 2;
      QueuedPictureWriter out(2 * band, ownThread);
      std::string tag = ownThread ? "q" : "i";
      for (int frame = 0; frame < 3; ++frame) {
        HostPicture p = Picture(frame);
        if (ext == ".png") p.layers.pop_back();  // a PNG holds one layer
        ASSERT_TRUE(Write(out, Path(tag + std::to_string(frame) + ext), p, options));
        std::string err;
        ASSERT_TRUE(HostWritePicture(Path("d" + std::to_string(frame) + ext), p, options, &err)) << err;
      }
      std::string err;
      ASSERT_TRUE(out.Wait(&err)) << err;
      EXPECT_LE(out.PeakQueuedBytes(), 2 * band);
      for (int frame = 0; frame < 3; ++frame) {
        std::string f = std::to_string(frame) + ext;
        EXPECT_EQ(Bytes(Path(tag + f)), Bytes(Path("d" + f))) << tag << f;
      }
      EXPECT_NE(Bytes(Path(tag + "0" + ext)), Bytes(Path(tag + "1" + ext)));
    }
  }
}

TEST_F(QueuedWriter, TheFirstFailureStopsTheWritingAndLeavesNoTemporary) {
  for (bool ownThread : {true, false}) {
    fs::remove_all(Path(""));
    fs::create_directories(Path(""));
    SCOPED_TRACE(ownThread ? "own thread" : "caller's thread");
    QueuedPictureWriter out(1, ownThread);  // the caller waits for each band
    HostPicture p = Picture(0);
    EXPECT_TRUE(Write(out, Path("a.exr"), p, {}));
    std::string missing = Path("no/such/folder/b.exr");
    Write(out, missing, p, {});
    std::string err;
    EXPECT_FALSE(out.Wait(&err));
    EXPECT_NE(err.find(missing), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), std::string::npos) << err;
    EXPECT_FALSE(Write(out, Path("c.exr"), p, {}));
    EXPECT_FALSE(out.Wait(&err));
    EXPECT_EQ(Files(), std::vector<std::string>{"a.exr"});
  }
}

TEST_F(QueuedWriter, APictureNotFinishedIsAbandoned) {
  HostPicture p = Picture(0);
  {
    QueuedPictureWriter out(size_t{1} << 20);
    ASSERT_TRUE(out.Begin(Path("cut.exr"), p.Shape(), {}));
    ASSERT_TRUE(out.Rows(Band(p, 0, 16, 16), 16));
    std::string err;
    ASSERT_TRUE(out.Wait(&err)) << err;
  }
  EXPECT_TRUE(Files().empty());
}

}  // namespace plughost
