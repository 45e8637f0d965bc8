// quorl: the host program's libraries for Python. Plug-ins, scenes, maps and
// their parameters by the names plughost uses, and a map's values at NumPy
// arrays of points, bit for bit what `plughost sample` gives.
//
// Threads. The host has one user-interface thread; here that is whichever
// Python thread calls, one at a time: every call into the host but the
// shading holds the host lock (theHostLock below). A scene's maps are edited,
// read and brought up to date under the scene's own lock as well, and an
// evaluation keeps that lock while the render threads shade, so no edit of
// the same scene overlaps it, while other scenes stay free. The shading runs
// with the GIL released, on the render threads, straight from the points'
// buffer into the result's. Code that holds either lock never waits for the
// GIL, so Python threads cannot deadlock against it; the scene lock is taken
// before the host lock.
//
// Bakes of a model (Map.bake) shade on the render threads as Evaluate below
// does; the model is imported by the host's import helper, beside plughost.
#include <hostside/class_registry.h>
#include <hostside/paramblock_access.h>
#include <hostside/scene_file.h>
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bake/texture_bake.h"
#include "common/value_readers.h"
#include "geometry/model_import.h"
#include "plugins/host_entries.h"
#include "plugins/plugin_loader.h"
#include "render/point_samples.h"
#include "render/render_plan.h"
#include "render/renderer.h"
#include "scene/param_path.h"
#include "scene/scene_maps.h"

namespace py = pybind11;
namespace fs = std::filesystem;

namespace plughost {

namespace {

// ---- Errors -------------------------------------------------------------------

// KeyError's own text is the quoted repr of its argument, which would show a
// host message that lists names as one line of escapes.
constexpr const char* kErrorClasses = R"(
class UnknownNameError(KeyError):
    """A parameter, map or class that is not there; the text is the host's message."""
    def __str__(self):
        return str(self.args[0]) if self.args else ''
)";
PyObject* unknownNameError = nullptr;

// What went wrong where the GIL was released, raised once it is held again.
struct Failure {
  PyObject* type = nullptr;  // null: nothing went wrong
  std::string message;
  int osError = 0;  // for OSError: the errno value, which picks its subclass

  void Set(PyObject* t, const std::string& m, int err = 0) { type = t, message = m, osError = err; }
  void RaiseIfSet() const {
    if (!type) return;
    if (osError) {
      // OSError(errno, text) gives FileNotFoundError, PermissionError, ...
      py::object e = py::reinterpret_borrow<py::object>(PyExc_OSError)(osError, message);
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(e.ptr())), e.ptr());
    } else {
      PyErr_SetString(type, message.c_str());
    }
    throw py::error_already_set();
  }
};

[[noreturn]] void Raise(PyObject* type, const std::string& message) {
  Failure f;
  f.Set(type, message);
  f.RaiseIfSet();
  throw py::error_already_set();  // not reached
}

// ---- The host -----------------------------------------------------------------

std::mutex theHostLock;

struct Host {
  std::vector<PluginFile> files;
  std::set<fs::path> folders;  // loaded already
};
Host& TheHost() {
  static Host host;
  return host;
}

fs::path FolderKey(const fs::path& folder) {
  std::error_code ec;
  fs::path key = fs::weakly_canonical(folder, ec);
  return ec ? folder : key;
}

// Loads the folders not loaded yet, the build's own first when asked. With
// the GIL held: the loader checks each file in a forked child, which must not
// find another Python thread halfway through opening a library.
std::vector<std::string> LoadFolders(const std::vector<std::string>& more, bool withDefault) {
  std::lock_guard lock(theHostLock);
  Host& host = TheHost();
  std::vector<fs::path> folders;
  if (withDefault) folders.push_back(DefaultPluginFolder());
  for (const std::string& f : more) folders.emplace_back(f);
  std::vector<fs::path> fresh;
  for (const fs::path& f : folders)
    if (host.folders.insert(FolderKey(f)).second) fresh.push_back(f);
  std::vector<std::string> problems;
  if (fresh.empty()) return problems;
  std::vector<PluginFile> files = LoadPlugins(fresh, &problems);
  host.files.insert(host.files.end(), files.begin(), files.end());
  return problems;
}

// Everything that needs classes loads the build's plug-ins first, unless the
// script loaded folders of its own.
void EnsurePlugins() {
  bool none;
  {
    std::lock_guard lock(theHostLock);
    none = TheHost().folders.empty();
  }
  if (none) LoadFolders({}, true);
}

