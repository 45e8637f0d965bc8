#include "editor/served_document.h"

#include <hostside/class_registry.h>
#include <hostside/file_io.h>
#include <hostside/png_image.h>
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <optional>

#include "common/text.h"
#include "editor/editor_readback.h"
#include "render/render_plan.h"
#include "scene/scene_maps.h"

namespace plughost {

using nlohmann::json;

namespace {

// The animation range a scene keeps (in frames), and the one without.
constexpr const char* kAnimationStartSetting = "animationStart";
constexpr const char* kAnimationEndSetting = "animationEnd";
constexpr double kDefaultStartFrame = 0, kDefaultEndFrame = 100;

}  // namespace

ServedDocument::~ServedDocument() {
  Close();
  HostSetMessageBoxHandler(box_);
  HostSetShellExecuteHandler(shell_);
}

bool ServedDocument::Start(std::string* error) {
  box_ = HostSetMessageBoxHandler({&ServedDocument::OnMessageBox, this});
  shell_ = HostSetShellExecuteHandler({&ServedDocument::OnShellOpen, this});
  if (!OpenMapScene(file_, className_, &scene_, &tex_, error)) return false;
  std::string why;
  if (!file_.empty()) HostIdentifyRegularFile(file_, &onDisk_, &why);
  if (!session_.Show(tex_, error)) return false;
  title_ = HostClassName(tex_);
  saved_ = SceneText();
  return true;
}

void ServedDocument::Close() {
  preview_.Stop();
  if (!scene_) return;
  utilities_.Close();
  session_.Close();
  SetAnimateMode(FALSE);
  scene_.reset();
  tex_ = nullptr;
}

nlohmann::json ServedDocument::State() {
  json j;
  title_ = HostClassName(tex_);
  j["title"] = title_;
  j["file"] = file_;
  j["dirty"] = SceneText() != saved_;
  j["revision"] = revision_;
  TimeValue t = session_.Editor().GetTime();
  double start = kDefaultStartFrame, end = kDefaultEndFrame;
  scene_->GetSetting(kAnimationStartSetting, &start);
  scene_->GetSetting(kAnimationEndSetting, &end);
  // A range that is no range (or past what ticks can hold) shows the default.
  constexpr double kMostFrames = 1e6;
  if (!(start < end) || start < -kMostFrames || end > kMostFrames) start = kDefaultStartFrame, end = kDefaultEndFrame;
  j["time"] = {{"ticks", t},
               {"text", TimeText(t)},
               {"ticksPerFrame", GetTicksPerFrame()},
               {"start", static_cast<TimeValue>(std::lround(start)) * GetTicksPerFrame()},
               {"end", static_cast<TimeValue>(std::lround(end)) * GetTicksPerFrame()}};
  double bump = kDefaultBumpAmount;
  scene_->GetSetting(kBumpAmountSetting, &bump);
  j["animate"] = IsAnimateModeOn() != FALSE;
  json tree = json::array();
  for (const MapTreeNode& n : session_.Tree()) {
    tree.push_back(
        {{"place", n.place}, {"name", n.name}, {"class", n.className}, {"depth", n.depth}, {"shown", n.shown}});
  }
  json mapClasses = json::array();
  for (const RegisteredClass& rc : HostClasses()) {
    if (rc.desc->SuperClassID() == TEXMAP_CLASS_ID && rc.desc->IsPublic() && rc.desc->ClassName())
      mapClasses.push_back(rc.desc->ClassName());
  }
  j["editor"] = {{"rollups", RollupsJson(session_.Rollups())},
                 {"tree", std::move(tree)},
                 {"shown", session_.ShownPlace()},
                 {"mapClasses", std::move(mapClasses)}};
  json names = json::array();
  for (const RegisteredClass& rc : HostClasses()) {
    if (rc.desc->SuperClassID() == UTILITY_CLASS_ID && rc.desc->ClassName()) names.push_back(rc.desc->ClassName());
  }
  j["utilities"] = std::move(names);
  j["utility"] = utilities_.IsOpen() ? json{{"name", utilityName_}, {"rollups", RollupsJson(utilities_.Rollups())}}
                                     : json(nullptr);
  json views = {"flat", "sphere", "cube"};
  if (model_) views.push_back(RenderViewName(RenderView::Mesh));
  j["preview"] = {{"views", std::move(views)}, {"channels", {"color", "mono", "bump"}}, {"bumpAmount", bump}};
  return j;
}

Reply ServedDocument::Act(const EditAction& action) {
  preview_.Stop();
  opened_.clear();
  messages_.clear();
  std::string error;
  if (!session_.Apply(action, &error)) return Reply::Error(400, error);
  ++revision_;
  return Reply::Json({{"revision", revision_},
                      {"askedForMap", session_.AskedForMap()},
                      {"opened", opened_},
                      {"messages", messages_},
                      {"state", State()}});
}

std::shared_future<PreviewRenderer::Result> ServedDocument::StartPreview(RenderSettings s) {
  s.time = session_.Editor().GetTime();
  s.model = model_;
  preview_.Stop();
  // The page's bump amount is the scene's: one other than the scene shows
  // is kept with it, to be saved (the default stays unwritten).
  double kept = kDefaultBumpAmount;
  scene_->GetSetting(kBumpAmountSetting, &kept);
  if (static_cast<float>(kept) != s.bumpAmount) scene_->SetSetting(kBumpAmountSetting, s.bumpAmount);
  Interval valid = FOREVER;
  tex_->Update(s.time, valid);
  return preview_.Start(tex_, s);
}

Reply ServedDocument::Bitmap(HWND hwnd) {
  HBITMAP bm = BitmapBelow(session_.Editor().Window(), hwnd);
  if (!bm) bm = BitmapBelow(utilities_.Window(), hwnd);
  std::optional<HostBitmapInfo> b = bm ? HostGetBitmapInfo(bm) : std::nullopt;
  if (!b) return Reply::Error(404, "no bitmap shown in window " + std::to_string(reinterpret_cast<uintptr_t>(hwnd)));
  HostImage image;
  image.width = b->width;
  image.height = b->height;
  image.rgba.reserve(b->pixels.size() * 4);
  for (uint32_t p : b->pixels) {
    image.rgba.insert(image.rgba.end(),
                      {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p), 255});
  }
  Reply r{200, "", "image/png"};
  std::vector<uint8_t> png;
  std::string error;
  if (!HostEncodePng(image, &png, &error)) return Reply::Error(500, error);
  r.body.assign(png.begin(), png.end());
  return r;
}

