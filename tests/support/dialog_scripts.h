// Dialog templates checked against the resource scripts they are compiled
// from. The script is the source of truth: a test compares the compiled
// template, and the windows the host makes from it, with the script rather
// than with a copy of its rows.
#pragma once

#include <string>
#include <vector>

#include "hostside/ui.h"

struct ScriptedControl {
  int id = 0;
  std::string cls;   // "Static" for LTEXT, RTEXT and CTEXT, "Button" for GROUPBOX
  std::string text;  // empty where the script gives a resource id (a bitmap)
  int x = 0, y = 0, cx = 0, cy = 0;
  bool shown = true;  // unless the statement says NOT WS_VISIBLE
};
struct ScriptedDialog {
  int cx = 0, cy = 0;
  std::vector<ScriptedControl> controls;
};

// The template `id` as compiled into `module`; a failed test (and an empty
// template) when it is not one.
HostDialogTemplate LoadTemplate(HINSTANCE module, int id);
// A window as the host reads it back; a failed test when it is gone.
HostWindowInfo Info(HWND hwnd);

// The DIALOGEX `id` of a resource script, its symbols read from the files it
// includes (beside it, or the host layer's headers). A failed test when the
// script has no such dialog or a statement this reader does not know.
ScriptedDialog ReadScriptedDialog(const std::string& script, int id);

// The template `id` compiled into `module` has the script's size and, in
// order, its controls: id, class (compared without case, as Windows does),
// text, rectangle in dialog units and visibility. Returns the template for
// further checks.
HostDialogTemplate ExpectTemplateAsScripted(HINSTANCE module, const std::string& script, int id);