// ---- Scenes and maps ----------------------------------------------------------

struct SceneHandle {
  std::mutex lock;  // edits, reads and Update of its maps, and their evaluation
  std::unique_ptr<Scene> scene;
  std::string file;  // where it was opened from or last saved to

  SceneHandle() = default;
  SceneHandle(const SceneHandle&) = delete;
  SceneHandle& operator=(const SceneHandle&) = delete;
  // Deleting objects runs their code: the host's business.
  ~SceneHandle() {
    std::lock_guard hostLock(theHostLock);
    scene.reset();
  }
};

struct PyScene {
  std::shared_ptr<SceneHandle> handle;
};

// A map of a scene. The scene owns it (as a root, or through a root), and
// nothing here takes a map out of a scene, so it lives while the handle does.
struct PyMap {
  std::shared_ptr<SceneHandle> handle;
  Texmap* map = nullptr;
};

// Runs f with the GIL released, under the scene's lock and the host lock.
template <class F>
void WithScene(SceneHandle& h, F f) {
  py::gil_scoped_release nogil;
  std::lock_guard sceneLock(h.lock);
  std::lock_guard hostLock(theHostLock);
  f();
}

// Why a scene file could not be read, as the Python error that fits: a file
// that is not there, or not readable, is an OSError of its errno; a file that
// reads but is not a scene is a ValueError.
void SetLoadFailure(const std::string& file, const std::string& message, Failure* failure) {
  struct stat st {};
  int err = 0;
  if (::stat(file.c_str(), &st) != 0)
    err = errno;
  else if (S_ISDIR(st.st_mode))
    err = EISDIR;
  else if (::access(file.c_str(), R_OK) != 0)
    err = errno;
  if (err)
    failure->Set(PyExc_OSError, message, err);
  else
    failure->Set(PyExc_ValueError, message);
}

PyScene OpenScene(const std::string& file) {
  EnsurePlugins();
  auto handle = std::make_shared<SceneHandle>();
  Failure failure;
  {
    py::gil_scoped_release nogil;
    std::lock_guard hostLock(theHostLock);
    std::string error;
    handle->scene = HostLoadScene(file, &error);
    if (!handle->scene) SetLoadFailure(file, error, &failure);
  }
  failure.RaiseIfSet();
  handle->file = file;
  return {handle};
}

void SaveScene(PyScene& s, const std::optional<std::string>& file) {
  std::string target = file ? *file : s.handle->file;
  if (target.empty()) Raise(PyExc_ValueError, "the scene has no file yet: give save() one");
  Failure failure;
  WithScene(*s.handle, [&] {
    std::string error;
    if (!HostSaveScene(*s.handle->scene, target, &error)) failure.Set(PyExc_OSError, error);
  });
  failure.RaiseIfSet();
  s.handle->file = target;
}

PyMap SceneMap(PyScene& s, const std::string& name) {
  Failure failure;
  Texmap* map = nullptr;
  WithScene(*s.handle, [&] {
    std::string error;
    map = FindMap(*s.handle->scene, name, &error);
    if (!map) failure.Set(unknownNameError, error);
  });
  failure.RaiseIfSet();
  return {s.handle, map};
}

PyMap NewMap(const std::string& className) {
  EnsurePlugins();
  auto handle = std::make_shared<SceneHandle>();
  Failure failure;
  Texmap* map = nullptr;
  {
    py::gil_scoped_release nogil;
    std::lock_guard hostLock(theHostLock);
    std::string error;
    if (!OpenMapScene("", className, &handle->scene, &map, &error)) failure.Set(unknownNameError, error);
  }
  failure.RaiseIfSet();
  return {handle, map};
}

// ---- Parameters ---------------------------------------------------------------

// A time as plughost takes it: a whole frame number, or a text ("10",
// "1600t").
TimeValue ReadTime(py::handle time) {
  std::string text;
  if (py::isinstance<py::str>(time))
    text = time.cast<std::string>();
  else if ((py::isinstance<py::int_>(time) && !py::isinstance<py::bool_>(time)) ||
           py::isinstance(time, py::module_::import("numpy").attr("integer")))
    text = py::str(time).cast<std::string>();
  else
    Raise(PyExc_TypeError, "a time is a whole frame number or a text such as \"1600t\", not " +
                               py::str(py::type::of(time).attr("__name__")).cast<std::string>());
  TimeValue t = 0;
  std::string error;
  if (!ParseTime(text, &t, &error)) Raise(PyExc_ValueError, error);
  return t;
}

