// Models through the import helper, and the host's side of its answer.
#include "geometry/model_import.h"

#include <gtest/gtest.h>
#include <hostside/file_io.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>

#include "counted_calls.h"
#include "geometry/model_wire.h"

namespace fs = std::filesystem;

namespace plughost {
namespace {

const fs::path kModels = GEOMETRY_TEST_MODELS;

Model Import(const std::string& name, const ImportBudget& budget = {}) {
  Model m;
  std::string error;
  EXPECT_TRUE(ImportModel(kModels / name, budget, &m, &error)) << error;
  return m;
}

std::string ImportError(const fs::path& file, const ImportBudget& budget = {}) {
  Model m;
  m.file = "untouched";
  std::string error;
  EXPECT_FALSE(ImportModel(file, budget, &m, &error)) << file;
  EXPECT_EQ(m.file, "untouched") << "a failed import changed the model";
  EXPECT_EQ(error.rfind(file.string() + ": ", 0), 0u) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  return error;
}

// A folder of the test's own, removed afterwards.
struct TempFolder {
  TempFolder() {
    char name[] = "/tmp/geometry-test-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~TempFolder() { fs::remove_all(path); }
  fs::path path;
};

void WriteFile(const fs::path& file, const std::string& text, bool executable = false) {
  std::ofstream(file, std::ios::binary) << text;
  if (executable) fs::permissions(file, fs::perms::owner_all);
}

std::set<std::string> FilesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(folder)) names.insert(e.path().string());
  return names;
}

TEST(ModelImport, ThePlaneInEveryFormat) {
  for (const char* name : {"plane.obj", "plane.gltf", "plane.glb", "plane.ply", "plane.stl", "plane.fbx"}) {
    SCOPED_TRACE(name);
    Model m = Import(name);
    ASSERT_EQ(m.meshes.size(), 1u);
    const Mesh& mesh = m.meshes[0];
    EXPECT_EQ(mesh.VertexCount(), 4u);
    EXPECT_EQ(mesh.TriangleCount(), 2u);
    EXPECT_TRUE(mesh.objectToWorld.IsIdentity());
    EXPECT_EQ(m.bounds.min, Point3(-1.0f, -1.0f, 0.0f));
    EXPECT_EQ(m.bounds.max, Point3(1.0f, 1.0f, 0.0f));
    EXPECT_FALSE(m.camera.has_value());
    // STL has no UVs; FBX has no normals here, so they are made.
    EXPECT_EQ(mesh.uvw.size(), std::string(name) == "plane.stl" ? 0u : 1u);
    EXPECT_EQ(mesh.normalsFromFile, std::string(name) != "plane.fbx");
    for (size_t v = 0; v < mesh.VertexCount(); ++v) {
      const Point3& p = mesh.positions[v];
      EXPECT_EQ(mesh.normals[v], Point3(0.0f, 0.0f, 1.0f));
      if (!mesh.uvw.empty()) {
        EXPECT_EQ(mesh.uvw[0][v], Point3((p.x + 1.0f) / 2.0f, (p.y + 1.0f) / 2.0f, 0.0f));
      }
    }
    // Counter-clockwise seen from +z, as the file has it.
    for (size_t t = 0; t < 2; ++t) {
      const uint32_t* i = &mesh.indices[3 * t];
      Point3 n = (mesh.positions[i[1]] - mesh.positions[i[0]]) ^ (mesh.positions[i[2]] - mesh.positions[i[0]]);
      EXPECT_GT(n.z, 0.0f);
    }
  }
}

TEST(ModelImport, MadeNormalsAreSmoothAcrossUvSeams) {
  for (const char* name : {"cube.obj", "cube.gltf", "cube.glb"}) {
    SCOPED_TRACE(name);
    Model m = Import(name);
    ASSERT_EQ(m.meshes.size(), 1u);
    const Mesh& cube = m.meshes[0];
    EXPECT_EQ(cube.TriangleCount(), 12u);
    EXPECT_GT(cube.VertexCount(), 8u);  // corners split where the faces' UVs differ
    EXPECT_FALSE(cube.normalsFromFile);
    // Every copy of a corner points along the corner's diagonal.
    for (size_t v = 0; v < cube.VertexCount(); ++v) {
      Point3 expected = cube.positions[v].Normalize();
      for (int a = 0; a < 3; ++a) EXPECT_NEAR(cube.normals[v][a], expected[a], 1e-6f) << "vertex " << v;
    }
  }
}

TEST(ModelImport, SeveralMapChannelsAndTheFileNormals) {
  for (const char* name : {"sphere.gltf", "sphere.glb", "sphere.obj"}) {
    SCOPED_TRACE(name);
    Model m = Import(name);
    ASSERT_EQ(m.meshes.size(), 1u);
    const Mesh& s = m.meshes[0];
    bool obj = std::string(name) == "sphere.obj";
    ASSERT_EQ(s.uvw.size(), obj ? 1u : 2u);  // OBJ has one UV set
    EXPECT_TRUE(s.normalsFromFile);
    for (size_t v = 0; v < s.VertexCount(); ++v) {
      if (!obj) {
        EXPECT_EQ(s.uvw[1][v], s.uvw[0][v] * 2.0f) << "vertex " << v;
      }
      EXPECT_NEAR(s.normals[v].Length(), 1.0f, 1e-6f);
    }
    EXPECT_EQ(m.bounds.min, Point3(-1.0f, -1.0f, -1.0f));
    EXPECT_EQ(m.bounds.max, Point3(1.0f, 1.0f, 1.0f));
  }
}

void CheckNodes(const Model& m) {
  ASSERT_EQ(m.meshes.size(), 2u);  // one mesh placed by two nodes
  const Mesh &child = m.meshes[0], &again = m.meshes[1];
  EXPECT_EQ(child.node, "Child");
  EXPECT_EQ(again.node, "Again");
  EXPECT_EQ(child.positions, again.positions);  // object space is the file's
  // Child: turned a quarter about z, scaled by 2, moved 10 along x.
  auto near = [](const Point3& a, const Point3& b) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], b[k], 1e-5f) << k;
  };
  near(WorldPoint(child, Point3(1.0f, 0.0f, 0.0f)), Point3(10.0f, 2.0f, 0.0f));
  near(WorldPoint(child, Point3(0.0f, 1.0f, 0.0f)), Point3(8.0f, 0.0f, 0.0f));
  near(WorldPoint(again, Point3(1.0f, 1.0f, 0.0f)), Point3(1.0f, 6.0f, 0.0f));
  near(m.bounds.min, Point3(-1.0f, -2.0f, 0.0f));
  near(m.bounds.max, Point3(12.0f, 6.0f, 0.0f));
  ASSERT_TRUE(m.camera.has_value());
  EXPECT_EQ(m.camera->position, Point3(0.0f, 0.0f, 10.0f));
  near(m.camera->direction, Point3(0.0f, 0.0f, -1.0f));
  near(m.camera->up, Point3(0.0f, 1.0f, 0.0f));
  EXPECT_NEAR(m.camera->verticalFov, 0.5f, 1e-6f);
  EXPECT_EQ(m.camera->aspect, 1.5f);
}

