#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <filesystem>
#include <fstream>

#include "hostside/class_registry.h"
#include "hostside/host_maps.h"
#include "hostside/picture_cache.h"
#include "hostside/png_image.h"
#include "hostside/shade_context.h"
#include "hostside/ui.h"
#include "imtl.h"
#include "iparamb.h"
#include "test_node.h"

namespace fs = std::filesystem;

namespace {

template <typename T>
T* Create(SClass_ID sc, Class_ID id) {
  return static_cast<T*>(CreateInstance(sc, id));
}

// Holds an object alive through a reference, as a texture holds its parts.
struct Held {
  explicit Held(ReferenceTarget* t) : owner(new TestNode(1)) { owner->ReplaceReference(0, t); }
  ~Held() { owner->DeleteThis(); }
  TestNode* owner;
};

Point3 XYZ(XYZGen* gen, HostShadeContext& sc) {
  Interval v = FOREVER;
  gen->Update(sc.time, v);
  Point3 p, dp;
  gen->GetXYZ(sc, p, dp);
  return p;
}

IParamBlock* Block(ReferenceTarget* t) { return static_cast<IParamBlock*>(t->GetReference(0)); }

}  // namespace

TEST(XYZGen, DefaultsPassThePointThroughBitForBit) {
  XYZGen* gen = GetNewDefaultXYZGen();
  Held held(gen);
  HostShadeContext sc;
  for (Point3 p : {Point3(-0.0f, 0.0f, -0.0f), Point3(1.1f, -2.7e-30f, 3.4e30f), Point3(0.1f, 0.2f, 0.3f)}) {
    sc.pObj = p;
    Point3 q = XYZ(gen, sc);
    EXPECT_EQ(std::bit_cast<uint32_t>(q.x), std::bit_cast<uint32_t>(p.x));
    EXPECT_EQ(std::bit_cast<uint32_t>(q.y), std::bit_cast<uint32_t>(p.y));
    EXPECT_EQ(std::bit_cast<uint32_t>(q.z), std::bit_cast<uint32_t>(p.z));
  }
  EXPECT_EQ(gen->Validity(0), FOREVER);
}

TEST(XYZGen, OffsetTilingAngleAndSource) {
  XYZGen* gen = GetNewDefaultXYZGen();
  Held held(gen);
  HostShadeContext sc;
  sc.pObj = Point3(1.0f, 2.0f, 3.0f);
  sc.pWorld = Point3(10.0f, 20.0f, 30.0f);
  Point3 off(1.0f, 1.0f, 1.0f), tile(2.0f, 2.0f, 2.0f), angle(0.0f, 0.0f, 90.0f);
  Block(gen)->SetValue(1, 0, off);
  EXPECT_EQ(XYZ(gen, sc), Point3(2.0f, 3.0f, 4.0f));  // the change message emptied the cache
  Block(gen)->SetValue(2, 0, tile);
  EXPECT_EQ(XYZ(gen, sc), Point3(4.0f, 6.0f, 8.0f));
  Block(gen)->SetValue(3, 0, angle);
  Point3 r = XYZ(gen, sc);
  EXPECT_NEAR(r.x, -6.0f, 1e-5f);
  EXPECT_NEAR(r.y, 4.0f, 1e-5f);
  EXPECT_EQ(r.z, 8.0f);
  Block(gen)->SetValue(0, 0, 1);  // world XYZ
  Point3 zero(0.0f, 0.0f, 0.0f);
  Block(gen)->SetValue(3, 0, zero);
  EXPECT_EQ(XYZ(gen, sc), Point3(22.0f, 42.0f, 62.0f));
}

TEST(XYZGen, AnimatedOffsetNarrowsValidity) {
  XYZGen* gen = GetNewDefaultXYZGen();
  Held held(gen);
  SetAnimateMode(TRUE);
  Point3 off(5.0f, 0.0f, 0.0f);
  Block(gen)->SetValue(1, 160, off);
  SetAnimateMode(FALSE);
  EXPECT_EQ(gen->Validity(80), Interval(80, 80));
  EXPECT_EQ(gen->Validity(400), Interval(160, TIME_PosInfinity));
}