// A Python value as the text plughost's readers take, which then decide
// whether it fits the parameter: a str as it is, a bool as on/off, a number
// as Python (or NumPy) writes it, which reads back as the same float, and
// three numbers as "r,g,b".
std::string ValueText(py::handle v) {
  if (py::isinstance<py::str>(v)) return v.cast<std::string>();
  py::module_ np = py::module_::import("numpy");
  if (py::isinstance<py::bool_>(v) || py::isinstance(v, np.attr("bool_"))) return v.cast<bool>() ? "on" : "off";
  if (py::isinstance(v, np.attr("number")) || py::isinstance<py::int_>(v) || py::isinstance<py::float_>(v))
    return py::str(v).cast<std::string>();
  if (py::isinstance<py::sequence>(v) || py::isinstance<py::array>(v)) {
    std::string text;
    for (py::handle item : v) text += (text.empty() ? "" : ",") + ValueText(item);
    return text;
  }
  Raise(PyExc_TypeError, "a parameter value is a number, a bool, three numbers or a text, not " +
                             py::str(py::type::of(v).attr("__name__")).cast<std::string>());
}

py::object ValueObject(ParamType type, const HostParamSample& s) {
  switch (type) {
    case TYPE_FLOAT: return py::float_(s.v[0]);
    case TYPE_INT: return py::int_(s.i);
    case TYPE_BOOL: return py::bool_(s.i != 0);
    case TYPE_RGBA:
    case TYPE_POINT3: return py::make_tuple(s.v[0], s.v[1], s.v[2]);
  }
  return py::none();
}

// f(entry, error) on the parameter of the map that the name names, under the
// locks; an unknown name is a KeyError, and f's error a ValueError.
template <class F>
void WithParam(PyMap& m, const std::string& name, F f) {
  Failure failure;
  WithScene(*m.handle, [&] {
    std::vector<ParamEntry> params = CollectParams({m.map});
    std::string error;
    const ParamEntry* p = FindParam(params, name, &error);
    if (!p)
      failure.Set(unknownNameError, error);
    else if (!f(*p, &error))
      failure.Set(PyExc_ValueError, error);
  });
  failure.RaiseIfSet();
}

py::object ParamValue(PyMap& m, const std::string& name, py::handle time) {
  TimeValue t = ReadTime(time);
  ParamType type{};
  HostParamSample s;
  WithParam(m, name, [&](const ParamEntry& p, std::string*) {
    type = p.type;
    s = ParamValueAt(p, t);
    return true;
  });
  return ValueObject(type, s);
}

void SetParam(PyMap& m, const std::string& name, py::handle value) {
  std::string text = ValueText(value);
  WithParam(m, name, [&](const ParamEntry& p, std::string* error) { return SetParamConstant(p, text, error); });
}

void SetKey(PyMap& m, const std::string& name, py::handle time, py::handle value) {
  TimeValue t = ReadTime(time);
  std::string text = ValueText(value);
  WithParam(m, name, [&](const ParamEntry& p, std::string* error) { return SetParamKey(p, t, text, error); });
}

py::dict Params(PyMap& m) {
  std::vector<std::pair<std::string, std::string>> found;
  WithScene(*m.handle, [&] {
    for (const ParamEntry& p : CollectParams({m.map})) found.emplace_back(p.path, HostParamTypeName(p.type));
  });
  py::dict d;
  for (const auto& [path, type] : found) d[py::str(path)] = type;
  return d;
}

// ---- Points -------------------------------------------------------------------

// An array of points, shape (..., dims), as float32 the shading reads in
// place: a float32 array as it is (made contiguous where it is not), any
// other real numbers rounded to the nearest float as the host's Point3 rounds
// a double, once the GIL is released.
struct Points {
  bool isFloat = false;  // which of the two below holds the points
  py::array_t<float, py::array::c_style | py::array::forcecast> asFloat;
  py::array_t<double, py::array::c_style | py::array::forcecast> asDouble;
  std::vector<float> converted;
  std::vector<py::ssize_t> lead;  // the shape without the last axis
  size_t count = 0;
  int dims = 0;