TEST(ModelImport, NodeTransformsAndTheFileCamera) {
  for (const char* name : {"nodes.gltf", "nodes.glb"}) {
    SCOPED_TRACE(name);
    CheckNodes(Import(name));
  }
}

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's allocator ends a process that it cannot give
// memory to, where the plain one throws.
constexpr bool kAllocatorEndsTheProcess = true;
#else
constexpr bool kAllocatorEndsTheProcess = false;
#endif

TEST(ModelImport, HostileModelsGiveOneLineErrors) {
  const fs::path hostile = kModels / "hostile";
  ImportBudget budget;
  budget.importerMemory = 512ull << 20;
  budget.seconds = 60;
  std::set<std::string> before = FilesIn(hostile);
  struct Case {
    const char* file;
    const char* says;
    bool outOfMemory = false;
  };
  const Case cases[] = {
      {"truncated.glb", "the importer refused it"},
      {"nan.obj", "the position of vertex 2 is not a finite number"},
      {"inf.obj", "the position of vertex 1 is not a finite number"},
      {"nan.gltf", "the position of vertex 0 is not a finite number"},
      {"badindex.obj", "index out of range"},
      {"badindex.gltf", "name vertices that are not there"},
      {"huge.stl", "the importer refused it"},
      {"huge.ply", "memory limit of 536870912 bytes", true},
      // The importer gives up on the geometry it cannot allocate.
      {"bomb.fbx", "holds no triangles", true},
  };
  for (const Case& c : cases) {
    std::string error = ImportError(hostile / c.file, budget);
    const char* says = c.outOfMemory && kAllocatorEndsTheProcess ? "the importer crashed reading it" : c.says;
    EXPECT_NE(error.find(says), std::string::npos) << error;
  }
  rusage children{};
  ::getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(static_cast<uint64_t>(children.ru_maxrss) * 1024, budget.importerMemory + (64ull << 20));
  EXPECT_EQ(FilesIn(hostile), before) << "an import wrote a file";
}