TEST(HostMaps, CheckerAlternatesAndClones) {
  auto* checker = Create<Texmap>(TEXMAP_CLASS_ID, CHECKER_CLASS);
  ASSERT_NE(checker, nullptr);
  Held held(checker);
  Interval v = FOREVER;
  checker->Update(0, v);
  HostShadeContext sc;
  sc.uvw = Point3(0.25f, 0.25f, 0.0f);
  EXPECT_EQ(checker->EvalColor(sc), AColor(0.0f, 0.0f, 0.0f, 1.0f));
  sc.uvw = Point3(0.75f, 0.25f, 0.0f);
  EXPECT_EQ(checker->EvalColor(sc), AColor(1.0f, 1.0f, 1.0f, 1.0f));
  EXPECT_EQ(checker->EvalMono(sc), 1.0f);
  sc.uvw = Point3(-0.25f, 0.25f, 0.0f);  // repeats below 0
  EXPECT_EQ(checker->EvalColor(sc), AColor(1.0f, 1.0f, 1.0f, 1.0f));
  EXPECT_EQ(checker->EvalNormalPerturb(sc), Point3(0.0f, 0.0f, 0.0f));

  checker->SetName("Map #1");
  EXPECT_STREQ(checker->GetFullName(), "Map #1 (Checker)");
  auto* copy = static_cast<Texmap*>(CloneRefHierarchy(checker));
  Held heldCopy(copy);
  EXPECT_STREQ(copy->GetFullName(), "Map #1 (Checker)");
  EXPECT_NE(copy->GetReference(0), checker->GetReference(0));
  v = FOREVER;
  copy->Update(0, v);
  EXPECT_EQ(copy->EvalColor(sc), AColor(1.0f, 1.0f, 1.0f, 1.0f));
}

TEST(HostMaps, BitmapReadsAPngAndSurvivesAMissingOne) {
  fs::path dir = fs::temp_directory_path() / ("hostmaps-" + std::to_string(getpid()));
  fs::create_directories(dir);
  HostImage img;
  img.width = 2;
  img.height = 2;
  // top row red, green; bottom row blue, half-transparent white
  img.rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128};
  std::string err;
  ASSERT_TRUE(HostWritePng((dir / "t.png").string(), img, &err)) << err;

  auto* bitmap = Create<Texmap>(TEXMAP_CLASS_ID, BITMAP_TEX_CLASS);
  Held held(bitmap);
  ASSERT_TRUE(HostSetBitmapFile(bitmap, (dir / "t.png").c_str(), &err)) << err;
  Interval v = FOREVER;
  bitmap->Update(0, v);
  HostShadeContext sc;
  sc.uvw = Point3(0.25f, 0.75f, 0.0f);  // v runs up: top-left
  EXPECT_EQ(bitmap->EvalColor(sc), AColor(1.0f, 0.0f, 0.0f, 1.0f));
  sc.uvw = Point3(0.75f, 0.25f, 0.0f);
  AColor c = bitmap->EvalColor(sc);
  EXPECT_EQ(c.r, 1.0f);
  EXPECT_EQ(c.a, 128 / 255.0f);

  EXPECT_FALSE(HostSetBitmapFile(bitmap, (dir / "missing.png").c_str(), &err));
  EXPECT_NE(err.find("missing.png"), std::string::npos);
  EXPECT_EQ(bitmap->EvalColor(sc), AColor(0.0f, 0.0f, 0.0f, 0.0f));
  EXPECT_FALSE(HostSetBitmapFile(nullptr, "x", &err));
  fs::remove_all(dir);
}

