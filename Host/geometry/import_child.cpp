// plughost-import: reads one model file with assimp and writes its triangles
// to standard output (model_wire.h). Started by ImportModel
// (model_import.cpp), never by hand:
//
//   plughost-import --max-file-bytes=N --max-triangles=N --max-meshes=N
//                   --memory=N --seconds=N FILE
//
// It limits itself before anything reads the file, and exits 0 after a
// model, 1 after an error message; a crash is the host's to report.
#include <assimp/importerdesc.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/version.h>
#include <hostside/file_io.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <assimp/DefaultLogger.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/Logger.hpp>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "model_wire.h"

namespace fs = std::filesystem;
using namespace plughost;

namespace {

// ---- Limits -----------------------------------------------------------------

uint64_t AddressSpaceNow() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  statm >> pages;
  return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

void SetLimit(int resource, uint64_t soft, uint64_t hard) {
  rlimit r{static_cast<rlim_t>(soft), static_cast<rlim_t>(hard)};
  (void)::setrlimit(resource, &r);
}

// The address space may grow by `memory` from what the program holds at
// start: counted from there, the limit also works under the address
// sanitizer, which reserves terabytes before main.
void LimitSelf(uint64_t memory, int seconds) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  uint64_t as = AddressSpaceNow() + memory;
  SetLimit(RLIMIT_AS, as, as);
  // The host kills it at its deadline; this is for a host that could not.
  SetLimit(RLIMIT_CPU, static_cast<uint64_t>(seconds) + 1, static_cast<uint64_t>(seconds) + 2);
  SetLimit(RLIMIT_FSIZE, 0, 0);  // it writes no file, so it leaves none half-written
  SetLimit(RLIMIT_CORE, 0, 0);
}

// ---- Files ------------------------------------------------------------------

class MemoryStream : public Assimp::IOStream {
 public:
  explicit MemoryStream(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}
  size_t Read(void* buffer, size_t size, size_t count) override {
    if (size == 0 || count == 0) return 0;
    size_t items = std::min(count, (bytes_->size() - at_) / size);
    std::memcpy(buffer, bytes_->data() + at_, items * size);
    at_ += items * size;
    return items;
  }
  size_t Write(const void*, size_t, size_t) override { return 0; }
  // From the end, the offset counts back, as in assimp's own memory stream.
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    size_t size = bytes_->size();
    if (origin == aiOrigin_END) {
      if (offset > size) return aiReturn_FAILURE;
      at_ = size - offset;
      return aiReturn_SUCCESS;
    }
    size_t base = origin == aiOrigin_CUR ? at_ : 0;
    if (offset > size - base) return aiReturn_FAILURE;
    at_ = base + offset;
    return aiReturn_SUCCESS;
  }
  size_t Tell() const override { return at_; }
  size_t FileSize() const override { return bytes_->size(); }
  void Flush() override {}

 private:
  std::shared_ptr<const std::string> bytes_;
  size_t at_ = 0;
};

// Every file the importer opens: a regular file in the model's folder or
// below, read whole through the host layer with the size limit. The last
// file read is kept, since importers open the model several times.
class FolderFiles : public Assimp::IOSystem {
 public:
  FolderFiles(const fs::path& model, uint64_t maxBytes)
      : folder_(fs::absolute(model).lexically_normal().parent_path()), maxBytes_(maxBytes) {}

  bool Exists(const char* file) const override {
    fs::path p;
    HostFileIdentity identity;
    std::string why;
    return Inside(file, &p) && HostIdentifyRegularFile(p, &identity, &why);
  }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* file, const char* mode) override {
    fs::path p;
    if (!mode || std::strpbrk(mode, "wa+")) return nullptr;
    if (!Inside(file, &p)) {
      if (firstRefusal_.empty() && file) firstRefusal_ = std::string(file) + ": it lies outside the model's folder";
      return nullptr;
    }
    if (p != lastPath_ || !last_) {
      std::string bytes, why;
      if (!HostReadRegularFile(p, maxBytes_, &bytes, &why)) {
        if (firstRefusal_.empty()) firstRefusal_ = p.filename().string() + ": " + why;
        return nullptr;
      }
      last_ = std::make_shared<const std::string>(std::move(bytes));
      lastPath_ = p;
    }
    return new MemoryStream(last_);
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }
  // Why the first file that could not be read was refused, if one was.
  const std::string& FirstRefusal() const { return firstRefusal_; }

 private:
  bool Inside(const char* file, fs::path* out) const {
    if (!file || !*file) return false;
    fs::path p = fs::absolute(fs::path(file)).lexically_normal();
    auto [end, rest] = std::mismatch(folder_.begin(), folder_.end(), p.begin(), p.end());
    if (end != folder_.end() || rest == p.end()) return false;
    *out = p;
    return true;
  }

  fs::path folder_;
  uint64_t maxBytes_;
  fs::path lastPath_;
  std::shared_ptr<const std::string> last_;
  std::string firstRefusal_;
};