  // Without the GIL: the float32 values.
  const float* Data(int threads) {
    if (isFloat) return asFloat.data();
    const double* d = asDouble.data();
    ForEachPointRange(count, threads, [&](size_t begin, size_t end) {
      for (size_t i = begin * dims; i < end * dims; ++i) converted[i] = static_cast<float>(d[i]);
    });
    return converted.data();
  }
};

std::string ShapeText(const std::vector<py::ssize_t>& shape) {
  std::string s = "(";
  for (size_t i = 0; i < shape.size(); ++i) s += (i ? ", " : "") + std::to_string(shape[i]);
  return s + (shape.size() == 1 ? ",)" : ")");
}
std::string ShapeText(const py::array& a) {
  return ShapeText(std::vector<py::ssize_t>(a.shape(), a.shape() + a.ndim()));
}

Points ReadPoints(py::handle obj, const char* what, std::vector<int> dims) {
  py::array a = py::array::ensure(obj);
  if (!a) {
    PyErr_Clear();
    Raise(PyExc_TypeError, std::string(what) + " must be an array of numbers");
  }
  char kind = a.dtype().kind();
  if (kind != 'f' && kind != 'i' && kind != 'u')
    Raise(PyExc_TypeError, std::string(what) + " must be real numbers (float32, or float64 rounded to float32), not " +
                               py::str(a.dtype()).cast<std::string>());
  int last = a.ndim() ? static_cast<int>(a.shape(a.ndim() - 1)) : -1;
  if (std::find(dims.begin(), dims.end(), last) == dims.end()) {
    std::string wanted;
    for (int d : dims) wanted += (wanted.empty() ? "(N, " : " or (N, ") + std::to_string(d) + ")";
    Raise(PyExc_ValueError, std::string(what) + " must have the shape " + wanted + ", not " + ShapeText(a));
  }
  Points p;
  p.dims = last;
  p.lead.assign(a.shape(), a.shape() + a.ndim() - 1);
  p.count = static_cast<size_t>(a.size()) / static_cast<size_t>(last);
  p.isFloat = py::isinstance<py::array_t<float>>(a);
  if (p.isFloat) {
    p.asFloat = decltype(p.asFloat)::ensure(a);
    if (!p.asFloat) throw py::error_already_set();
  } else {
    p.asDouble = decltype(p.asDouble)::ensure(a);
    if (!p.asDouble) throw py::error_already_set();
    p.converted.resize(p.count * static_cast<size_t>(last));
  }
  return p;
}

py::array_t<float> ResultArray(const std::vector<py::ssize_t>& lead, int width) {
  std::vector<py::ssize_t> shape = lead;
  if (width > 1) shape.push_back(width);
  return py::array_t<float>(shape);
}

int ReadThreads(int threads) {
  if (threads < 0) Raise(PyExc_ValueError, "threads must be 0 (every core) or more, not " + std::to_string(threads));
  return RenderThreadCount(threads);
}

// The map's values at the points: one Update for the time on this thread,
// then the shading on the render threads, the scene locked throughout.
py::array_t<float> Evaluate(PyMap& m, PointValue what, py::handle points, py::handle normals, py::handle time,
                            int threads) {
  TimeValue t = ReadTime(time);
  int count = ReadThreads(threads);
  Points p = ReadPoints(points, "points", {3});
  // The shading normal: one for every point, or one a point.
  std::vector<float> oneNormal = {0.0f, 0.0f, 1.0f};
  std::optional<Points> n;
  size_t normalStride = 0;
  if (!normals.is_none()) {
    n = ReadPoints(normals, "normals", {3});
    if (n->lead.empty()) {
      normalStride = 0;
    } else if (n->lead == p.lead) {
      normalStride = 3;
    } else {
      Raise(PyExc_ValueError, "normals must be one normal, shape (3,), or one a point, of the points' shape");
    }
  }
  py::array_t<float> out = ResultArray(p.lead, PointValueWidth(what));
  float* outData = out.mutable_data();
  Failure failure;
  {
    py::gil_scoped_release nogil;
    std::lock_guard sceneLock(m.handle->lock);
    PointSampler sampler;
    {
      std::lock_guard hostLock(theHostLock);
      Interval valid = FOREVER;
      m.map->Update(t, valid);
      std::string error;
      if (!sampler.Prepare(m.map, what, t, &error)) failure.Set(PyExc_ValueError, "a perturbed point " + error);
    }
    if (!failure.type) {
      const float* pts = p.Data(count);
      const float* nrm = n ? n->Data(count) : oneNormal.data();
      SamplePoints(sampler, p.count, pts, nrm, normalStride, outData, count);
    }
  }
  failure.RaiseIfSet();
  return out;
}

