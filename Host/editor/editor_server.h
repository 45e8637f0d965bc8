// plughost serve: the material editor in a browser. The program's main
// thread stays the user-interface thread and runs the UI queue (ui_queue.h);
// the HTTP front (http_front.h) answers on threads of its own.
#pragma once

#include <string>

#include "scene/scene_maps.h"

namespace plughost {

struct ServeOptions {
  std::string sceneFile;  // empty: a new texture of `className`
  std::string className = kNewMapClass;
  std::string mesh;  // a model file to add to the sample slot's views; empty: none
  int port = 0;      // 0: any free port
  std::string bind = "127.0.0.1";
  bool open = true;  // open the address in the desktop's browser
};

// Serves until Ctrl-C (or SIGTERM) or the page's Quit; returns the exit status.
int ServeEditor(const ServeOptions& opts);

}  // namespace plughost