// Only the formats the host reads: a file cannot reach any other parser of
// the library by its content.
void KeepOnlyOurFormats(Assimp::Importer& importer) {
  std::vector<Assimp::BaseImporter*> others;
  for (size_t i = 0; i < importer.GetImporterCount(); ++i) {
    const aiImporterDesc* d = importer.GetImporterInfo(i);
    std::string exts = d && d->mFileExtensions ? d->mFileExtensions : "";
    bool ours = false;
    size_t at = 0;
    while (at < exts.size()) {
      size_t end = exts.find(' ', at);
      if (end == std::string::npos) end = exts.size();
      if (IsModelFileName("x." + exts.substr(at, end - at))) ours = true;
      at = end + 1;
    }
    if (!ours) others.push_back(importer.GetImporter(i));
  }
  for (Assimp::BaseImporter* imp : others) importer.UnregisterLoader(imp);
}

// The importer's warnings. Some importers drop what they cannot use and only
// warn: triangles that name vertices the file does not have are an error.
class Warnings : public Assimp::Logger {
 public:
  bool attachStream(Assimp::LogStream*, unsigned int) override { return true; }
  bool detachStream(Assimp::LogStream*, unsigned int) override { return true; }
  void OnDebug(const char*) override {}
  void OnVerboseDebug(const char*) override {}
  void OnInfo(const char*) override {}
  void OnError(const char* message) override {
    if (firstError_.empty() && message) firstError_ = message;
  }
  void OnWarn(const char* message) override {
    std::string m = message ? message : "";
    std::string lower = m;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (dropped_.empty() &&
        (lower.find("out-of-range") != std::string::npos || lower.find("out of range") != std::string::npos))
      dropped_ = m;
  }
  // The first warning of dropped triangles, or empty.
  const std::string& Dropped() const { return dropped_; }
  // The first error it reported and went on from, or empty.
  const std::string& FirstError() const { return firstError_; }

 private:
  std::string dropped_, firstError_;
};

// ---- The scene --------------------------------------------------------------

// A transform in double, for column vectors as assimp keeps them.
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
};
Affine Times(const Affine& a, const aiMatrix4x4& b) {
  const float* bm[3] = {&b.a1, &b.b1, &b.c1};
  Affine r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = a.m[i][0] * bm[0][j] + a.m[i][1] * bm[1][j] + a.m[i][2] * bm[2][j];
      r.m[i][j] = j == 3 ? s + a.m[i][3] : s;
    }
  return r;
}
Matrix3 ToRowMatrix(const Affine& a) {
  return Matrix3(Point3(a.m[0][0], a.m[1][0], a.m[2][0]), Point3(a.m[0][1], a.m[1][1], a.m[2][1]),
                 Point3(a.m[0][2], a.m[1][2], a.m[2][2]), Point3(a.m[0][3], a.m[1][3], a.m[2][3]));
}
Point3 ApplyPoint(const Affine& a, const aiVector3D& v) {
  return Point3(a.m[0][0] * v.x + a.m[0][1] * v.y + a.m[0][2] * v.z + a.m[0][3],
                a.m[1][0] * v.x + a.m[1][1] * v.y + a.m[1][2] * v.z + a.m[1][3],
                a.m[2][0] * v.x + a.m[2][1] * v.y + a.m[2][2] * v.z + a.m[2][3]);
}
Point3 ApplyVector(const Affine& a, const aiVector3D& v) {
  return Point3(a.m[0][0] * v.x + a.m[0][1] * v.y + a.m[0][2] * v.z,
                a.m[1][0] * v.x + a.m[1][1] * v.y + a.m[1][2] * v.z,
                a.m[2][0] * v.x + a.m[2][1] * v.y + a.m[2][2] * v.z);
}
Point3 P3(const aiVector3D& v) { return Point3(v.x, v.y, v.z); }