// A bake of the map into a model's UV layout: {udim: float32 array of
// (height, width, channels)}, channels 4 for colour, 3 for bump, none for
// mono. The model is read with the scene unlocked; the Update, the layouts and
// the shading with the scene locked, the host lock only for the Update.
py::dict Bake(PyMap& m, const std::string& modelFile, const std::string& what, int size, int uv, int margin,
              py::handle time, int threads) {
  TimeValue t = ReadTime(time);
  BakeValue value{};
  if (!ParseBakeValue(what, &value))
    Raise(PyExc_ValueError, "unknown what '" + what + "' (color, mono, bump or normal)");
  BakeLayoutOptions layout;
  layout.width = layout.height = size;
  layout.channel = uv;
  layout.margin = margin;
  layout.threads = ReadThreads(threads);
  std::vector<std::pair<int, HostPicture>> tiles;
  Failure failure;
  {
    py::gil_scoped_release nogil;
    std::string error;
    Model model;
    ImportBudget budget;
    budget.helper = DefaultPluginFolder().parent_path() / "bin" / "plughost-import";
    std::vector<int> udims;
    struct stat st;
    if (stat(modelFile.c_str(), &st) != 0) {
      failure.Set(PyExc_OSError, modelFile + ": " + std::strerror(errno), errno);
    } else if (!ImportModel(modelFile, budget, &model, &error) || !FindUdimTiles(model, layout, &udims, &error) ||
               !PrepareBakeModel(&model, value, uv, &error)) {
      failure.Set(PyExc_ValueError, error.rfind(modelFile, 0) == 0 ? error : modelFile + ": " + error);
    } else {
      std::lock_guard sceneLock(m.handle->lock);
      {
        std::lock_guard hostLock(theHostLock);
        Interval valid = FOREVER;
        m.map->Update(t, valid);
      }
      for (int udim : udims) {
        BakeTile tile;
        if (!LayOutBakeTile(model, layout, udim, {}, &tile, &error)) {
          failure.Set(PyExc_ValueError, modelFile + ": " + error);
          break;
        }
        ShadeBakeTile(m.map, model, layout, tile, value, t, &tiles.emplace_back(udim, HostPicture{}).second);
      }
    }
  }
  failure.RaiseIfSet();
  py::dict out;
  for (auto& [udim, picture] : tiles) {
    const HostPictureLayer& layer = picture.layers[0];
    std::vector<py::ssize_t> shape = {picture.height, picture.width};
    if (layer.channels.size() > 1) shape.push_back(static_cast<py::ssize_t>(layer.channels.size()));
    py::array_t<float> a(shape);
    std::copy(layer.floats.begin(), layer.floats.end(), a.mutable_data());
    out[py::int_(udim)] = a;
  }
  return out;
}

