#include "editor/http_front.h"

#include <fcntl.h>
#include <hostside/class_registry.h>
#include <hostside/file_io.h>
#include <hostside/handlers.h>
#include <hostside/png_image.h>
#include <hostside/scene_file.h>
#include <httplib.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <string_view>
#include <thread>

#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "editor/edit_session.h"
#include "editor/editor_readback.h"
#include "editor/web_assets.h"
#include "render/preview_renderer.h"
#include "scene/scene_maps.h"

using nlohmann::json;

namespace plughost {

namespace {

constexpr size_t kMaxBody = 1 << 20;
constexpr size_t kMaxField = 4096;
constexpr int kMaxBodyNesting = 8;  // a request is a flat object; deeper is no request of ours
constexpr int kFramesShown = 100;   // the time slider's end, in frames

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

// ---- The user-interface thread --------------------------------------------------

std::atomic<bool> g_interrupted{false};
extern "C" void OnStopSignal(int) { g_interrupted = true; }

// Tasks for the user-interface thread, run one at a time in the order given.
class UiQueue {
 public:
  // Runs `task` there and waits for it. False, with the task not run, once
  // the queue has stopped.
  bool Call(std::function<void()> task) {
    auto done = std::make_shared<std::promise<bool>>();
    std::future<bool> ran = done->get_future();
    {
      std::lock_guard lock(mutex_);
      if (stopped_) return false;
      tasks_.push_back({std::move(task), done});
    }
    wake_.notify_one();
    return ran.get();
  }

  // Runs tasks until `stop` answers true (asked after each task and at least
  // every 100 ms), then refuses new ones and cancels those waiting.
  void Run(const std::function<bool()>& stop) {
    while (!stop()) {
      Task t;
      {
        std::unique_lock lock(mutex_);
        if (!wake_.wait_for(lock, std::chrono::milliseconds(100), [&] { return !tasks_.empty(); })) continue;
        t = std::move(tasks_.front());
        tasks_.pop_front();
      }
      try {
        t.run();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "plughost: a request failed: %s\n", e.what());
      }
      t.done->set_value(true);
    }
    std::lock_guard lock(mutex_);
    stopped_ = true;
    for (Task& t : tasks_) t.done->set_value(false);
    tasks_.clear();
  }

 private:
  struct Task {
    std::function<void()> run;
    std::shared_ptr<std::promise<bool>> done;
  };
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stopped_ = false;
};

// An answer to a request: a status and a body.
struct Reply {
  int status = 200;
  std::string body;
  std::string type = "application/json";

  // One line, whatever the reason quotes from the request: control
  // characters are written as escapes.
  static Reply Error(int status, const std::string& reason) {
    std::string line;
    for (char c : reason) {
      auto u = static_cast<unsigned char>(c);
      if (u >= 0x20 && u != 0x7F) {
        line += c;
        continue;
      }
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", u);
      line += escape;
    }
    return {status, line + "\n", "text/plain; charset=utf-8"};
  }
  static Reply Json(const json& j) { return {200, Dump(j), "application/json"}; }
};

// ---- Request bodies -----------------------------------------------------------------

// The JSON object of a request body (an empty body is an empty object).
// Nesting past the limit is refused while the body is read, before anything
// deeper is built. nullopt with the reason otherwise.
std::optional<json> RequestObject(std::string_view body, std::string* reason) {
  if (body.empty()) return json::object();
  bool tooDeep = false;
  json j = json::parse(
      body.begin(), body.end(),
      [&](int depth, json::parse_event_t, json&) {
        tooDeep = tooDeep || depth > kMaxBodyNesting;
        return !tooDeep;
      },
      false);
  if (tooDeep)
    *reason = "the JSON is nested more than " + std::to_string(kMaxBodyNesting) + " levels deep";
  else if (j.is_discarded())
    *reason = "bad JSON";
  else if (!j.is_object())
    *reason = "expected a JSON object";
  else
    return j;
  return std::nullopt;
}

// A text member of a request (numbers and booleans as written); false with
// the reason when it is missing but required, of another type or too long.
bool RequestField(const json& j, const char* name, bool required, std::string* out, std::string* reason) {
  auto it = j.find(name);
  if (it == j.end() || it->is_null()) {
    if (required) *reason = std::string("missing \"") + name + "\"";
    return !required;
  }
  std::string problem;
  if (it->is_string())
    *out = it->get<std::string>();
  else if (it->is_number() || it->is_boolean())
    *out = it->dump();
  else
    problem = "must be a text or a number";
  if (problem.empty() && out->size() > kMaxField) problem = "is too long";
  if (problem.empty()) return true;
  *reason = std::string("\"") + name + "\" " + problem;
  return false;
}

// ---- The editing session, on the user-interface thread ---------------------------

class Editor {
 public:
  explicit Editor(const ServeOptions& opts) : opts_(opts), file_(opts.sceneFile) {}

