// plughost serve: the material editor in a browser.
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
//   GET  /api/preview      ?view=flat|sphere|cube&channel=color|mono|bump&size=N: a PNG, or
//                          409 when a newer request or an edit overtook it
//   GET  /api/bitmap       ?hwnd=N: a bitmap static's image as PNG
//   POST /api/utility      {name}: opens a utility; {rollup, open}: opens or rolls up its rollup
//   POST /api/save         {file?}: saves (to `file`: save as); POST /api/revert; POST /api/quit
#pragma once

#include <string>
#include <string_view>

#include "editor/edit_session.h"
#include "scene/scene_maps.h"

namespace plughost {

struct ServeOptions {
  std::string sceneFile;  // empty: a new texture of `className`
  std::string className = kNewMapClass;
  int port = 0;  // 0: any free port
  std::string bind = "127.0.0.1";
  bool open = true;  // open the address in the desktop's browser
};

// Serves until Ctrl-C (or SIGTERM) or the page's Quit; returns the exit status.
int ServeCommand(const ServeOptions& opts);

// The edit a POST /api/action body asks for: a JSON object {kind, control?,
// value?}, read within the bounds of a body from the network (the nesting, the
// length of each text). False with a one-line reason otherwise.
bool ActionFromRequest(std::string_view body, EditAction* action, std::string* reason);

}  // namespace plughost