// A picture as plughost render makes it, at full precision: (height, width,
// channels) float32, (height, width) for one channel, and for channel "all"
// a dict of its layers ("color", "coverage", "bump"). The Update on this
// thread, then the shading on the render threads, the scene locked
// throughout and the host lock only for the Update.
py::object Render(PyMap& m, const std::string& view, const std::string& channel, const std::string& pass, int width,
                  int height, py::handle time, int threads, std::optional<double> bumpAmount) {
  RenderSettings s;
  if (!ParseRenderView(view, &s.view)) Raise(PyExc_ValueError, "unknown view '" + view + "' (flat, sphere or cube)");
  if (!ParseRenderChannel(channel, &s.channel))
    Raise(PyExc_ValueError, "unknown channel '" + channel + "' (color, mono, bump, or all with pass_='data')");
  if (!ParseRenderPass(pass, &s.pass)) Raise(PyExc_ValueError, "unknown pass '" + pass + "' (display or data)");
  if (s.channel == RenderChannel::All && s.pass != RenderPass::Data)
    Raise(PyExc_ValueError, "channel 'all' needs pass_='data'");
  if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide)
    Raise(PyExc_ValueError, "resolution must be between 1 and " + std::to_string(kMaxPictureSide) + " pixels a side");
  if (bumpAmount && !std::isfinite(*bumpAmount)) Raise(PyExc_ValueError, "bump_amount must be a finite number");
  s.width = width;
  s.height = height;
  s.time = ReadTime(time);
  s.threads = ReadThreads(threads);
  HostPictureShape shape = RenderShape(s);
  std::vector<py::array_t<float>> layers;
  std::vector<float*> data;
  for (const HostLayerShape& l : shape.layers) {
    std::vector<py::ssize_t> dims = {height, width};
    if (l.channels.size() > 1) dims.push_back(static_cast<py::ssize_t>(l.channels.size()));
    data.push_back(layers.emplace_back(dims).mutable_data());
  }
  bool done = false;
  {
    py::gil_scoped_release nogil;
    std::lock_guard sceneLock(m.handle->lock);
    double sceneAmount = 0.0;
    if (bumpAmount)
      s.bumpAmount = static_cast<float>(*bumpAmount);
    else if (m.handle->scene->GetSetting(kBumpAmountSetting, &sceneAmount))
      s.bumpAmount = static_cast<float>(sceneAmount);
    {
      std::lock_guard hostLock(theHostLock);
      Interval valid = FOREVER;
      m.map->Update(s.time, valid);
    }
    done = ShadeBands(m.map, s, [&](const HostPicture& band, int y, int count) {
      for (size_t l = 0; l < band.layers.size(); ++l) {
        const std::vector<float>& rows = band.layers[l].floats;
        size_t row = static_cast<size_t>(width) * band.layers[l].channels.size();
        std::copy(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(count)),
                  data[l] + row * static_cast<size_t>(y));
      }
      return true;
    });
  }
  if (!done) Raise(PyExc_RuntimeError, "the render stopped before its last row");
  if (layers.size() == 1) return layers[0];
  py::dict out;
  for (size_t l = 0; l < layers.size(); ++l)
    out[py::str(shape.layers[l].name.empty() ? "color" : shape.layers[l].name)] = layers[l];
  return out;
}

// The library's lattice noise: qnoise2 at (N, 2) points, qnoise3 at (N, 3)
// points, qnoise4 at (N, 3) points with a phase (one, or one a point).
py::array_t<float> Noise(py::handle points, py::handle phase, int threads) {
  EnsurePlugins();
  const HostLatticeNoiseEntry* noise = FindLatticeNoise();
  if (!noise) Raise(PyExc_RuntimeError, "no plug-in file loaded offers the lattice noise");
  int count = ReadThreads(threads);
  Points p = ReadPoints(points, "points", {2, 3});
  std::optional<Points> w;
  if (!phase.is_none()) {
    if (p.dims != 3) Raise(PyExc_ValueError, "a phase goes with points of shape (N, 3)");
    // The phase as points of one coordinate, so that it is read like them.
    py::array a = py::array::ensure(phase);
    if (!a) {
      PyErr_Clear();
      Raise(PyExc_TypeError, "phase must be a number or an array of numbers");
    }
    std::vector<py::ssize_t> shape(a.shape(), a.shape() + a.ndim());
    if (!shape.empty() && shape != p.lead)
      Raise(PyExc_ValueError,
            "phase must be one number, or one a point, of shape " + ShapeText(p.lead) + ", not " + ShapeText(a));
    shape.push_back(1);
    w = ReadPoints(a.reshape(shape), "phase", {1});
  }
  py::array_t<float> out = ResultArray(p.lead, 1);
  float* o = out.mutable_data();
  {
    py::gil_scoped_release nogil;
    const float* pts = p.Data(count);
    const float* ws = w ? w->Data(count) : nullptr;
    size_t wStride = w && !w->lead.empty() ? 1 : 0;
    ForEachPointRange(p.count, count, [&](size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        const float* q = pts + i * static_cast<size_t>(p.dims);
        if (p.dims == 2)
          o[i] = noise->noise2(Point2(q[0], q[1]));
        else if (!ws)
          o[i] = noise->noise3(Point3(q[0], q[1], q[2]));
        else
          o[i] = noise->noise4(Point3(q[0], q[1], q[2]), ws[i * wStride]);
      }
    });
  }
  return out;
}

// ---- What the host loaded -----------------------------------------------------