  ~Editor() {
    Close();
    HostSetMessageBoxHandler(box_);
    HostSetShellExecuteHandler(shell_);
  }

  bool Start(std::string* error) {
    box_ = HostSetMessageBoxHandler({&Editor::OnMessageBox, this});
    shell_ = HostSetShellExecuteHandler({&Editor::OnShellOpen, this});
    if (!OpenMapScene(file_, opts_.className, &scene_, &tex_, error)) return false;
    if (!session_.Show(tex_, error)) return false;
    title_ = HostClassName(tex_);
    saved_ = SceneText();
    return true;
  }

  // Ends the dialogs, then lets the scene go; once is enough.
  void Close() {
    preview_.Stop();
    if (!scene_) return;
    utilities_.Close();
    session_.Close();
    SetAnimateMode(FALSE);
    scene_.reset();
    tex_ = nullptr;
  }

  bool QuitRequested() const { return quit_; }
  const std::string& Title() const { return title_; }

  json State() {
    json j;
    title_ = HostClassName(tex_);
    j["title"] = title_;
    j["file"] = file_;
    j["dirty"] = SceneText() != saved_;
    j["revision"] = revision_;
    TimeValue t = session_.Editor().GetTime();
    j["time"] = {{"ticks", t},
                 {"text", TimeText(t)},
                 {"ticksPerFrame", GetTicksPerFrame()},
                 {"start", 0},
                 {"end", kFramesShown * GetTicksPerFrame()}};
    j["animate"] = IsAnimateModeOn() != FALSE;
    j["editor"] = {{"rollups", RollupsJson(session_.Rollups())}};
    json names = json::array();
    for (const RegisteredClass& rc : HostClasses()) {
      if (rc.desc->SuperClassID() == UTILITY_CLASS_ID && rc.desc->ClassName()) names.push_back(rc.desc->ClassName());
    }
    j["utilities"] = std::move(names);
    j["utility"] = utilities_.IsOpen() ? json{{"name", utilityName_}, {"rollups", RollupsJson(utilities_.Rollups())}}
                                       : json(nullptr);
    j["preview"] = {{"views", {"flat", "sphere", "cube"}}, {"channels", {"color", "mono", "bump"}}};
    return j;
  }

