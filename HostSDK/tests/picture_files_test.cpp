// Pictures written and read: what each depth holds, checked with the
// libraries' own readers; streamed rows against a whole write; hostile files.
#include <Imath/half.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfStringAttribute.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <sstream>

#include "float_bits.h"
#include "hostside/picture_io.h"
#include "hostside/png_image.h"

namespace fs = std::filesystem;

namespace {

class PictureFiles : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("picture_files_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  static std::string Read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static void Write(const std::string& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
  fs::path dir;
};

// Values a writer must get right: signed zeros, the ends of [0, 1], halfway
// points of both quantisations, half's limits, and what is not a number.
std::vector<float> Awkward() {
  std::vector<float> v = {0.0f,
                          -0.0f,
                          1.0f,
                          0.5f,
                          1.0f / 3.0f,
                          0.5f / 255.0f,
                          1.5f / 255.0f,
                          0.5f / 65535.0f,
                          1e-8f,
                          6.1e-5f,
                          65504.0f,
                          65520.0f,
                          1e30f,
                          -2.5f,
                          1e-40f,
                          2.0f,
                          std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity()};
  std::mt19937 random(17);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  while (v.size() < 64) v.push_back(unit(random));
  return v;
}

// A picture of every layer kind, its samples drawn in turn from Awkward().
HostPicture Passes(int width, int height) {
  HostPicture p;
  p.width = width;
  p.height = height;
  p.AddLayer("", {"R", "G", "B", "A"});
  p.AddLayer("bump", {"X", "Y", "Z"});
  p.AddLayer("coverage", {"Y"});
  std::vector<float> v = Awkward();
  size_t k = 0;
  for (HostPictureLayer& l : p.layers)
    for (float& f : l.floats) f = v[k++ % v.size()];
  return p;
}

HostPicture Rgba(int width, int height) {
  HostPicture p;
  p.width = width;
  p.height = height;
  p.AddLayer("", {"R", "G", "B", "A"});
  std::vector<float> v = Awkward();
  for (size_t i = 0; i < p.layers[0].floats.size(); ++i) p.layers[0].floats[i] = v[(i * 7) % v.size()];
  return p;
}

HostPictureWriteOptions Options(HostPictureDepth depth, const std::string& compression = "", int threads = 0) {
  HostPictureWriteOptions o;
  o.depth = depth;
  o.compression = compression;
  o.threads = threads;
  return o;
}

// Every sample of an OpenEXR file as OpenEXR's reader gives it, in `type`.
template <typename T>
std::vector<T> ExrSamples(const std::string& path, const std::string& channel, Imf::PixelType type) {
  Imf::InputFile in(path.c_str());
  const Imath::Box2i& dw = in.header().dataWindow();
  int w = dw.max.x - dw.min.x + 1, h = dw.max.y - dw.min.y + 1;
  std::vector<T> out(static_cast<size_t>(w) * static_cast<size_t>(h));
  Imf::FrameBuffer fb;
  fb.insert(channel, Imf::Slice::Make(type, out.data(), dw.min, w, h, sizeof(T), sizeof(T) * static_cast<size_t>(w)));
  in.setFrameBuffer(fb);
  in.readPixels(dw.min.y, dw.max.y);
  return out;
}

std::string FullName(const HostPictureLayer& l, size_t c) {
  return l.name.empty() ? l.channels[c] : l.name + "." + l.channels[c];
}

}  // namespace