struct ClassInfo {
  std::string name, category, source;
  unsigned long superClass = 0;
  std::pair<unsigned long, unsigned long> classId;
  bool isPublic = false;
};

std::vector<ClassInfo> Classes() {
  EnsurePlugins();
  std::lock_guard lock(theHostLock);
  std::vector<ClassInfo> out;
  for (const RegisteredClass& c : HostClasses()) {
    ClassInfo i;
    // A descriptor's texts may share one buffer that the next call overwrites.
    const char* name = c.desc->ClassName();
    i.name = name ? name : "";
    const char* category = c.desc->Category();
    i.category = category ? category : "";
    i.source = c.source;
    i.superClass = c.desc->SuperClassID();
    i.classId = {c.desc->ClassID().PartA(), c.desc->ClassID().PartB()};
    i.isPublic = c.desc->IsPublic() != 0;
    out.push_back(std::move(i));
  }
  return out;
}

struct FileInfo {
  std::string path, error, description, warnings;
  unsigned long version = 0;
  bool loaded = false;
};

std::vector<FileInfo> PluginFiles() {
  std::lock_guard lock(theHostLock);
  std::vector<FileInfo> out;
  for (const PluginFile& f : TheHost().files) {
    FileInfo i;
    i.path = f.path.string();
    i.loaded = f.handle != nullptr;
    i.error = f.error;
    i.description = f.description;
    i.version = f.version;
    for (const std::string* w : {&f.paramNamesError, &f.hostEntriesError})
      if (!w->empty()) i.warnings += (i.warnings.empty() ? "" : "\n") + *w;
    out.push_back(std::move(i));
  }
  return out;
}

}  // namespace

}  // namespace plughost