  Reply Act(const EditAction& action) {
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

  std::shared_future<PreviewRenderer::Result> StartPreview(RenderSettings s) {
    s.time = session_.Editor().GetTime();
    preview_.Stop();
    Interval valid = FOREVER;
    tex_->Update(s.time, valid);
    return preview_.Start(tex_, s);
  }

  Reply Bitmap(HWND hwnd) {
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

  Reply OpenUtility(const std::string& name) {
    preview_.Stop();  // the pump may repaint a rollup, which reloads from the objects
    ClassDesc* d = HostFindClassByName(name);
    if (!d || d->SuperClassID() != UTILITY_CLASS_ID) return Reply::Error(400, "no utility '" + name + "'");
    if (!utilities_.Open(d)) return Reply::Error(400, "the utility '" + name + "' could not be opened");
    utilityName_ = d->ClassName() ? d->ClassName() : name;
    HostPumpMessages();
    return Reply::Json(State());
  }

  Reply SetUtilityRollupOpen(const std::string& title, bool open) {
    preview_.Stop();
    for (const HostRollupInfo& r : utilities_.Rollups()) {
      if (r.title != title) continue;
      utilities_.SetRollupOpen(r.page, open);
      HostPumpMessages();
      return Reply::Json(State());
    }
    return Reply::Error(400, "no rollup " + QuoteText(title) + " in the utility panel");
  }

  Reply Save(const std::string& saveAs) {
    preview_.Stop();
    std::string target = saveAs.empty() ? file_ : saveAs;
    if (target.empty()) return Reply::Error(400, "the scene has no file yet: save it as a file first");
    std::string error;
    // A `plughost scene set` of the same file holds this lock from its read to
    // its save: the editor's save waits for it rather than land in between.
    // (A new file, or one that is no regular file, has no lock to take.)
    std::unique_ptr<HostFileLock> lock = HostLockFile(target, &error);
    if (!HostSaveScene(*scene_, target, &error)) return Reply::Error(400, error);
    file_ = target;
    saved_ = SceneText();
    return Reply::Json(State());
  }

  // Back to the file as saved (or, for a scene never saved, a new texture).
  Reply Revert() {
    preview_.Stop();
    std::unique_ptr<Scene> scene;
    Texmap* tex = nullptr;
    std::string error;
    if (!OpenMapScene(file_, opts_.className, &scene, &tex, &error)) return Reply::Error(400, error);
    session_.Close();
    scene_ = std::move(scene);
    tex_ = tex;
    if (!session_.Show(tex_, &error)) return Reply::Error(500, error);
    saved_ = SceneText();
    ++revision_;
    return Reply::Json(State());
  }

  void Quit() {
    preview_.Stop();
    quit_ = true;
  }

 private:
  std::string SceneText() {
    std::string text, error;
    if (!HostWriteScene(*scene_, &text, &error)) return "unwritable: " + error;
    return text;
  }

  // A plug-in's message box shows in the page; the command line's answer OK.
  static int OnMessageBox(HWND, const char* text, const char* caption, UINT, void* user) {
    auto* self = static_cast<Editor*>(user);
    std::string line = std::string(caption ? caption : "") + ": " + (text ? text : "");
    std::fprintf(stderr, "plughost: %s\n", line.c_str());
    self->messages_.push_back(line);
    return IDOK;
  }

  // Addresses the shell would open go to the page, which opens them in a new
  // tab; only web and mail addresses are handed on.
  static INT_PTR OnShellOpen(HWND, const char*, const char* file, const char*, const char*, int, void* user) {
    auto* self = static_cast<Editor*>(user);
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

  ServeOptions opts_;
  std::string file_;
  std::unique_ptr<Scene> scene_;
  Texmap* tex_ = nullptr;  // the edited map, a root of scene_
  EditSession session_;
  HostUtilityPanel utilities_;
  std::string utilityName_;
  std::string saved_;  // the scene's text when last saved or loaded
  std::string title_;
  long revision_ = 0;
  bool quit_ = false;
  std::vector<std::string> opened_, messages_;
  MessageBoxHook box_;
  ShellExecuteHook shell_;
  PreviewRenderer preview_;  // last: stops before anything it reads goes
};

// ---- HTTP ---------------------------------------------------------------------

std::string NewToken() {
  std::random_device rd;
  std::string token;
  char hex[9];
  for (int i = 0; i < 4; ++i) {
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(rd()));
    token += hex;
  }
  return token;
}

// Compares every character, so that the time taken tells nothing of where a
// guess goes wrong (the length is no secret).
bool SameToken(const std::string& given, const std::string& token) {
  if (given.size() != token.size()) return false;
  unsigned diff = 0;
  for (size_t i = 0; i < token.size(); ++i) diff |= static_cast<unsigned char>(given[i] ^ token[i]);
  return diff == 0;
}

bool IsLoopback(const std::string& addr) {
  return strcasecmp(addr.c_str(), "localhost") == 0 || addr == "::1" || addr.rfind("127.", 0) == 0;
}

// Host names compare without case.
struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

bool IsWildcard(const std::string& addr) { return addr.empty() || addr == "0.0.0.0" || addr == "::"; }

std::optional<std::string_view> CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    size_t end = header.find(';');
    std::string_view part = header.substr(0, end);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    if (part.size() > name.size() && part.substr(0, name.size()) == name && part[name.size()] == '=')
      return part.substr(name.size() + 1);
    if (end == std::string_view::npos) break;
    header.remove_prefix(end + 1);
  }
  return std::nullopt;
}

class HttpFront {
 public:
  HttpFront(UiQueue& ui, Editor& editor, const ServeOptions& opts)
      : ui_(ui), editor_(editor), bind_(opts.bind), token_(NewToken()) {}

