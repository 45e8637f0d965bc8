// The document the editor's page shows: the scene, the material editor with
// the map's rollups, the utility panel and the sample slot's preview, and
// what a user does to them (gestures, time, save, revert). It lives on the
// user-interface thread: every call comes there (through the UI queue).
#pragma once

#include <hostside/file_io.h>
#include <hostside/handlers.h>
#include <hostside/scene_file.h>
#include <hostside/ui.h>
#include <imtl.h>

#include <future>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "editor/edit_session.h"
#include "editor/http_messages.h"
#include "render/preview_renderer.h"

namespace plughost {

class ServedDocument {
 public:
  // The scene file and its first map, or (no file) a new map of `className`;
  // nothing is opened before Start.
  ServedDocument(std::string sceneFile, std::string className)
      : className_(std::move(className)), file_(std::move(sceneFile)) {}

  ~ServedDocument();
  ServedDocument(const ServedDocument&) = delete;
  ServedDocument& operator=(const ServedDocument&) = delete;

  // Opens the scene and shows the map's rollups.
  bool Start(std::string* error);

  // Ends the dialogs, then lets the scene go; once is enough.
  void Close();

  bool QuitRequested() const { return quit_; }
  const std::string& Title() const { return title_; }

  // Everything the page draws: title, file, time, the rollups' read-back,
  // the utility panel.
  nlohmann::json State();

  // One gesture, through the edit session; the answer has the new state.
  Reply Act(const EditAction& action);

  // The sample slot's picture at the editor's time, on the render threads.
  // A bump amount other than the scene's becomes the scene's setting.
  std::shared_future<PreviewRenderer::Result> StartPreview(RenderSettings s);

  // The user's model among the slot's views (the mesh view); it must outlive
  // the document. Set before Start, never changed after, so any thread may
  // ask whether there is one.
  void SetModel(const ModelView* model) { model_ = model; }
  bool HasModel() const { return model_ != nullptr; }

  // A bitmap static's image, as PNG.
  Reply Bitmap(HWND hwnd);

  Reply OpenUtility(const std::string& name);

  Reply SetUtilityRollupOpen(const std::string& title, bool open);

  // To the scene's file, or (save as) to `saveAs`.
  Reply Save(const std::string& saveAs);

  // Back to the file as saved (or, for a scene never saved, a new texture).
  Reply Revert();

  void Quit();

 private:
  std::string SceneText();

  // A plug-in's message box shows in the page; the command line's answer OK.
  static int OnMessageBox(HWND, const char* text, const char* caption, UINT, void* user);

  // Addresses the shell would open go to the page, which opens them in a new
  // tab; only web and mail addresses are handed on.
  static INT_PTR OnShellOpen(HWND, const char*, const char* file, const char*, const char*, int, void* user);

  std::string className_;
  std::string file_;
  // The file as it was when last read or saved here: a Save over a file
  // changed since then is refused, as an editor asks before it overwrites.
  HostFileIdentity onDisk_;
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
  const ModelView* model_ = nullptr;
  PreviewRenderer preview_;  // last: stops before anything it reads goes
};

}  // namespace plughost