// The host's maps open their own rollups in the material editor: the
// checker's colours and tilings edit its block, and a bitmap names its file
// in its rollup and on a map button.
TEST(HostMaps, RollupsEditTheBlockAndABitmapNamesItsFile) {
  HostMtlEditor ed;
  auto* checker = Create<Texmap>(TEXMAP_CLASS_ID, CHECKER_CLASS);
  Held heldChecker(checker);
  ASSERT_NE(ed.Show(checker), nullptr);
  ASSERT_EQ(ed.Rollups().size(), 1u);
  EXPECT_EQ(ed.Rollups()[0].title, "Checker Parameters");
  HWND page = ed.Rollups()[0].page;
  std::vector<HWND> swatches, spinners;
  std::vector<HWND> controls = HostGetWindowInfo(page)->children;
  for (HWND c : controls) {
    std::optional<HostWindowInfo> w = HostGetWindowInfo(c);
    if (w->kind == HostValueKind::kColor) swatches.push_back(c);
    if (w->kind == HostValueKind::kSpinner) spinners.push_back(c);
  }
  ASSERT_EQ(swatches.size(), 2u);
  ASSERT_EQ(spinners.size(), 2u);
  auto* pb = static_cast<IParamBlock*>(checker->GetReference(0));
  EXPECT_TRUE(HostPickColor(swatches[1], RGB(255, 0, 0)));
  Color c2;
  Interval iv = FOREVER;
  pb->GetValue(1, 0, c2, iv);
  EXPECT_EQ(c2, Color(1.0f, 0.0f, 0.0f));
  EXPECT_TRUE(HostDragSpinner(spinners[0], 3.0f));
  float tu = 0.0f;
  pb->GetValue(2, 0, tu, iv);
  EXPECT_EQ(tu, 3.0f);

  fs::path dir = fs::temp_directory_path() / ("hostmaps-ui-" + std::to_string(getpid()));
  fs::create_directories(dir);
  HostImage img;
  img.width = img.height = 1;
  img.rgba = {1, 2, 3, 255};
  std::string err;
  ASSERT_TRUE(HostWritePng((dir / "dirt.png").string(), img, &err)) << err;
  auto* bitmap = Create<Texmap>(TEXMAP_CLASS_ID, BITMAP_TEX_CLASS);
  Held heldBitmap(bitmap);
  EXPECT_STREQ(bitmap->GetFullName().data(), "Bitmap");
  ASSERT_TRUE(HostSetBitmapFile(bitmap, (dir / "dirt.png").c_str(), &err)) << err;
  EXPECT_STREQ(bitmap->GetFullName().data(), "Bitmap: dirt.png");
  bitmap->SetName("Ground");
  EXPECT_STREQ(bitmap->GetFullName().data(), "Ground (Bitmap: dirt.png)");
  ASSERT_NE(ed.Show(bitmap), nullptr);
  ASSERT_EQ(ed.Rollups().size(), 1u);
  EXPECT_EQ(ed.Rollups()[0].title, "Bitmap Parameters");
  bool named = false;
  std::vector<HWND> bitmapControls = HostGetWindowInfo(ed.Rollups()[0].page)->children;
  for (HWND c : bitmapControls) named = named || HostGetWindowInfo(c)->text == (dir / "dirt.png").string();
  EXPECT_TRUE(named);
  ed.CloseDialog();
  fs::remove_all(dir);
}

// What the writers write, the bitmap samples as written: 16-bit and float
// values exactly, a single channel as grey.
TEST(HostMaps, BitmapReadsSixteenBitsAndFloatsAtFullPrecision) {
  fs::path dir = fs::temp_directory_path() / ("hostmaps-full-" + std::to_string(getpid()));
  fs::create_directories(dir);
  HostPicture colour;
  colour.width = 2;
  colour.height = 1;
  colour.AddLayer("", {"R", "G", "B", "A"}).floats = {0.1234567f, 3.5f, -0.25f, 0.75f, 1e-3f, 0.5f, 0.2f, 1.0f};
  HostPicture grey;
  grey.width = 2;
  grey.height = 1;
  grey.AddLayer("", {"Y"}).floats = {0.3f, 0.9f};
  HostPictureWriteOptions floats, sixteen;
  floats.depth = HostPictureDepth::kFloat;
  sixteen.depth = HostPictureDepth::k16;
  std::string err;
  ASSERT_TRUE(HostWritePicture((dir / "c.exr").string(), colour, floats, &err)) << err;
  ASSERT_TRUE(HostWritePicture((dir / "c.png").string(), colour, sixteen, &err)) << err;
  ASSERT_TRUE(HostWritePicture((dir / "y.exr").string(), grey, floats, &err)) << err;

  auto* bitmap = Create<Texmap>(TEXMAP_CLASS_ID, BITMAP_TEX_CLASS);
  Held held(bitmap);
  HostShadeContext sc;
  sc.uvw = Point3(0.25f, 0.5f, 0.0f);
  auto at = [&](const fs::path& file) {
    EXPECT_TRUE(HostSetBitmapFile(bitmap, file.c_str(), &err)) << err;
    Interval v = FOREVER;
    bitmap->Update(0, v);
    return bitmap->EvalColor(sc);
  };
  EXPECT_EQ(at(dir / "c.exr"), AColor(0.1234567f, 3.5f, -0.25f, 0.75f));
  EXPECT_EQ(at(dir / "c.png"), AColor(HostQuantize16(0.1234567f) / 65535.0f, 1.0f, 0.0f, 49151 / 65535.0f));
  EXPECT_EQ(at(dir / "y.exr"), AColor(0.3f, 0.3f, 0.3f, 1.0f));
  fs::remove_all(dir);
}