TEST_F(PictureFiles, ExrHoldsTheFloatBitsOrTheirHalfRounding) {
  HostPicture p = Passes(7, 5);
  HostPictureWriteOptions floats = Options(HostPictureDepth::kFloat, "piz");
  floats.metadata = {{"scene", "dirt.json"}, {"map", "Map #1"}, {"time", "160"}, {"frame", "1"}};
  std::string err;
  ASSERT_TRUE(HostWritePicture(Path("f.exr"), p, floats, &err)) << err;
  ASSERT_TRUE(HostWritePicture(Path("h.exr"), p, Options(HostPictureDepth::kDefault), &err)) << err;

  Imf::InputFile in(Path("f.exr").c_str());
  std::set<std::string> names;
  for (auto it = in.header().channels().begin(); it != in.header().channels().end(); ++it) names.insert(it.name());
  EXPECT_EQ(names, (std::set<std::string>{"A", "B", "G", "R", "bump.X", "bump.Y", "bump.Z", "coverage.Y"}));
  EXPECT_EQ(in.header().compression(), Imf::PIZ_COMPRESSION);
  EXPECT_EQ(in.header().typedAttribute<Imf::StringAttribute>("map").value(), "Map #1");
  EXPECT_EQ(in.header().typedAttribute<Imf::StringAttribute>("frame").value(), "1");
  Imf::InputFile halves(Path("h.exr").c_str());
  EXPECT_EQ(halves.header().compression(), Imf::ZIP_COMPRESSION);

  for (const HostPictureLayer& l : p.layers) {
    for (size_t c = 0; c < l.channels.size(); ++c) {
      auto f = ExrSamples<float>(Path("f.exr"), FullName(l, c), Imf::FLOAT);
      auto h = ExrSamples<Imath::half>(Path("h.exr"), FullName(l, c), Imf::HALF);
      for (size_t i = 0; i < f.size(); ++i) {
        float v = l.floats[i * l.channels.size() + c];
        ASSERT_EQ(Bits(f[i]), Bits(v)) << FullName(l, c) << " sample " << i;
        ASSERT_EQ(h[i].bits(), Imath::half(v).bits()) << FullName(l, c) << " sample " << i;
      }
    }
  }

  // Read back: the passes by name, each at the file's precision.
  HostPicture f, h;
  ASSERT_TRUE(HostReadPicture(Path("f.exr"), &f, &err)) << err;
  ASSERT_TRUE(HostReadPicture(Path("h.exr"), &h, &err)) << err;
  ASSERT_EQ(f.Shape(), p.Shape());
  for (size_t l = 0; l < p.layers.size(); ++l) {
    EXPECT_EQ(f.layers[l].type, HostSampleType::kFloat);
    EXPECT_EQ(h.layers[l].type, HostSampleType::kHalf);
    for (size_t i = 0; i < p.layers[l].floats.size(); ++i) {
      ASSERT_EQ(Bits(f.layers[l].floats[i]), Bits(p.layers[l].floats[i]));
      ASSERT_EQ(h.layers[l].words[i], Imath::half(p.layers[l].floats[i]).bits());
    }
  }
}

// The probe tells what a writer was given besides the samples, so that a
// picture can be written again as it was; a PNG keeps texts before its rows.
TEST_F(PictureFiles, TheProbeGivesBackTheMetadataCompressionAndMarking) {
  HostPicture p = Passes(6, 4);
  HostPictureWriteOptions exr = Options(HostPictureDepth::kFloat, "piz");
  exr.metadata = {{"time", "160"}, {"render", "ab12"}};
  std::string err;
  ASSERT_TRUE(HostWritePicture(Path("a.exr"), p, exr, &err)) << err;
  HostPictureInfo info;
  ASSERT_TRUE(HostProbePicture(Path("a.exr"), &info, &err)) << err;
  using Texts = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(info.metadata, (Texts{{"render", "ab12"}, {"time", "160"}}));
  EXPECT_EQ(info.compression, "piz");

  HostPicture grey;
  grey.width = 5;
  grey.height = 3;
  grey.AddLayer("", {"Y"}, HostSampleType::kUint8);
  for (bool display : {true, false}) {
    HostPictureWriteOptions png;
    png.display = display;
    png.metadata = {{"render", "ab12"}, {"Latin \xe9", "x y"}};
    ASSERT_TRUE(HostWritePicture(Path("g.png"), grey, png, &err)) << err;
    ASSERT_TRUE(HostProbePicture(Path("g.png"), &info, &err)) << err;
    EXPECT_EQ(info.metadata, (Texts{{"Latin \xe9", "x y"}, {"render", "ab12"}}));
    EXPECT_EQ(info.display, display);
    EXPECT_EQ(info.fileChannels, 1);
    EXPECT_TRUE(info.compression.empty());
  }
  for (Texts bad :
       {Texts{{"", "x"}}, Texts{{" lead", "x"}}, Texts{{"two  spaces", "x"}}, Texts{{std::string(80, 'k'), "x"}},
        Texts{{"a\nb", "x"}}, Texts{{"nul", std::string("a\0b", 3)}}, Texts{{"twice", "a"}, {"twice", "b"}}}) {
    HostPictureWriteOptions png;
    png.metadata = bad;
    EXPECT_FALSE(HostWritePicture(Path("bad.png"), grey, png, &err)) << bad[0].first;
    EXPECT_EQ(err.find('\n'), std::string::npos) << err;
  }
  EXPECT_FALSE(fs::exists(Path("bad.png")));
}

