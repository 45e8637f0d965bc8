#include "editor/http_front.h"

#include <hostside/class_registry.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <string_view>

#include "common/value_readers.h"
#include "editor/connection_queue.h"
#include "editor/web_assets.h"

namespace plughost {

using nlohmann::json;

namespace {

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

// A body that goes out as it is. Offered "br", as every browser offers it,
// the library compresses a text or JSON body with brotli at its slowest
// setting: 40-60 ms for the 30 KB read-back an edit answers with, twenty times
// the edit itself, to save bytes that never leave the machine. A body handed
// over through a provider of known length is never compressed: its length is
// sent before it.
void SetBodyAsIs(httplib::Response& res, std::string body, const std::string& type) {
  if (body.empty()) return res.set_content("", type.c_str());
  auto kept = std::make_shared<const std::string>(std::move(body));
  res.set_content_provider(kept->size(), type, [kept](size_t offset, size_t length, httplib::DataSink& sink) {
    return offset <= kept->size() && length <= kept->size() - offset && sink.write(kept->data() + offset, length);
  });
}

void Send(httplib::Response& res, const Reply& r) {
  res.status = r.status;
  res.set_header("Cache-Control", "no-store");
  // A refusal is one line, which the error handler must see as a body.
  if (r.status >= 400)
    res.set_content(r.body, r.type.c_str());
  else
    SetBodyAsIs(res, r.body, r.type);
}

bool SaysJson(const httplib::Request& req, httplib::Response& res) {
  if (req.body.empty() || strncasecmp(req.get_header_value("Content-Type").c_str(), "application/json", 16) == 0)
    return true;
  Send(res, Reply::Error(415, "expected a JSON body (Content-Type: application/json)"));
  return false;
}

std::optional<json> Body(const httplib::Request& req, httplib::Response& res) {
  if (!SaysJson(req, res)) return std::nullopt;
  std::string reason;
  std::optional<json> j = RequestObject(req.body, &reason);
  if (!j) Send(res, Reply::Error(400, reason));
  return j;
}

bool Field(const json& j, const char* name, bool required, std::string* out, httplib::Response& res) {
  std::string reason;
  if (RequestField(j, name, required, out, &reason)) return true;
  Send(res, Reply::Error(400, reason));
  return false;
}

}  // namespace

bool IsLoopback(const std::string& addr) {
  return strcasecmp(addr.c_str(), "localhost") == 0 || addr == "::1" || addr.rfind("127.", 0) == 0;
}

// Host names compare without case.
bool HttpFront::CaseLess::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

HttpFront::HttpFront(UiQueue& ui, ServedDocument& document, std::string bind)
    : ui_(ui), document_(document), bind_(std::move(bind)), token_(NewToken()) {
  // Before any bind: the library applies its socket options (no Nagle delay
  // among them) to the listening socket when it makes it, and each accepted
  // connection inherits them from there. Set after the bind, they never
  // reached a connection.
  Routes();
}

bool HttpFront::Bind(int port, std::string* error) {
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
  return true;
}

std::string HttpFront::Address() const {
  std::string host = IsWildcard(bind_) ? "127.0.0.1" : bind_.find(':') != std::string::npos ? "[" + bind_ + "]" : bind_;
  return "http://" + host + ":" + std::to_string(port_) + "/?token=" + token_;
}

// Runs `work` on the user-interface thread and sends its reply.
void HttpFront::OnUi(Response& res, const std::function<Reply()>& work) {
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

bool HttpFront::HostAllowed(const Request& req) const {
  std::string host = req.get_header_value("Host");
  if (anyHost_) {
    std::string p = ":" + std::to_string(port_);
    return host.size() > p.size() && host.compare(host.size() - p.size(), p.size(), p) == 0;
  }
  return hosts_.count(host) > 0;
}

// Checks every request before it is routed: Host, Origin, token.
bool HttpFront::Admit(const Request& req, Response& res) {
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

void HttpFront::Routes() {
  // Answers go out as soon as written: with Nagle's delay a small answer
  // written in two parts waits for the browser's delayed acknowledgement
  // (some 40 ms on every edit).
  http_.set_tcp_nodelay(true);
  http_.set_payload_max_length(kMaxRequestBody);
  // An idle connection holds a server thread until this runs out, and the
  // server waits for them all when it stops.
  http_.set_keep_alive_timeout(1);
  http_.new_task_queue = [] { return new ConnectionQueue(); };
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
  RoutePage();
  RouteState();
  RouteAction();
  RoutePreview();
  RouteBitmap();
  RouteUtility();
  RouteFile();
}

// The page's own files; the first visit with the token sets the cookie.
void HttpFront::RoutePage() {
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
      SetBodyAsIs(res, std::string(a.bytes), std::string(a.type) + "; charset=utf-8");
    });
  }
}