// Maps naming one file, or files of the same bytes, share one decoded
// picture; all those held stay within the pixel budget together.
TEST(HostMaps, BitmapsShareDecodedPicturesWithinOneBudget) {
  fs::path dir = fs::temp_directory_path() / ("hostmaps-shared-" + std::to_string(getpid()));
  fs::create_directories(dir);
  HostImage img{16, 8, std::vector<uint8_t>(16 * 8 * 4, 200)};
  std::string err;
  ASSERT_TRUE(HostWritePng((dir / "a.png").string(), img, &err)) << err;
  fs::copy_file(dir / "a.png", dir / "same.png");
  img.rgba.assign(img.rgba.size(), 10);
  ASSERT_TRUE(HostWritePng((dir / "other.png").string(), img, &err)) << err;

  const HostPictureCacheUse before = HostPictureCacheNow();
  const uint64_t budget = HostPixelBudget();
  {
    std::vector<std::unique_ptr<Held>> maps;
    auto load = [&](const char* name) {
      auto* bitmap = Create<Texmap>(TEXMAP_CLASS_ID, BITMAP_TEX_CLASS);
      maps.push_back(std::make_unique<Held>(bitmap));
      return HostSetBitmapFile(bitmap, (dir / name).c_str(), &err);
    };
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(load("a.png")) << err;
    ASSERT_TRUE(load("same.png")) << err;
    HostPictureCacheUse now = HostPictureCacheNow();
    EXPECT_EQ(now.decodes, before.decodes + 1);
    EXPECT_EQ(now.pictures, before.pictures + 1);
    EXPECT_EQ(now.pixels, before.pixels + 128);

    HostSetPixelBudget(before.pixels + 200);
    EXPECT_FALSE(load("other.png"));
    EXPECT_EQ(err, (dir / "other.png").string() + ": the picture is 16 x 8 pixels; with the " +
                       std::to_string(before.pixels + 128) +
                       " pixels of pictures already loaded that is more than the pixel budget of " +
                       std::to_string(before.pixels + 200));
    // A file changed since is decoded again; the maps holding the old
    // picture keep it.
    fs::remove(dir / "same.png");
    fs::copy_file(dir / "other.png", dir / "same.png");
    HostSetPixelBudget(budget);
    ASSERT_TRUE(load("same.png")) << err;
    EXPECT_EQ(HostPictureCacheNow().decodes, before.decodes + 2);
  }
  EXPECT_EQ(HostPictureCacheNow().pixels, before.pixels);
  EXPECT_EQ(HostPictureCacheNow().pictures, before.pictures);
  fs::remove_all(dir);
}

TEST(PngImage, FailedWriteLeavesTheOldFileAndNoPartial) {
  fs::path dir = fs::temp_directory_path() / ("png-" + std::to_string(getpid()));
  fs::create_directories(dir);
  HostImage img;
  img.width = 1;
  img.height = 1;
  img.rgba = {1, 2, 3, 4};
  std::string err;
  ASSERT_TRUE(HostWritePng((dir / "a.png").string(), img, &err));
  HostImage bad = img;
  bad.rgba.pop_back();
  EXPECT_FALSE(HostWritePng((dir / "a.png").string(), bad, &err));
  EXPECT_FALSE(HostWritePng((dir / "no-such-dir" / "b.png").string(), img, &err));
  EXPECT_NE(err.find("cannot write"), std::string::npos);
  HostImage back;
  ASSERT_TRUE(HostReadPng((dir / "a.png").string(), back, &err));
  EXPECT_EQ(back.rgba, img.rgba);
  int files = 0;
  for (auto& e : fs::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1);
  std::ofstream(dir / "junk.png") << "not a png";
  EXPECT_FALSE(HostReadPng((dir / "junk.png").string(), back, &err));

  // In memory: a PNG file that reads back as the picture.
  std::vector<uint8_t> png;
  ASSERT_TRUE(HostEncodePng(img, &png, &err)) << err;
  std::ofstream(dir / "m.png", std::ios::binary).write(reinterpret_cast<const char*>(png.data()), png.size());
  ASSERT_TRUE(HostReadPng((dir / "m.png").string(), back, &err)) << err;
  EXPECT_EQ(back.rgba, img.rgba);
  EXPECT_FALSE(HostEncodePng(bad, &png, &err));
  fs::remove_all(dir);
}