TEST(ModelImport, TheHostChecksBeforeTheHelperStarts) {
  TempFolder tmp;
  EXPECT_NE(ImportError(tmp.path / "model.3ds").find("not a model file"), std::string::npos);
  EXPECT_NE(ImportError(tmp.path / "missing.obj").find("No such file"), std::string::npos);
  fs::create_directory(tmp.path / "folder.obj");
  EXPECT_NE(ImportError(tmp.path / "folder.obj").find("a folder"), std::string::npos);
  ASSERT_EQ(::mkfifo((tmp.path / "fifo.obj").c_str(), 0600), 0);
  EXPECT_NE(ImportError(tmp.path / "fifo.obj").find("not a regular file"), std::string::npos);
  ImportBudget small;
  small.maxFileBytes = 100;
  EXPECT_NE(ImportError(kModels / "plane.glb", small).find("more than the limit of 100"), std::string::npos);
  ImportBudget oneTriangle;
  oneTriangle.maxTriangles = 1;
  EXPECT_NE(ImportError(kModels / "plane.obj", oneTriangle).find("more than the limit of 1 triangles"),
            std::string::npos);
}

TEST(ModelImport, FilesAModelNamesStayInItsFolder) {
  TempFolder tmp;
  fs::create_directory(tmp.path / "sub");
  fs::copy_file(kModels / "plane.bin", tmp.path / "plane.bin");
  std::string text, error;
  ASSERT_TRUE(HostReadRegularFile(kModels / "plane.gltf", 1 << 20, &text, &error)) << error;
  text.replace(text.find("\"plane.bin\""), 11, "\"../plane.bin\"");
  WriteFile(tmp.path / "sub" / "plane.gltf", text);
  EXPECT_NE(ImportError(tmp.path / "sub" / "plane.gltf").find("outside the model's folder"), std::string::npos);
}

TEST(ModelImport, AHelperThatHangsOrCrashes) {
  TempFolder tmp;
  ImportBudget budget;
  budget.seconds = 1;
  budget.helper = tmp.path / "hangs";
  WriteFile(budget.helper, "#!/bin/sh\nexec sleep 30\n", true);
  EXPECT_NE(ImportError(kModels / "plane.obj", budget).find("did not finish within 1 seconds"), std::string::npos);
  budget.seconds = 30;
  budget.helper = tmp.path / "crashes";
  WriteFile(budget.helper, "#!/bin/sh\nprintf 'PHMODEL\\001M'\nkill -SEGV $$\n", true);
  EXPECT_NE(ImportError(kModels / "plane.obj", budget).find("crashed reading it (Segmentation fault)"),
            std::string::npos);
  budget.helper = tmp.path / "missing";
  EXPECT_NE(ImportError(kModels / "plane.obj", budget).find("cannot start the importer"), std::string::npos);
}

// ---- The answer on the pipe -------------------------------------------------

Model SmallModel() {
  Model m;
  Mesh mesh;
  mesh.name = "Tri";
  mesh.positions = {Point3(0.0f, 0.0f, 0.0f), Point3(1.0f, 0.0f, 0.0f), Point3(0.0f, 1.0f, 0.0f)};
  mesh.normals.assign(3, Point3(0.0f, 0.0f, 1.0f));
  mesh.normalsFromFile = true;
  mesh.uvw = {mesh.positions};
  mesh.indices = {0, 1, 2};
  mesh.objectToWorld.SetTrans(Point3(0.0f, 0.0f, 5.0f));
  m.meshes.push_back(mesh);
  return m;
}