bool CopyMesh(const aiMesh& src, const std::string& node, const Affine& world, Mesh* out) {
  out->name = src.mName.C_Str();
  out->node = node;
  out->objectToWorld = ToRowMatrix(world);
  out->positions.reserve(src.mNumVertices);
  for (unsigned v = 0; v < src.mNumVertices; ++v) out->positions.push_back(P3(src.mVertices[v]));
  if (src.mNormals) {
    out->normalsFromFile = true;
    for (unsigned v = 0; v < src.mNumVertices; ++v) out->normals.push_back(P3(src.mNormals[v]));
    if (src.mTangents && src.mBitangents) {
      for (unsigned v = 0; v < src.mNumVertices; ++v) {
        Point3 n = P3(src.mNormals[v]), t = P3(src.mTangents[v]), b = P3(src.mBitangents[v]);
        out->tangents.push_back(Tangent{t, ((n ^ t) % b) < 0.0f ? -1.0f : 1.0f});
      }
    }
  }
  for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS && src.mTextureCoords[c]; ++c) {
    std::vector<Point3> uv;
    uv.reserve(src.mNumVertices);
    for (unsigned v = 0; v < src.mNumVertices; ++v) uv.push_back(P3(src.mTextureCoords[c][v]));
    out->uvw.push_back(std::move(uv));
  }
  for (unsigned f = 0; f < src.mNumFaces; ++f) {
    const aiFace& face = src.mFaces[f];
    if (face.mNumIndices != 3) continue;
    out->indices.insert(out->indices.end(), face.mIndices, face.mIndices + 3);
  }
  return !out->indices.empty();
}

// The file's first camera, in world space; none where it is orthographic or
// its angle is not one a perspective camera can have. assimp hands on a
// horizontal angle: the whole of it from FBX (not the half its own
// documentation says); for glTF, see below.
void CopyCamera(const aiScene& scene, const fs::path& file, Model* model) {
  if (scene.mNumCameras == 0) return;
  const aiCamera& cam = *scene.mCameras[0];
  if (cam.mOrthographicWidth > 0.0f || !(cam.mHorizontalFOV > 0.0f && cam.mHorizontalFOV < 3.1f)) return;
  // The camera's node, and the nodes above it.
  Affine world;
  std::vector<const aiNode*> chain;
  for (const aiNode* n = scene.mRootNode ? scene.mRootNode->FindNode(cam.mName) : nullptr; n; n = n->mParent)
    chain.push_back(n);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) world = Times(world, (*it)->mTransformation);
  // A glTF camera sits at its node's origin; assimp's glTF importer also
  // copies the node's translation into the camera's own position, which
  // the node's transform would then apply twice.
  std::string ext = LowerCaseExtension(file);
  bool gltf = ext == ".gltf" || ext == ".glb";
  aiVector3D local = gltf ? aiVector3D(0.0f, 0.0f, 0.0f) : cam.mPosition;
  Camera c;
  c.position = ApplyPoint(world, local);
  c.direction = ApplyVector(world, cam.mLookAt).Normalize();
  c.up = ApplyVector(world, cam.mUp).Normalize();
  c.aspect = cam.mAspect > 0.0f ? cam.mAspect : 0.0f;
  double aspect = c.aspect > 0.0f ? c.aspect : 1.0;
  if (gltf && aiGetVersionMajor() == 5 && aiGetVersionMinor() <= 2) {
    // glTF keeps the vertical angle, which assimp 5.2 hands on multiplied
    // by the aspect ratio.
    c.verticalFov = static_cast<float>(cam.mHorizontalFOV / aspect);
  } else {
    c.verticalFov = static_cast<float>(2.0 * std::atan(std::tan(cam.mHorizontalFOV * 0.5) / aspect));
  }
  model->camera = c;
}

struct Args {
  fs::path file;
  ImportBudget budget;
};

bool ParseArgs(int argc, char** argv, Args* a) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto number = [&](const char* name, uint64_t* out) {
      std::string prefix = std::string("--") + name + "=";
      if (arg.rfind(prefix, 0) != 0) return false;
      const char* b = arg.c_str() + prefix.size();
      const char* e = arg.c_str() + arg.size();
      auto [p, ec] = std::from_chars(b, e, *out);
      return ec == std::errc() && p == e && b != e;
    };
    if (number("max-file-bytes", &a->budget.maxFileBytes) || number("max-triangles", &a->budget.maxTriangles) ||
        number("memory", &a->budget.importerMemory))
      continue;
    uint64_t meshes = 0;
    if (number("max-meshes", &meshes) && meshes <= UINT32_MAX) {
      a->budget.maxMeshes = static_cast<uint32_t>(meshes);
      continue;
    }
    uint64_t seconds = 0;
    if (number("seconds", &seconds) && seconds > 0 && seconds < 1000000) {
      a->budget.seconds = static_cast<int>(seconds);
      continue;
    }
    if (i == argc - 1 && arg.rfind("--", 0) != 0) {
      a->file = arg;
      return true;
    }
    return false;
  }
  return false;
}

// Standard output, in large writes.
class OutSink : public ByteSink {
 public:
  ~OutSink() override { Flush(); }
  bool Write(const void* data, size_t n) override {
    const char* p = static_cast<const char*>(data);
    if (buf_.size() + n > kChunk && !Flush()) return false;
    if (n >= kChunk) return WriteAll(p, n);
    buf_.append(p, n);
    return true;
  }
  bool Flush() {
    bool ok = WriteAll(buf_.data(), buf_.size());
    buf_.clear();
    return ok;
  }