  // Binds the address; false with a reason when it cannot.
  bool Bind(int port, std::string* error) {
    port_ = port == 0 ? http_.bind_to_any_port(bind_) : (http_.bind_to_port(bind_, port) ? port : -1);
    if (port_ <= 0) {
      *error = "cannot listen on " + bind_ + (port ? ":" + std::to_string(port) : "") +
               " (is the port in use, or the address not this machine's?)";
      return false;
    }
    const std::string& b = bind_;
    std::string p = ":" + std::to_string(port_);
    anyHost_ = IsWildcard(b);
    if (IsLoopback(b)) hosts_ = {"127.0.0.1" + p, "localhost" + p};
    hosts_.insert((b.find(':') != std::string::npos ? "[" + b + "]" : b) + p);
    cookie_ = "plughost_token_" + std::to_string(port_);
    Routes();
    return true;
  }

  std::string Address() const {
    std::string host = IsWildcard(bind_)                      ? "127.0.0.1"
                       : bind_.find(':') != std::string::npos ? "[" + bind_ + "]"
                                                              : bind_;
    return "http://" + host + ":" + std::to_string(port_) + "/?token=" + token_;
  }

  void Listen() { http_.listen_after_bind(); }
  void Stop() { http_.stop(); }

 private:
  using Request = httplib::Request;
  using Response = httplib::Response;

  static void Send(Response& res, const Reply& r) {
    res.status = r.status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(r.body, r.type.c_str());
  }

  // Runs `work` on the user-interface thread and sends its reply.
  void OnUi(Response& res, const std::function<Reply()>& work) {
    Reply reply;
    bool ran = ui_.Call([&] {
      try {
        reply = work();
      } catch (const std::exception& e) {
        reply = Reply::Error(500, std::string("internal error: ") + e.what());
      }
    });
    Send(res, ran ? reply : Reply::Error(503, "the editor is closing"));
  }

  bool HostAllowed(const Request& req) const {
    std::string host = req.get_header_value("Host");
    if (anyHost_) {
      std::string p = ":" + std::to_string(port_);
      return host.size() > p.size() && host.compare(host.size() - p.size(), p.size(), p) == 0;
    }
    return hosts_.count(host) > 0;
  }

  // Checks every request before it is routed: Host, Origin, token.
  bool Admit(const Request& req, Response& res) {
    if (!HostAllowed(req)) {
      Send(res, Reply::Error(403, "refused: the Host header is not this server's address"));
      return false;
    }
    if (req.has_header("Origin") &&
        strcasecmp(req.get_header_value("Origin").c_str(), ("http://" + req.get_header_value("Host")).c_str()) != 0) {
      Send(res, Reply::Error(403, "refused: a request from another site"));
      return false;
    }
    std::string given = req.get_param_value("token");
    if (given.empty()) given = req.get_header_value("X-Plughost-Token");
    if (given.empty()) given = std::string(CookieValue(req.get_header_value("Cookie"), cookie_).value_or(""));
    if (given.empty()) {
      Send(res, Reply::Error(401, "this address needs the token that plughost serve printed"));
      return false;
    }
    if (!SameToken(given, token_)) {
      Send(res, Reply::Error(403, "wrong token"));
      return false;
    }
    // A body is read whole before its handler runs, and only a Content-Length
    // is held to the limit: a chunked body, or one without a length, would be
    // read however long it goes on.
    if (req.has_header("Transfer-Encoding") ||
        (!req.has_header("Content-Length") && req.method != "GET" && req.method != "HEAD")) {
      Send(res, Reply::Error(411, "a request body needs a Content-Length (of at most 1 MiB)"));
      return false;
    }
    return true;
  }

  // Whether a POST's body, when it has one, says it is JSON; 415 otherwise.
  static bool SaysJson(const Request& req, Response& res) {
    if (req.body.empty() || strncasecmp(req.get_header_value("Content-Type").c_str(), "application/json", 16) == 0)
      return true;
    Send(res, Reply::Error(415, "expected a JSON body (Content-Type: application/json)"));
    return false;
  }

  // The JSON object of a POST; an empty body is an empty object.
  static std::optional<json> Body(const Request& req, Response& res) {
    if (!SaysJson(req, res)) return std::nullopt;
    std::string reason;
    std::optional<json> j = RequestObject(req.body, &reason);
    if (!j) Send(res, Reply::Error(400, reason));
    return j;
  }

