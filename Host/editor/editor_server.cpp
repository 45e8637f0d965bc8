#include "editor/editor_server.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/failure.h"
#include "editor/http_front.h"
#include "editor/served_document.h"
#include "editor/ui_queue.h"
#include "render/model_view.h"

extern char** environ;

namespace plughost {

namespace {

std::atomic<bool> g_interrupted{false};
extern "C" void OnStopSignal(int) { g_interrupted = true; }

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

int ServeEditor(const ServeOptions& opts) {
  if (opts.port < 0 || opts.port > 65535) return Fail("--port takes 0 to 65535");
  std::string error;
  ModelView model;  // before the document, which must let it go first
  if (!opts.mesh.empty() && !LoadModelView(opts.mesh, 0, &model, &error)) return Fail(error);
  ServedDocument editor(opts.sceneFile, opts.className);
  if (!opts.mesh.empty()) editor.SetModel(&model);
  if (!editor.Start(&error)) return Fail(error);
  UiQueue ui;
  HttpFront front(ui, editor, opts.bind);
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