Reply ServedDocument::OpenUtility(const std::string& name) {
  preview_.Stop();  // the pump may repaint a rollup, which reloads from the objects
  ClassDesc* d = HostFindClassByName(name);
  if (!d || d->SuperClassID() != UTILITY_CLASS_ID) return Reply::Error(400, "no utility '" + name + "'");
  if (!utilities_.Open(d)) return Reply::Error(400, "the utility '" + name + "' could not be opened");
  utilityName_ = d->ClassName() ? d->ClassName() : name;
  HostPumpMessages();
  return Reply::Json(State());
}

Reply ServedDocument::SetUtilityRollupOpen(const std::string& title, bool open) {
  preview_.Stop();
  for (const HostRollupInfo& r : utilities_.Rollups()) {
    if (r.title != title) continue;
    utilities_.SetRollupOpen(r.page, open);
    HostPumpMessages();
    return Reply::Json(State());
  }
  return Reply::Error(400, "no rollup " + QuoteText(title) + " in the utility panel");
}

Reply ServedDocument::Save(const std::string& saveAs) {
  preview_.Stop();
  std::string target = saveAs.empty() ? file_ : saveAs;
  if (target.empty()) return Reply::Error(400, "the scene has no file yet: save it as a file first");
  std::string error;
  // A `plughost scene set` of the same file holds this lock from its read to
  // its save: the editor's save waits for it rather than land in between.
  // (A new file, or one that is no regular file, has no lock to take.)
  std::unique_ptr<HostFileLock> lock = HostLockFile(target, &error);
  HostFileIdentity now;
  if (target == file_ && HostIdentifyRegularFile(target, &now, &error) && now != onDisk_) {
    return Reply::Error(409, target +
                                 " was changed on disk since it was opened or last saved here: Revert to load "
                                 "it, or Save as another file");
  }
  if (!HostSaveScene(*scene_, target, &error)) return Reply::Error(400, error);
  file_ = target;
  HostIdentifyRegularFile(file_, &onDisk_, &error);
  saved_ = SceneText();
  return Reply::Json(State());
}

Reply ServedDocument::Revert() {
  preview_.Stop();
  std::unique_ptr<Scene> scene;
  Texmap* tex = nullptr;
  std::string error;
  if (!OpenMapScene(file_, className_, &scene, &tex, &error)) return Reply::Error(400, error);
  HostIdentifyRegularFile(file_, &onDisk_, &error);
  session_.Close();
  scene_ = std::move(scene);
  tex_ = tex;
  if (!session_.Show(tex_, &error)) return Reply::Error(500, error);
  saved_ = SceneText();
  ++revision_;
  return Reply::Json(State());
}

void ServedDocument::Quit() {
  preview_.Stop();
  quit_ = true;
}

std::string ServedDocument::SceneText() {
  std::string text, error;
  if (!HostWriteScene(*scene_, &text, &error)) return "unwritable: " + error;
  return text;
}

int ServedDocument::OnMessageBox(HWND, const char* text, const char* caption, UINT, void* user) {
  auto* self = static_cast<ServedDocument*>(user);
  std::string line = std::string(caption ? caption : "") + ": " + (text ? text : "");
  std::fprintf(stderr, "plughost: %s\n", line.c_str());
  self->messages_.push_back(line);
  return IDOK;
}

INT_PTR ServedDocument::OnShellOpen(HWND, const char*, const char* file, const char*, const char*, int, void* user) {
  auto* self = static_cast<ServedDocument*>(user);
  std::string address = file ? file : "";
  std::string scheme = address.substr(0, address.find(':') + 1);
  if (strcasecmp(scheme.c_str(), "http:") != 0 && strcasecmp(scheme.c_str(), "https:") != 0 &&
      strcasecmp(scheme.c_str(), "mailto:") != 0) {
    self->messages_.push_back("not opened: " + address);
    return 2;  // the shell's "file not found"
  }
  self->opened_.push_back(address);
  return 42;  // above 32: the shell took it
}

}  // namespace plughost