  static bool Field(const json& j, const char* name, bool required, std::string* out, Response& res) {
    std::string reason;
    if (RequestField(j, name, required, out, &reason)) return true;
    Send(res, Reply::Error(400, reason));
    return false;
  }

  void Routes() {
    http_.set_payload_max_length(kMaxBody);
    // An idle connection holds a server thread until this runs out, and the
    // server waits for them all when it stops.
    http_.set_keep_alive_timeout(1);
    http_.set_pre_routing_handler([this](const Request& req, Response& res) {
      return Admit(req, res) ? httplib::Server::HandlerResponse::Unhandled : httplib::Server::HandlerResponse::Handled;
    });
    http_.set_error_handler([](const Request&, Response& res) {
      if (!res.body.empty()) return;
      std::string reason = res.status == 413   ? "the request body is over 1 MiB"
                           : res.status == 404 ? "no such address"
                                               : "HTTP error " + std::to_string(res.status);
      res.set_content(reason + "\n", "text/plain; charset=utf-8");
    });
    http_.set_exception_handler([](const Request&, Response& res, std::exception_ptr ep) {
      std::string what = "unknown";
      try {
        std::rethrow_exception(ep);
      } catch (const std::exception& e) {
        what = e.what();
      } catch (...) {
      }
      Send(res, Reply::Error(500, "internal error: " + what));
    });

    for (const WebAsset& a : WebAssets()) {
      http_.Get(a.path, [this, a](const Request& req, Response& res) {
        if (std::string_view(a.path) == "/" && req.has_param("token")) {
          // The token moves into a cookie and out of the address bar.
          res.set_header("Set-Cookie", cookie_ + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict");
          res.set_redirect("/", 303);
          return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' blob:; frame-ancestors 'none'; form-action 'none'");
        res.set_content(std::string(a.bytes), a.type);
      });
    }

    http_.Get("/api/state",
              [this](const Request&, Response& res) { OnUi(res, [this] { return Reply::Json(editor_.State()); }); });

    http_.Post("/api/action", [this](const Request& req, Response& res) {
      EditAction action{};
      std::string reason;
      if (!SaysJson(req, res)) return;
      if (!ActionFromRequest(req.body, &action, &reason)) return Send(res, Reply::Error(400, reason));
      OnUi(res, [this, &action] { return editor_.Act(action); });
    });

    http_.Get("/api/preview", [this](const Request& req, Response& res) {
      RenderSettings s;
      int size = 256;
      if (req.has_param("size") && (!ParseInt(req.get_param_value("size"), &size) || size < 16 || size > 1024))
        return Send(res, Reply::Error(400, "size must be a whole number from 16 to 1024"));
      s.width = s.height = size;
      std::string view = req.has_param("view") ? req.get_param_value("view") : "flat";
      std::string channel = req.has_param("channel") ? req.get_param_value("channel") : "color";
      if (!ParseRenderView(view, &s.view)) return Send(res, Reply::Error(400, "unknown view '" + view + "'"));
      if (!ParseRenderChannel(channel, &s.channel))
        return Send(res, Reply::Error(400, "unknown channel '" + channel + "'"));
      std::shared_future<PreviewRenderer::Result> picture;
      if (!ui_.Call([&] { picture = editor_.StartPreview(s); }))
        return Send(res, Reply::Error(503, "the editor is closing"));
      if (picture.wait_for(std::chrono::seconds(60)) != std::future_status::ready)
        return Send(res, Reply::Error(503, "the picture took too long"));
      const PreviewRenderer::Result& r = picture.get();
      if (!r.done) return Send(res, Reply::Error(409, "a newer request or an edit overtook this picture"));
      res.set_header("X-Preview-Serial", std::to_string(r.serial));
      Send(res, {200, std::string(r.png.begin(), r.png.end()), "image/png"});
    });

    http_.Get("/api/bitmap", [this](const Request& req, Response& res) {
      int h = 0;
      if (!ParseInt(req.get_param_value("hwnd"), &h) || h <= 0)
        return Send(res, Reply::Error(400, "hwnd must be a window number"));
      OnUi(res, [this, h] { return editor_.Bitmap(reinterpret_cast<HWND>(static_cast<uintptr_t>(h))); });
    });

    http_.Post("/api/utility", [this](const Request& req, Response& res) {
      std::optional<json> body = Body(req, res);
      std::string name, rollup, open;
      if (!body || !Field(*body, "name", false, &name, res) || !Field(*body, "rollup", false, &rollup, res) ||
          !Field(*body, "open", false, &open, res))
        return;
      if (!name.empty()) return OnUi(res, [&] { return editor_.OpenUtility(name); });
      if (rollup.empty() || (open != "true" && open != "false"))
        return Send(res, Reply::Error(400, "give a utility's \"name\", or a \"rollup\" and \"open\": true or false"));
      OnUi(res, [&] { return editor_.SetUtilityRollupOpen(rollup, open == "true"); });
    });

    http_.Post("/api/save", [this](const Request& req, Response& res) {
      std::optional<json> body = Body(req, res);
      std::string file;
      if (!body || !Field(*body, "file", false, &file, res)) return;
      OnUi(res, [&] { return editor_.Save(file); });
    });

    http_.Post("/api/revert",
               [this](const Request&, Response& res) { OnUi(res, [this] { return editor_.Revert(); }); });

    http_.Post("/api/quit", [this](const Request&, Response& res) {
      OnUi(res, [this] {
        editor_.Quit();
        return Reply::Json({{"quit", true}});
      });
    });
  }

  httplib::Server http_;
  UiQueue& ui_;
  Editor& editor_;
  std::string bind_;
  std::string token_;
  std::string cookie_;
  int port_ = 0;
  std::set<std::string, CaseLess> hosts_;  // Host headers that name this server
  bool anyHost_ = false;
};

// Hands the address to the desktop's opener, when there is a desktop.
void OpenInBrowser(const std::string& address) {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    std::printf("No desktop here: open the address in a browser on this machine.\n");
    return;
  }
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  char opener[] = "xdg-open";
  std::string arg = address;
  char* argv[] = {opener, arg.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, opener, &quiet, nullptr, argv, environ) == 0) {
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  } else {
    std::printf("Could not start xdg-open: open the address in a browser.\n");
  }
  posix_spawn_file_actions_destroy(&quiet);
}

}  // namespace

