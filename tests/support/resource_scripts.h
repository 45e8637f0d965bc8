// Compiled resources checked against the resource scripts they come from.
// The script is the source of truth: a test compares a compiled template,
// the windows the host makes from it or the strings a module loads with the
// script rather than with a copy of its rows.
#pragma once

#include <map>
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

// Every string of the script's string tables, by id (its symbols read as
// for a dialog).
std::map<int, std::string> ReadScriptedStrings(const std::string& script);

// The template `id` compiled into `module` has the script's size and, in
// order, its controls: id, class (compared without case, as Windows does),
// text, rectangle in dialog units and visibility. Returns the template for
// further checks.
HostDialogTemplate ExpectTemplateAsScripted(HINSTANCE module, const std::string& script, int id);