TEST_F(PictureFiles, PngDepthsQuantiseAsDocumented) {
  HostPicture p = Rgba(9, 4);
  std::string err;
  ASSERT_TRUE(HostWritePicture(Path("8.png"), p, Options(HostPictureDepth::kDefault), &err)) << err;
  ASSERT_TRUE(HostWritePicture(Path("16.png"), p, Options(HostPictureDepth::k16, "small"), &err)) << err;
  // 8-bit, read by libpng's simplified reader: what the renderer always made.
  HostImage eight;
  ASSERT_TRUE(HostReadPng(Path("8.png"), eight, &err)) << err;
  HostPicture sixteen;
  ASSERT_TRUE(HostReadPicture(Path("16.png"), &sixteen, &err)) << err;
  ASSERT_EQ(sixteen.layers[0].type, HostSampleType::kUint16);
  for (size_t i = 0; i < p.layers[0].floats.size(); ++i) {
    float v = p.layers[0].floats[i];
    uint8_t old = !(v > 0.0f) ? 0 : v >= 1.0f ? 255 : static_cast<uint8_t>(std::lround(v * 255.0f));
    double clamped = !(v > 0.0f) ? 0.0 : v >= 1.0f ? 1.0 : static_cast<double>(v);
    ASSERT_EQ(eight.rgba[i], old) << "sample " << i << " = " << v;
    ASSERT_EQ(sixteen.layers[0].words[i], static_cast<uint16_t>(std::floor(clamped * 65535.0 + 0.5)))
        << "sample " << i << " = " << v;
  }
  // A grey 16-bit picture keeps its one channel.
  HostPicture grey;
  grey.width = 3;
  grey.height = 2;
  grey.AddLayer("", {"Y"}).floats = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 0.1f};
  ASSERT_TRUE(HostWritePicture(Path("y.png"), grey, Options(HostPictureDepth::k16), &err)) << err;
  ASSERT_TRUE(HostReadPicture(Path("y.png"), &sixteen, &err)) << err;
  EXPECT_EQ(sixteen.layers[0].channels, std::vector<std::string>{"Y"});
  EXPECT_EQ(sixteen.layers[0].words[1], 16384);
  // What a format cannot hold is refused before any file is made.
  EXPECT_FALSE(HostWritePicture(Path("x.png"), Passes(2, 2), {}, &err));
  EXPECT_NE(err.find("one layer"), std::string::npos) << err;
  EXPECT_FALSE(HostWritePicture(Path("x.exr"), p, Options(HostPictureDepth::k16), &err));
  EXPECT_FALSE(HostWritePicture(Path("x.png"), p, Options(HostPictureDepth::k8, "piz"), &err));
  EXPECT_FALSE(HostWritePicture(Path("x.tif"), p, {}, &err));
  EXPECT_EQ(err.find('\n'), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("x.png")) || fs::exists(Path("x.exr")) || fs::exists(Path("x.tif")));
}

// The quantisers round as lround does, also just below each half, where a
// sum in single precision would carry; every 61st float of (0, 1) and the
// neighbours of each half step.
TEST(PictureQuantise, RoundsHalfAwayFromZeroAtEveryStep) {
  auto check = [](float v) {
    ASSERT_EQ(HostQuantize8(v), std::lround(v * 255.0f)) << v;
    ASSERT_EQ(HostQuantize16(v), std::lround(static_cast<double>(v) * 65535.0)) << v;
  };
  for (uint32_t bits = 1; bits < 0x3f800000u; bits += 61) {
    float v;
    std::memcpy(&v, &bits, sizeof v);
    check(v);
  }
  for (int k = 0; k < 65535; ++k) {
    for (double steps : {255.0, 65535.0}) {
      float middle = static_cast<float>((k + 0.5) / steps);
      for (float v : {std::nextafter(middle, 0.0f), middle, std::nextafter(middle, 1.0f)})
        if (v > 0.0f && v < 1.0f) check(v);
    }
  }
}