std::string Encoded(const Model& m) {
  StringSink sink;
  EXPECT_TRUE(EncodeModel(m, sink));
  return sink.bytes;
}

bool Decode(const std::string& bytes, Model* m, std::string* error, const ImportBudget& budget = {}) {
  MemorySource source(bytes.data(), bytes.size());
  return DecodeModel(source, budget, m, error);
}

TEST(ModelWire, WhatTheHelperWritesTheHostReadsBack) {
  Model sent = SmallModel();
  Camera cam;
  cam.position = Point3(1.0f, 2.0f, 3.0f);
  sent.camera = cam;
  Model got;
  std::string error;
  ASSERT_TRUE(Decode(Encoded(sent), &got, &error)) << error;
  ASSERT_EQ(got.meshes.size(), 1u);
  EXPECT_EQ(got.meshes[0].positions, sent.meshes[0].positions);
  EXPECT_EQ(got.meshes[0].uvw, sent.meshes[0].uvw);
  EXPECT_EQ(got.meshes[0].indices, sent.meshes[0].indices);
  EXPECT_EQ(got.meshes[0].objectToWorld.GetTrans(), Point3(0.0f, 0.0f, 5.0f));
  EXPECT_EQ(got.bounds.min, Point3(0.0f, 0.0f, 5.0f));
  ASSERT_TRUE(got.camera.has_value());
  EXPECT_EQ(got.camera->position, cam.position);
}

TEST(ModelWire, TheHostTrustsNothingItReads) {
  auto refused = [](const Model& m, const char* says, const ImportBudget& budget = {}) {
    Model got;
    std::string error;
    EXPECT_FALSE(Decode(Encoded(m), &got, &error, budget));
    EXPECT_NE(error.find(says), std::string::npos) << error;
  };
  Model m = SmallModel();
  m.meshes[0].indices[2] = 3;
  refused(m, "triangle 0 names vertex 3 of 3");
  m = SmallModel();
  m.meshes[0].uvw[0][1].y = std::numeric_limits<float>::quiet_NaN();
  refused(m, "the UVW of map channel 1 of vertex 1 is not a finite number");
  m = SmallModel();
  m.meshes[0].objectToWorld.SetTrans(Point3(3e38f, 0.0f, 0.0f));
  m.meshes[0].positions[1].x = 3e38f;
  refused(m, "beyond the largest number");
  m = SmallModel();
  m.meshes[0].name = "two\nlines";
  m.meshes[0].normals[0].z = std::numeric_limits<float>::infinity();
  refused(m, "mesh 0 ('two?lines'): the normal of vertex 0");
  ImportBudget tight;
  tight.maxTriangles = 0;
  refused(SmallModel(), "more than 0 triangles", tight);

  std::string bytes = Encoded(SmallModel());
  Model got;
  std::string error;
  EXPECT_FALSE(Decode(bytes.substr(0, bytes.size() - 5), &got, &error));
  EXPECT_EQ(error, "it stops early");
  EXPECT_FALSE(Decode(bytes + "x", &got, &error));
  EXPECT_NE(error.find("does not end as it must"), std::string::npos);
  StringSink sink;
  EncodeError("it is not a model", sink);
  EXPECT_FALSE(Decode(sink.bytes, &got, &error));
  EXPECT_EQ(error, "it is not a model");
}

TEST(ModelWire, CountsAreCheckedBeforeAnythingIsAllocated) {
  // A mesh that claims 2^32 - 1 vertices and 2^31 triangles in a few bytes.
  std::string bytes = Encoded(SmallModel());
  size_t counts = bytes.find("Tri") + 3 + 4 + 48;
  uint32_t big[2] = {0xFFFFFFFFu, 0x80000000u};
  bytes.replace(counts, 8, reinterpret_cast<const char*>(big), 8);
  ImportBudget budget;
  budget.maxTriangles = 1ull << 40;
  Model got;
  std::string error;
  long allocations = AllocationsSoFar();
  EXPECT_FALSE(Decode(bytes, &got, &error, budget));
  EXPECT_LT(AllocationsSoFar() - allocations, 20);
  EXPECT_NE(error.find("bytes, the limit"), std::string::npos) << error;
}

}  // namespace
}  // namespace plughost