PYBIND11_MODULE(quorl, m) {
  using namespace plughost;
  m.doc() = "The host program's plug-ins, scenes and maps, and a map's values at NumPy arrays of points";
  py::exec(kErrorClasses, m.attr("__dict__"));
  unknownNameError = m.attr("UnknownNameError").ptr();
  m.attr("TICKS_PER_FRAME") = GetTicksPerFrame();

  py::class_<FileInfo>(m, "PluginFile", "A plug-in file the host found, and what became of it")
      .def_readonly("path", &FileInfo::path)
      .def_readonly("loaded", &FileInfo::loaded)
      .def_readonly("error", &FileInfo::error, "Why it was not loaded")
      .def_readonly("description", &FileInfo::description)
      .def_readonly("version", &FileInfo::version)
      .def_readonly("warnings", &FileInfo::warnings, "What was left out beside it (parameter names, host entries)")
      .def("__repr__", [](const FileInfo& f) { return "<quorl.PluginFile " + f.path + ">"; });
  py::class_<ClassInfo>(m, "ClassInfo", "A class the host registered")
      .def_readonly("name", &ClassInfo::name)
      .def_readonly("category", &ClassInfo::category)
      .def_readonly("source", &ClassInfo::source, "The plug-in file, or \"(host)\"")
      .def_readonly("super_class", &ClassInfo::superClass)
      .def_readonly("class_id", &ClassInfo::classId)
      .def_readonly("public", &ClassInfo::isPublic)
      .def("__repr__", [](const ClassInfo& c) { return "<quorl.ClassInfo " + c.name + ">"; });

  m.def("load_plugins", &LoadFolders, py::arg("folders") = std::vector<std::string>{}, py::arg("default") = true,
        "Loads the plug-in files of the folders not loaded yet (and the build's own folder unless default is "
        "False); returns the folders that could not be read. Without a call, the first use of a class loads the "
        "build's folder.");
  m.def("plugin_files", &PluginFiles, "The plug-in files loaded so far, and those that failed");
  m.def("classes", &Classes, "Every registered class: the host's own and the plug-ins'");
  m.def("open_scene", &OpenScene, py::arg("file"), "A scene file");
  m.def("new_map", &NewMap, py::arg("class_name") = kNewMapClass,
        "A new map of a class, with its defaults, "
        "alone in a new scene");
  m.def("noise", &Noise, py::arg("points"), py::arg("phase") = py::none(), py::kw_only(), py::arg("threads") = 0,
        "The lattice noise at (N, 2) points (qnoise2), (N, 3) points (qnoise3), or (N, 3) points with a phase "
        "(qnoise4), as float32 of shape (N,)");

  py::class_<PyScene>(m, "Scene", "Root objects and everything they reference, as a scene file holds them")
      .def_property_readonly("file", [](const PyScene& s) { return s.handle->file; })
      .def("map", &SceneMap, py::arg("name") = "",
           "A map by its name or its place as `plughost scene show` prints it; the first root map by default")
      .def("save", &SaveScene, py::arg("file") = py::none(),
           "Saves the scene whole (to its own file by default); a failed save leaves the old file as it was");

  const char* timeDoc = "time: a whole frame number, or a text such as \"1600t\" in ticks";
  py::class_<PyMap>(m, "Map", "A texture map of a scene")
      .def_property_readonly("scene", [](const PyMap& p) { return PyScene{p.handle}; })
      .def_property_readonly("name", [](const PyMap& p) { return std::string(p.map->GetName().data()); })
      .def_property_readonly("class_name", [](const PyMap& p) { return HostClassName(p.map); })
      .def("params", &Params, "Every parameter's path, as plughost names it, and its type")
      .def("__getitem__", [](PyMap& p, const std::string& name) { return ParamValue(p, name, py::int_(0)); })
      .def("__setitem__", &SetParam, "The parameter holds the value at every time (its keys are dropped)")
      .def("value", &ParamValue, py::arg("name"), py::arg("time") = 0, timeDoc)
      .def("set_key", &SetKey, py::arg("name"), py::arg("time"), py::arg("value"),
           "A key at the time, as the host's animate mode sets it")
      .def(
          "mono",
          [](PyMap& p, py::handle points, py::handle time, int threads) {
            return Evaluate(p, PointValue::kMono, points, py::none(), time, threads);
          },
          py::arg("points"), py::kw_only(), py::arg("time") = 0, py::arg("threads") = 0,
          "The coverage at (N, 3) points, float32 (N,)")
      .def(
          "color",
          [](PyMap& p, py::handle points, py::handle time, int threads) {
            return Evaluate(p, PointValue::kColor, points, py::none(), time, threads);
          },
          py::arg("points"), py::kw_only(), py::arg("time") = 0, py::arg("threads") = 0,
          "The premultiplied colour r, g, b, a at (N, 3) points, float32 (N, 4)")
      .def(
          "bump",
          [](PyMap& p, py::handle points, py::handle normals, py::handle time, int threads) {
            return Evaluate(p, PointValue::kBump, points, normals, time, threads);
          },
          py::arg("points"), py::arg("normals") = py::none(), py::kw_only(), py::arg("time") = 0,
          py::arg("threads") = 0,
          "The bump at (N, 3) points with shading normals (one (3,) for all, or (N, 3); (0, 0, 1) by default), "
          "float32 (N, 3)")
      .def(
          "perturbed",
          [](PyMap& p, py::handle points, py::handle time, int threads) {
            return Evaluate(p, PointValue::kPerturbed, points, py::none(), time, threads);
          },
          py::arg("points"), py::kw_only(), py::arg("time") = 0, py::arg("threads") = 0,
          "The coordinates generator's point moved by the map's perturbation object, float32 (N, 3)")
      .def("bake", &Bake, py::arg("model"), py::kw_only(), py::arg("what") = "color", py::arg("size") = 1024,
           py::arg("uv") = 1, py::arg("margin") = 16, py::arg("time") = 0, py::arg("threads") = 0,
           "The map baked into a model's UV layout (OBJ, glTF, FBX, PLY or STL), as plughost bake: "
           "{udim: float32 (size, size, 4) colour, (size, size) mono, (size, size, 3) bump or normal}")
      .def("render", &Render, py::kw_only(), py::arg("view") = "flat", py::arg("channel") = "color",
           py::arg("pass_") = "display", py::arg("width") = 256, py::arg("height") = 256, py::arg("time") = 0,
           py::arg("threads") = 0, py::arg("bump_amount") = py::none(),
           "A picture as plughost render makes it (view flat, sphere or cube; channel color, mono, bump, or all with "
           "pass_='data'; bump_amount: the scene's, or 40), float32 (height, width, channels), (height, width) for "
           "one channel, a dict of layers for channel 'all'")
      .def("__repr__", [](const PyMap& p) {
        std::string name = p.map->GetName().data();
        return "<quorl.Map " + HostClassName(p.map) + (name.empty() ? "" : " \"" + name + "\"") + ">";
      });
}
