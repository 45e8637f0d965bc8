// plughost serve's HTTP front: the material editor in a browser.
//
// The program's main thread stays the user-interface thread: it owns the
// scene, the material editor with the texture's rollups and the utility panel,
// and runs one task at a time from a queue. The HTTP server (cpp-httplib)
// answers on threads of its own; every request that reads or changes the
// editor becomes a task on that queue and waits for it, so requests apply in
// the order they arrive and never meet a half-made change. An edit is an
// EditAction applied through the same EditSession as plughost edit's (the
// host layer's spinner, edit-field, click, colour and map-choice actions,
// delivered as window messages), and its answer is the read-back of every
// window. The sample slot renders on the render threads (PreviewRenderer).
// The queue is ui_queue.h, the document behind it served_document.h.
//
// The page, its style sheet and its script are built into the program.
//
// Safety: the server binds the loopback address unless told otherwise. Every
// request needs the random token of the printed address (query `token`, the
// cookie set when the page first loads, or the X-Plughost-Token header):
// without it 401, with a wrong one 403. A Host header other than the bound
// address and port, or an Origin of another site, gets 403; a body over 1 MiB
// 413, and one whose length is not given up front (chunked) 411; a body that
// is not the expected JSON (or nests it more than 8 levels deep), an unknown
// action or control, or a value out of range 400 with a one-line reason. No
// request stops the server. Save goes through the host's atomic writer, under
// the lock `plughost scene set` takes on the file; Revert reads the file with
// the host's scene limits.
//
// HTTP interface (JSON bodies and answers):
//   GET  /                 the page (with ?token=: sets the cookie and redirects to /)
//   GET  /api/state        {title, file, dirty, revision, time, animate, editor, utility, ...}
//   POST /api/action       {kind, control?, value?}: kind as plughost edit's option without
//                          "--" (spin, step, type, click, color, map, time, animate, open, close);
//                          answers {revision, state, opened, messages, askedForMap}
//   GET  /api/preview      ?view=flat|sphere|cube&channel=color|mono|bump&bump=A&size=N: a PNG, or
//                          409 when a newer request or an edit overtook it
//   GET  /api/bitmap       ?hwnd=N: a bitmap static's image as PNG
//   POST /api/utility      {name}: opens a utility; {rollup, open}: opens or rolls up its rollup
//   POST /api/save         {file?}: saves (to `file`: save as); POST /api/revert; POST /api/quit
#pragma once

#include <httplib.h>

#include <functional>
#include <set>
#include <string>

#include "editor/http_messages.h"
#include "editor/served_document.h"
#include "editor/ui_queue.h"

namespace plughost {

class HttpFront {
 public:
  // `bind`: the address to listen on.
  HttpFront(UiQueue& ui, ServedDocument& document, std::string bind);

  // Binds the address (port 0: any free one); false with a reason when it
  // cannot.
  bool Bind(int port, std::string* error);
  // The address to open, with the token.
  std::string Address() const;
  // Serves on the calling thread until Stop.
  void Listen() { http_.listen_after_bind(); }
  void Stop() { http_.stop(); }

 private:
  using Request = httplib::Request;
  using Response = httplib::Response;

  void OnUi(Response& res, const std::function<Reply()>& work);
  bool HostAllowed(const Request& req) const;
  bool Admit(const Request& req, Response& res);

  void Routes();
  void RoutePage();
  void RouteState();
  void RouteAction();
  void RoutePreview();
  void RouteBitmap();
  void RouteUtility();
  void RouteFile();

  httplib::Server http_;
  UiQueue& ui_;
  ServedDocument& document_;
  std::string bind_;
  std::string token_;
  std::string cookie_;
  int port_ = 0;
  struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  std::set<std::string, CaseLess> hosts_;  // Host headers that name this server
  bool anyHost_ = false;
};

// Whether the address is this machine's loopback.
bool IsLoopback(const std::string& addr);

}  // namespace plughost