void HttpFront::RouteState() {
  http_.Get("/api/state",
            [this](const Request&, Response& res) { OnUi(res, [this] { return Reply::Json(document_.State()); }); });
}

void HttpFront::RouteAction() {
  http_.Post("/api/action", [this](const Request& req, Response& res) {
    EditAction action{};
    std::string reason;
    if (!SaysJson(req, res)) return;
    if (!ActionFromRequest(req.body, &action, &reason)) return Send(res, Reply::Error(400, reason));
    OnUi(res, [this, &action] { return document_.Act(action); });
  });
}

void HttpFront::RoutePreview() {
  http_.Get("/api/preview", [this](const Request& req, Response& res) {
    RenderSettings s;
    int size = 256;
    if (req.has_param("size") && (!ParseInt(req.get_param_value("size"), &size) || size < 16 || size > 1024))
      return Send(res, Reply::Error(400, "size must be a whole number from 16 to 1024"));
    s.width = s.height = size;
    std::string view = req.has_param("view") ? req.get_param_value("view") : "flat";
    std::string channel = req.has_param("channel") ? req.get_param_value("channel") : "color";
    if (!ParseRenderView(view, &s.view) || (s.view == RenderView::Mesh && !document_.HasModel()))
      return Send(res, Reply::Error(400, "unknown view '" + view + "'"));
    if (!ParseRenderChannel(channel, &s.channel))
      return Send(res, Reply::Error(400, "unknown channel '" + channel + "'"));
    if (req.has_param("bump") && !ParseFloat(req.get_param_value("bump"), &s.bumpAmount))
      return Send(res, Reply::Error(400, "bump must be a number"));
    std::shared_future<PreviewRenderer::Result> picture;
    if (!ui_.Call([&] { picture = document_.StartPreview(s); }))
      return Send(res, Reply::Error(503, "the editor is closing"));
    if (picture.wait_for(std::chrono::seconds(60)) != std::future_status::ready)
      return Send(res, Reply::Error(503, "the picture took too long"));
    const PreviewRenderer::Result& r = picture.get();
    if (!r.done) return Send(res, Reply::Error(409, "a newer request or an edit overtook this picture"));
    res.set_header("X-Preview-Serial", std::to_string(r.serial));
    Send(res, {200, std::string(r.png.begin(), r.png.end()), "image/png"});
  });
}

void HttpFront::RouteBitmap() {
  http_.Get("/api/bitmap", [this](const Request& req, Response& res) {
    int h = 0;
    if (!ParseInt(req.get_param_value("hwnd"), &h) || h <= 0)
      return Send(res, Reply::Error(400, "hwnd must be a window number"));
    OnUi(res, [this, h] { return document_.Bitmap(reinterpret_cast<HWND>(static_cast<uintptr_t>(h))); });
  });
}

void HttpFront::RouteUtility() {
  http_.Post("/api/utility", [this](const Request& req, Response& res) {
    std::optional<json> body = Body(req, res);
    std::string name, rollup, open;
    if (!body || !Field(*body, "name", false, &name, res) || !Field(*body, "rollup", false, &rollup, res) ||
        !Field(*body, "open", false, &open, res))
      return;
    if (!name.empty()) return OnUi(res, [&] { return document_.OpenUtility(name); });
    if (rollup.empty() || (open != "true" && open != "false"))
      return Send(res, Reply::Error(400, "give a utility's \"name\", or a \"rollup\" and \"open\": true or false"));
    OnUi(res, [&] { return document_.SetUtilityRollupOpen(rollup, open == "true"); });
  });
}

// Save, save as, revert and quit.
void HttpFront::RouteFile() {
  http_.Post("/api/save", [this](const Request& req, Response& res) {
    std::optional<json> body = Body(req, res);
    std::string file;
    if (!body || !Field(*body, "file", false, &file, res)) return;
    OnUi(res, [&] { return document_.Save(file); });
  });

  http_.Post("/api/revert",
             [this](const Request&, Response& res) { OnUi(res, [this] { return document_.Revert(); }); });

  http_.Post("/api/quit", [this](const Request&, Response& res) {
    OnUi(res, [this] {
      document_.Quit();
      return Reply::Json({{"quit", true}});
    });
  });
}

}  // namespace plughost