// Rows given as they come, in bands of any size, from the whole picture or
// from a band of its own, give the bytes of a whole write, whatever the
// thread count; so does the encoding in memory.
TEST_F(PictureFiles, RowsStreamedInBandsMakeTheBytesOfAWholeWrite) {
  HostPicture rgba = Rgba(37, 29), passes = Passes(37, 29);
  struct Case {
    std::string name;
    const HostPicture* picture;
    HostPictureWriteOptions options;
  };
  const std::vector<Case> cases = {
      {"a.png", &rgba, Options(HostPictureDepth::k8)},
      {"b.png", &rgba, Options(HostPictureDepth::k16, "small")},
      {"c.exr", &passes, Options(HostPictureDepth::kHalf, "", 2)},
      {"d.exr", &passes, Options(HostPictureDepth::kFloat, "piz", 3)},
      {"e.exr", &passes, Options(HostPictureDepth::kHalf, "dwab")},
  };
  for (const Case& c : cases) {
    std::string err, memory;
    ASSERT_TRUE(HostWritePicture(Path(c.name), *c.picture, c.options, &err)) << err;
    const std::string whole = Read(Path(c.name));
    HostPictureWriteOptions o = c.options;
    o.format = c.name.ends_with(".exr") ? HostPictureFormat::kExr : HostPictureFormat::kPng;
    ASSERT_TRUE(HostEncodePicture(*c.picture, o, &memory, &err)) << err;
    EXPECT_EQ(memory, whole) << c.name;
    o.threads = c.options.threads ? 0 : 2;
    auto w = HostPictureWriter::Begin(Path("s-" + c.name), c.picture->Shape(), o, &err);
    ASSERT_TRUE(w) << err;
    for (int y = 0, band = 1; y < c.picture->height; y += band, ++band) {
      int n = std::min(band, c.picture->height - y);
      if (band % 2) {
        ASSERT_TRUE(w->WriteRows(*c.picture, y, n, &err)) << err;
        continue;
      }
      HostPicture rows = *c.picture;
      rows.height = n;
      for (HostPictureLayer& l : rows.layers) {
        size_t row = static_cast<size_t>(rows.width) * l.channels.size();
        l.floats.assign(l.floats.begin() + static_cast<ptrdiff_t>(y * row),
                        l.floats.begin() + static_cast<ptrdiff_t>((y + n) * row));
      }
      ASSERT_TRUE(w->WriteRows(rows, 0, n, &err)) << err;
    }
    ASSERT_TRUE(w->Finish(&err)) << err;
    EXPECT_EQ(Read(Path("s-" + c.name)), whole) << c.name;
  }
  // Pieces written, read back and placed together make the whole file.
  std::string err;
  HostPicture whole;
  whole.width = passes.width;
  whole.height = passes.height;
  for (const HostPictureLayer& l : passes.layers) whole.AddLayer(l.name, l.channels, HostSampleType::kHalf);
  for (int x0 : {0, 20})
    for (int y0 : {0, 13}) {
      HostPicture piece, back;
      piece.width = x0 ? passes.width - x0 : 20;
      piece.height = y0 ? passes.height - y0 : 13;
      for (const HostPictureLayer& l : passes.layers) piece.AddLayer(l.name, l.channels);
      for (size_t l = 0; l < passes.layers.size(); ++l) {
        size_t n = passes.layers[l].channels.size(), row = static_cast<size_t>(piece.width) * n;
        for (int y = 0; y < piece.height; ++y)
          std::copy_n(&passes.layers[l].floats[static_cast<size_t>((y0 + y) * passes.width + x0) * n], row,
                      &piece.layers[l].floats[static_cast<size_t>(y) * row]);
      }
      ASSERT_TRUE(HostWritePicture(Path("piece.exr"), piece, {}, &err)) << err;
      ASSERT_TRUE(HostReadPicture(Path("piece.exr"), &back, &err)) << err;
      ASSERT_TRUE(HostPlacePicture(back, x0, y0, &whole));
    }
  ASSERT_TRUE(HostWritePicture(Path("assembled.exr"), whole, Options(HostPictureDepth::kHalf, "", 2), &err)) << err;
  EXPECT_EQ(Read(Path("assembled.exr")), Read(Path("c.exr")));
  EXPECT_FALSE(HostPlacePicture(passes, 1, 0, &whole));

  // 8-bit samples of a picture read go out as they came in.
  HostPicture read;
  ASSERT_TRUE(HostReadPicture(Path("a.png"), &read, &err)) << err;
  ASSERT_TRUE(HostWritePicture(Path("again.png"), read, {}, &err)) << err;
  EXPECT_EQ(Read(Path("again.png")), Read(Path("a.png")));
  // A device takes the file as it is made; OpenEXR's is sent whole.
  HostPictureWriteOptions exr;
  exr.format = HostPictureFormat::kExr;
  EXPECT_TRUE(HostWritePicture("/dev/null", passes, exr, &err)) << err;
  EXPECT_FALSE(HostWritePicture(dir.string(), rgba, {}, &err));
  EXPECT_NE(err.find("folder"), std::string::npos) << err;
}