bool ActionFromRequest(std::string_view body, EditAction* action, std::string* reason) {
  std::optional<json> j = RequestObject(body, reason);
  std::string kind, control, value;
  if (!j || !RequestField(*j, "kind", true, &kind, reason) || !RequestField(*j, "control", false, &control, reason) ||
      !RequestField(*j, "value", false, &value, reason))
    return false;
  const EditActionOption* option = nullptr;
  for (const EditActionOption& o : EditActionOptions())
    if (kind == o.flag + 2) option = &o;
  if (!option) {
    *reason = "unknown action " + QuoteText(kind);
    return false;
  }
  if (control.empty() && value.empty()) {
    *reason = "the action needs a control or a value";
    return false;
  }
  *action = {option->kind, control.empty() ? value : value.empty() ? control : control + "=" + value};
  return true;
}

int ServeCommand(const ServeOptions& opts) {
  if (opts.port < 0 || opts.port > 65535) return Fail("--port takes 0 to 65535");
  Editor editor(opts);
  std::string error;
  if (!editor.Start(&error)) return Fail(error);
  UiQueue ui;
  HttpFront front(ui, editor, opts);
  if (!front.Bind(opts.port, &error)) return Fail(error);
  if (!IsLoopback(opts.bind)) {
    std::fprintf(stderr,
                 "plughost: warning: serving on %s, not only this machine: whoever reaches it with the address "
                 "below can edit and save files here\n",
                 opts.bind.c_str());
  }

  struct sigaction stop {
  }, oldInt{}, oldTerm{};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, &oldInt);
  sigaction(SIGTERM, &stop, &oldTerm);
  g_interrupted = false;

  std::thread server([&] { front.Listen(); });
  std::string address = front.Address();
  std::printf("Editing %s (%s)\nOpen %s\nCtrl-C stops the server.\n", editor.Title().c_str(),
              opts.sceneFile.empty() ? "a new texture" : opts.sceneFile.c_str(), address.c_str());
  if (opts.open) OpenInBrowser(address);
  std::fflush(stdout);

  ui.Run([&] { return g_interrupted.load() || editor.QuitRequested(); });
  front.Stop();
  server.join();
  editor.Close();
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  std::printf("Stopped.\n");
  return 0;
}

}  // namespace plughost