 private:
  static constexpr size_t kChunk = 1 << 20;
  static bool WriteAll(const char* p, size_t n) {
    while (n > 0) {
      ssize_t w = ::write(1, p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      p += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  }
  std::string buf_;
};

std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string NeedsMoreMemory(const ImportBudget& b) {
  return "reading it needs more than the importer's memory limit of " + std::to_string(b.importerMemory) + " bytes";
}

// The model, or false with a message.
bool Import(const Args& a, Model* model, std::string* error) {
  auto* warnings = new Warnings;
  Assimp::DefaultLogger::set(warnings);  // which owns it
  Assimp::Importer importer;
  KeepOnlyOurFormats(importer);
  auto* files = new FolderFiles(a.file, a.budget.maxFileBytes);
  importer.SetIOHandler(files);  // the importer owns it
  importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
  // Parsed and checked, but nothing made from it yet: the counts first.
  const aiScene* scene = importer.ReadFile(a.file.c_str(), aiProcess_ValidateDataStructure);
  if (!scene) {
    std::string why = files->FirstRefusal().empty() ? OneLine(importer.GetErrorString()) : files->FirstRefusal();
    *error = why == "std::bad_alloc"
                 ? NeedsMoreMemory(a.budget)
                 : "the importer refused it: " + (why.empty() ? std::string("no reason given") : why);
    return false;
  }
  if (!warnings->Dropped().empty()) {
    *error = "some triangles name vertices that are not there (" + OneLine(warnings->Dropped()) + ")";
    return false;
  }
  uint64_t faces = 0;
  for (unsigned i = 0; i < scene->mNumMeshes; ++i) faces += scene->mMeshes[i]->mNumFaces;
  if (faces > a.budget.maxTriangles) {
    *error = "it has " + std::to_string(faces) + " faces, more than the limit of " +
             std::to_string(a.budget.maxTriangles) + " triangles";
    return false;
  }
  scene = importer.ApplyPostProcessing(aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_SortByPType);
  if (!scene || !scene->mRootNode) {
    *error = "the importer refused it: " + OneLine(importer.GetErrorString());
    return false;
  }
  CopyCamera(*scene, a.file, model);
  // Every node that places a mesh gives a mesh in world space; walked
  // without recursion, so a deep hierarchy cannot overflow the stack.
  struct Item {
    const aiNode* node;
    Affine parent;
  };
  std::vector<Item> todo{{scene->mRootNode, Affine()}};
  uint64_t triangles = 0;
  while (!todo.empty()) {
    Item item = todo.back();
    todo.pop_back();
    Affine world = Times(item.parent, item.node->mTransformation);
    for (unsigned k = 0; k < item.node->mNumMeshes; ++k) {
      unsigned index = item.node->mMeshes[k];
      if (index >= scene->mNumMeshes) continue;
      const aiMesh& src = *scene->mMeshes[index];
      if (!(src.mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
      triangles += src.mNumFaces;
      if (triangles > a.budget.maxTriangles || model->meshes.size() >= a.budget.maxMeshes) {
        *error = triangles > a.budget.maxTriangles
                     ? "it has more than " + std::to_string(a.budget.maxTriangles) + " triangles, the limit"
                     : "it places more than " + std::to_string(a.budget.maxMeshes) + " meshes, the limit";
        return false;
      }
      Mesh mesh;
      if (CopyMesh(src, item.node->mName.C_Str(), world, &mesh)) model->meshes.push_back(std::move(mesh));
    }
    // Children pushed last first, so that they are taken in the file's order.
    for (unsigned c = item.node->mNumChildren; c-- > 0;) todo.push_back({item.node->mChildren[c], world});
  }
  if (model->meshes.empty()) {
    std::string why = OneLine(warnings->FirstError());
    *error = "it holds no triangles" + (why.empty() ? std::string() : " (the importer: " + why + ")");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  OutSink out;
  if (!ParseArgs(argc, argv, &args)) {
    EncodeError("the import helper was started with wrong arguments", out);
    return 1;
  }
  LimitSelf(args.budget.importerMemory, args.budget.seconds);
  std::string error;
  Model model;
  bool ok = false;
  try {
    ok = Import(args, &model, &error);
  } catch (const std::bad_alloc&) {
    error = NeedsMoreMemory(args.budget);
  } catch (const std::exception& e) {
    error = "the importer refused it: " + OneLine(e.what());
  }
  bool written = ok ? EncodeModel(model, out) : EncodeError(error, out);
  written = out.Flush() && written;
  // No destructors, no exit handlers: the host has what it needs.
  ::_exit(ok && written ? 0 : 1);
}