TEST_F(PictureFiles, AnAbandonedOrShortWriteLeavesTheOldFile) {
  HostPicture p = Passes(16, 40);
  for (const char* name : {"old.exr", "old.png"}) {
    Write(Path(name), "the old file");
    HostPicture rows = std::string(name).ends_with(".png") ? Rgba(16, 40) : p;
    std::string err;
    {
      auto w = HostPictureWriter::Begin(Path(name), rows.Shape(), {}, &err);
      ASSERT_TRUE(w) << err;
      ASSERT_TRUE(w->WriteRows(rows, 0, 20, &err)) << err;
      EXPECT_FALSE(w->WriteRows(rows, 30, 20, &err)) << "past the source's last row";
      EXPECT_FALSE(w->Finish(&err)) << "once broken, never finished";
    }
    {
      auto w = HostPictureWriter::Begin(Path(name), rows.Shape(), {}, &err);
      ASSERT_TRUE(w->WriteRows(rows, 0, 39, &err)) << err;
      EXPECT_FALSE(w->Finish(&err));
      EXPECT_NE(err.find("only 39 of its 40 rows"), std::string::npos) << err;
    }
    { auto abandoned = HostPictureWriter::Begin(Path(name), rows.Shape(), {}, &err); }
    EXPECT_EQ(Read(Path(name)), "the old file");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << "a temporary was left";
}

TEST_F(PictureFiles, HostileFilesGiveOneLineErrorsNamingTheFile) {
  std::string err;
  auto refused = [&](const std::string& path, const std::string& why) {
    HostPicture p;
    HostPictureInfo info;
    EXPECT_FALSE(HostReadPicture(path, &p, &err)) << path;
    EXPECT_EQ(err.rfind(path + ": ", 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), std::string::npos) << err;
    EXPECT_NE(err.find(why), std::string::npos) << err;
    // A probe says the same, or that the rows are not whole.
    EXPECT_FALSE(HostProbePicture(path, &info, &err) && info.complete) << path;
  };
  HostPicture p = Passes(64, 64);
  ASSERT_TRUE(HostWritePicture(Path("good.exr"), p, {}, &err)) << err;
  std::string good = Read(Path("good.exr"));
  HostPictureInfo info;
  ASSERT_TRUE(HostProbePicture(Path("good.exr"), &info, &err)) << err;
  EXPECT_TRUE(info.complete);
  EXPECT_EQ(info.shape, p.Shape());
  EXPECT_EQ(info.type, HostSampleType::kHalf);
  // Cut anywhere: in the header, in the chunk table, in the rows.
  for (size_t cut : {size_t{6}, size_t{40}, good.size() / 8, good.size() / 2, good.size() - 1}) {
    Write(Path("cut.exr"), good.substr(0, cut));
    refused(Path("cut.exr"), "");
  }
  // A header that claims 2^30 x 2^30 pixels.
  std::string huge = good;
  size_t at = huge.find(std::string("dataWindow\0box2i\0", 17));
  ASSERT_NE(at, std::string::npos);
  for (int k : {8, 12}) {
    int32_t last = (1 << 30) - 1;
    std::memcpy(&huge[at + 17 + 4 + static_cast<size_t>(k)], &last, 4);
  }
  Write(Path("huge.exr"), huge);
  refused(Path("huge.exr"), "1073741824 x 1073741824 pixels");

  // A 16-bit PNG of 60000 x 60000 pixels in a few bytes.
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string c;
    for (uint32_t v : {static_cast<uint32_t>(data.size())})
      for (int s = 24; s >= 0; s -= 8) c += static_cast<char>(v >> s);
    std::string body = type + data;
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size()));
    c += body;
    for (int s = 24; s >= 0; s -= 8) c += static_cast<char>(crc >> s);
    return c;
  };
  std::string ihdr = {0, 0, char(0xEA), 0x60, 0, 0, char(0xEA), 0x60, 16, 6, 0, 0, 0};
  std::string zeros(1000, '\0'), deflated(2000, '\0');
  uLongf n = deflated.size();
  compress(reinterpret_cast<Bytef*>(deflated.data()), &n, reinterpret_cast<const Bytef*>(zeros.data()), zeros.size());
  deflated.resize(n);
  Write(Path("bomb.png"), "\x89PNG\r\n\x1a\n" + chunk("IHDR", ihdr) + chunk("IDAT", deflated) + chunk("IEND", ""));
  refused(Path("bomb.png"), "60000 x 60000 pixels, more than the pixel budget");
  Write(Path("junk.exr"), "v/1\x01 not really");
  refused(Path("junk.exr"), "");
}
