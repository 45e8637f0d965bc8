#include "edit_commands.h"

#include <hostside/class_registry.h>
#include <hostside/handlers.h>
#include <hostside/host_maps.h>
#include <hostside/scene_file.h>
#include <hostside/ui.h>
#include <imtl.h>
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "command_line.h"
#include "param_path.h"
#include "scene_maps.h"

namespace {

// ---- Messages for the user ---------------------------------------------------
//
// What plug-ins show in message boxes, and the addresses their links open,
// go to standard error; the command's own output stays on standard output.

int PrintMessageBox(HWND, const char* text, const char* caption, UINT, void*) {
  std::fprintf(stderr, "plughost: %s: %s\n", caption ? caption : "", text ? text : "");
  return IDOK;
}

INT_PTR PrintShellOpen(HWND, const char* operation, const char* file, const char*, const char*, int, void*) {
  std::fprintf(stderr, "plughost: %s %s\n", operation ? operation : "open", file ? file : "");
  return 42;  // above 32: the shell took it
}

// Installs both for the life of a command.
class UserMessages {
 public:
  UserMessages()
      : box_(HostSetMessageBoxHandler({PrintMessageBox, nullptr})),
        shell_(HostSetShellExecuteHandler({PrintShellOpen, nullptr})) {}
  ~UserMessages() {
    HostSetMessageBoxHandler(box_);
    HostSetShellExecuteHandler(shell_);
  }
  UserMessages(const UserMessages&) = delete;
  UserMessages& operator=(const UserMessages&) = delete;

 private:
  MessageBoxHook box_;
  ShellExecuteHook shell_;
};

// ---- Printing rollups --------------------------------------------------------

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string ColorText(COLORREF c) {
  return std::to_string(c & 0xFF) + "," + std::to_string((c >> 8) & 0xFF) + "," + std::to_string((c >> 16) & 0xFF);
}

// Window class names compare without case, as Windows compares them.
bool SameText(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

std::string ValueText(const HostWindowInfo& w) {
  switch (w.kind) {
    case HostValueKind::kCheck:
      // A push button of the host's reads as an unchecked check button.
      if (SameText(w.className, "CustButton")) return w.check ? "pressed" : "";
      // Push buttons and group boxes hold no check.
      switch (w.style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case 1:  // a default push button
        case BS_GROUPBOX: return "";
        default: break;
      }
      return w.check == BST_CHECKED ? "checked" : "unchecked";
    case HostValueKind::kSpinner:
      return "value " + FloatText(w.value) + " (" + FloatText(w.minimum) + " to " + FloatText(w.maximum) + ")";
    case HostValueKind::kColor: return "color " + ColorText(w.color);
    case HostValueKind::kCombo:
      return "item " + std::to_string(w.selection) +
             (w.selection >= 0 && static_cast<size_t>(w.selection) < w.items.size()
                  ? " " + Quote(w.items[static_cast<size_t>(w.selection)])
                  : "");
    case HostValueKind::kImage: {
      std::optional<HostBitmapInfo> b = w.image ? HostGetBitmapInfo(w.image) : std::nullopt;
      return b ? "image " + std::to_string(b->width) + "x" + std::to_string(b->height) : "no image";
    }
    case HostValueKind::kNone: break;
  }
  return "";
}

void PrintControls(HWND parent, int depth) {
  std::optional<HostWindowInfo> p = HostGetWindowInfo(parent);
  if (!p) return;
  for (HWND child : p->children) {
    std::optional<HostWindowInfo> w = HostGetWindowInfo(child);
    if (!w || !w->visible) continue;
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    char head[64];
    std::snprintf(head, sizeof head, "%5d  %-14s", w->id, w->className.c_str());
    line += head;
    // A spinner's, swatch's or picture's own text is not what it shows.
    bool valueOnly =
        w->kind == HostValueKind::kSpinner || w->kind == HostValueKind::kColor || w->kind == HostValueKind::kImage;
    bool showText = !valueOnly && (!w->text.empty() || w->kind == HostValueKind::kNone);
    if (showText) line += "  " + Quote(w->text);
    std::string value = ValueText(*w);
    if (!value.empty()) line += "  " + value;
    if (!w->enabled) line += "  disabled";
    line += "  at " + std::to_string(w->rect.left) + "," + std::to_string(w->rect.top) + " size " +
            std::to_string(w->rect.right - w->rect.left) + "x" + std::to_string(w->rect.bottom - w->rect.top);
    std::printf("%s\n", line.c_str());
    PrintControls(child, depth + 1);
  }
}

void PrintRollups(const std::vector<HostRollupInfo>& rollups) {
  for (const HostRollupInfo& r : rollups) {
    std::printf("Rollup %s (%s)\n", Quote(r.title).c_str(), r.open ? "open" : "rolled up");
    if (r.open) PrintControls(r.page, 1);
  }
}

// ---- Finding what the user names -----------------------------------------------

// By its whole title, or by the beginning of exactly one title.
const HostRollupInfo* FindRollup(const std::vector<HostRollupInfo>& rollups, const std::string& title,
                                 std::string* error) {
  std::string key = HostNameKey(title);
  const HostRollupInfo* prefixed = nullptr;
  int prefixes = 0;
  for (const HostRollupInfo& r : rollups) {
    std::string name = HostNameKey(r.title);
    if (name == key) return &r;
    if (!key.empty() && name.compare(0, key.size(), key) == 0) {
      prefixed = &r;
      ++prefixes;
    }
  }
  if (prefixes == 1) return prefixed;
  std::string known;
  for (const HostRollupInfo& r : rollups) known += (known.empty() ? " " : ", ") + Quote(r.title);
  *error = "no rollup " + Quote(title) + "; the rollups are:" + known;
  return nullptr;
}

void CollectById(HWND parent, int id, std::vector<HWND>* out) {
  std::optional<HostWindowInfo> p = HostGetWindowInfo(parent);
  if (!p) return;
  for (HWND child : p->children) {
    if (GetDlgCtrlID(child) == id) out->push_back(child);
    CollectById(child, id, out);
  }
}

// The control and every window up to the page carry the visible style.
bool VisibleWithin(HWND control, HWND page) {
  for (HWND w = control; w && w != page; w = GetParent(w)) {
    std::optional<HostWindowInfo> info = HostGetWindowInfo(w);
    if (!info || !info->visible) return false;
  }
  return true;
}

// "ID" or "TITLE:ID": the one shown control with that id in the open rollups.
HWND FindControl(const std::vector<HostRollupInfo>& rollups, const std::string& ref, std::string* error) {
  std::string title, idText = ref;
  size_t colon = ref.rfind(':');
  if (colon != std::string::npos) {
    title = ref.substr(0, colon);
    idText = ref.substr(colon + 1);
  }
  int id = 0;
  if (!ParseInt(idText, &id)) {
    *error = "'" + ref + "' is not a control id (a number, or TITLE:NUMBER to say which rollup)";
    return nullptr;
  }
  std::vector<const HostRollupInfo*> scope;
  if (!title.empty()) {
    const HostRollupInfo* r = FindRollup(rollups, title, error);
    if (!r) return nullptr;
    scope.push_back(r);
  } else {
    for (const HostRollupInfo& r : rollups) scope.push_back(&r);
  }
  std::vector<std::pair<HWND, const HostRollupInfo*>> usable;
  const HostRollupInfo* closedHolder = nullptr;
  const HostRollupInfo* hiddenHolder = nullptr;
  for (const HostRollupInfo* r : scope) {
    std::vector<HWND> found;
    CollectById(r->page, id, &found);
    for (HWND h : found) {
      if (!VisibleWithin(h, r->page)) {
        hiddenHolder = r;
      } else if (!r->open) {
        closedHolder = r;
      } else {
        usable.emplace_back(h, r);
      }
    }
  }
  if (usable.size() == 1) return usable[0].first;
  std::string idStr = std::to_string(id);
  if (usable.size() > 1) {
    std::string where;
    for (const auto& [h, r] : usable) where += (where.empty() ? "" : ", ") + Quote(r->title);
    *error = "control " + idStr + " is in several open rollups (" + where + "); write TITLE:" + idStr;
  } else if (closedHolder) {
    *error = "control " + idStr + " is in the rolled-up rollup " + Quote(closedHolder->title) +
             "; open it first with --open " + Quote(closedHolder->title);
  } else if (hiddenHolder) {
    *error = "control " + idStr + " of rollup " + Quote(hiddenHolder->title) + " is hidden";
  } else {
    *error = "no control " + idStr + " in " + (title.empty() ? std::string("any rollup") : "rollup " + Quote(title));
  }
  return nullptr;
}

bool SplitAssignment(const std::string& text, const char* what, std::string* left, std::string* right,
                     std::string* error) {
  size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) {
    *error = "expected " + std::string(what) + ", got '" + text + "'";
    return false;
  }
  *left = text.substr(0, eq);
  *right = text.substr(eq + 1);
  return true;
}

// r,g,b as whole numbers 0 to 255, or as fractions 0.0 to 1.0 when any has a
// decimal point.
bool ParseColor(const std::string& text, COLORREF* out, std::string* error) {
  float v[3];
  if (!ParseTriple(text, v, error)) return false;
  bool fractions = text.find('.') != std::string::npos;
  int c[3];
  for (int i = 0; i < 3; ++i) {
    float byte = fractions ? v[i] * 255.0f : v[i];
    if (!(byte >= 0.0f && byte <= 255.0f) || (!fractions && byte != std::floor(byte))) {
      *error = "'" + text + "' is out of range for a colour (r,g,b each 0 to 255, or 0.0 to 1.0)";
      return false;
    }
    c[i] = static_cast<int>(std::lround(byte));
  }
  *out = RGB(c[0], c[1], c[2]);
  return true;
}

// A number for a spinner, or for the edit field a spinner shows its value
// in: a whole number where the spinner counts whole numbers.
bool ParseSpinnerNumber(HWND spinner, const std::string& text, float* out, std::string* error) {
  std::optional<HostWindowInfo> w = HostGetWindowInfo(spinner);
  int i = 0;
  if (!w || !w->integer) return ParseFloat(text, out, error);
  if (!ParseInt(text, &i, error)) return false;
  *out = static_cast<float>(i);
  return true;
}

// The spinner that shows its value in this edit field, if any.
HWND SpinnerOf(HWND edit) {
  std::optional<HostWindowInfo> parent = HostGetWindowInfo(GetParent(edit));
  for (HWND h : parent ? parent->children : std::vector<HWND>{}) {
    std::optional<HostWindowInfo> w = HostGetWindowInfo(h);
    if (w && w->kind == HostValueKind::kSpinner && w->linkedEdit == edit) return h;
  }
  return nullptr;
}

// ---- The edit session --------------------------------------------------------

class EditSession {
 public:
  explicit EditSession(Texmap* tex) : tex_(tex) {
    editor_.SetSubMapChooser([this](MtlBase*, int, Texmap** chosen) {
      if (!choice_) {
        std::printf("  (the map button's choice was cancelled: choose with --map)\n");
        return false;
      }
      *chosen = *choice_;
      choice_.reset();
      return true;
    });
  }

  bool Open(std::string* error) {
    if (!editor_.Show(tex_)) {
      *error = "the texture has no dialog for the material editor";
      return false;
    }
    HostPumpMessages();
    return true;
  }

  void Print() { PrintRollups(editor_.Rollups()); }

  bool Apply(const EditAction& a, std::string* error) {
    bool ok = Do(a, error);
    HostPumpMessages();
    return ok;
  }

  void Close() {
    editor_.CloseDialog();
    HostPumpMessages();
  }

 private:
  bool Do(const EditAction& a, std::string* error) {
    std::vector<HostRollupInfo> rollups = editor_.Rollups();
    std::string left, right;
    switch (a.kind) {
      case EditAction::kSpin: {
        float v = 0.0f;
        if (!SplitAssignment(a.arg, "ID=VALUE", &left, &right, error)) return false;
        HWND h = FindControl(rollups, left, error);
        if (!h) return false;
        if (!IsClass(h, "SpinnerControl", "a spinner", error)) return false;
        if (!ParseSpinnerNumber(h, right, &v, error)) return false;
        return Act(HostDragSpinner(h, v), left, "spinner", error);
      }
      case EditAction::kType: {
        float v = 0.0f;
        if (!SplitAssignment(a.arg, "ID=TEXT", &left, &right, error)) return false;
        HWND h = FindControl(rollups, left, error);
        if (!h) return false;
        // A spinner's field takes a number by the rules of every other value.
        HWND spinner = SpinnerOf(h);
        if (spinner && !ParseSpinnerNumber(spinner, right, &v, error)) return false;
        return Act(HostTypeText(h, right.c_str()), left, "edit field", error);
      }
      case EditAction::kClick: {
        HWND h = FindControl(rollups, a.arg, error);
        if (!h) return false;
        return Act(HostClickButton(h), a.arg, "button", error);
      }
      case EditAction::kColor: {
        COLORREF c = 0;
        if (!SplitAssignment(a.arg, "ID=r,g,b", &left, &right, error)) return false;
        if (!ParseColor(right, &c, error)) return false;
        HWND h = FindControl(rollups, left, error);
        if (!h) return false;
        if (!IsClass(h, "ColorSwatch", "a colour swatch", error)) return false;
        return Act(HostPickColor(h, c), left, "colour swatch", error);
      }
      case EditAction::kMap: return ChooseMap(rollups, a.arg, error);
      case EditAction::kTime: {
        TimeValue t = 0;
        if (!ParseTime(a.arg, &t, error)) return false;
        editor_.SetTime(t);
        return true;
      }
      case EditAction::kAnimate: {
        bool on = false;
        if (!ParseBool(a.arg, &on, error)) return false;
        SetAnimateMode(on ? TRUE : FALSE);
        return true;
      }
      case EditAction::kOpen:
      case EditAction::kClose: {
        const HostRollupInfo* r = FindRollup(rollups, a.arg, error);
        if (!r) return false;
        editor_.SetRollupOpen(r->page, a.kind == EditAction::kOpen);
        return true;
      }
    }
    return false;
  }

  static bool IsClass(HWND h, const char* cls, const char* what, std::string* error) {
    std::optional<HostWindowInfo> w = HostGetWindowInfo(h);
    if (w && SameText(w->className, cls)) return true;
    *error =
        "control " + std::to_string(GetDlgCtrlID(h)) + " is " + (w ? "a " + w->className : "gone") + ", not " + what;
    return false;
  }

  static bool Act(bool done, const std::string& ref, const char* what, std::string* error) {
    if (!done) *error = "control " + ref + " does not take that (is it a " + what + ", shown and enabled?)";
    return done;
  }

  // Presses the map button with a choice waiting for the editor's request.
  bool ChooseMap(const std::vector<HostRollupInfo>& rollups, const std::string& arg, std::string* error) {
    std::string ref, what = arg;
    size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      std::string left = arg.substr(0, eq);
      int id = 0;
      size_t colon = left.rfind(':');
      if (ParseInt(colon == std::string::npos ? left : left.substr(colon + 1), &id)) {
        ref = left;
        what = arg.substr(eq + 1);
      }
    }
    HWND button = nullptr;
    if (!ref.empty()) {
      button = FindControl(rollups, ref, error);
      if (!button) return false;
    } else {
      std::vector<HWND> buttons;
      for (const HostRollupInfo& r : rollups) {
        if (r.open) CollectButtons(r.page, r.page, &buttons);
      }
      if (buttons.size() != 1) {
        *error = buttons.empty() ? "no map button in the open rollups"
                                 : "several buttons in the open rollups; say which with --map ID=" + what;
        return false;
      }
      button = buttons[0];
    }
    Texmap* map = what == "none" ? nullptr : NewHostMap(what, error);
    if (!map && what != "none") return false;
    int before = editor_.SubMapRequests();
    int refusedBefore = editor_.SubMapRequestsRefused();
    choice_ = map;
    bool clicked = HostClickButton(button);
    HostPumpMessages();
    bool taken = !choice_.has_value();
    if (!taken) {
      choice_.reset();
      if (map) map->DeleteThis();
    }
    if (!clicked) return *error = "the map button does not take a click (hidden or disabled?)", false;
    if (editor_.SubMapRequests() == before) return *error = "that button does not ask for a map", false;
    if (editor_.SubMapRequestsRefused() != refusedBefore) return *error = "the editor refused the map request", false;
    if (!taken) *error = "the map was not taken";
    return taken;
  }

  static void CollectButtons(HWND parent, HWND page, std::vector<HWND>* out) {
    std::optional<HostWindowInfo> p = HostGetWindowInfo(parent);
    if (!p) return;
    for (HWND child : p->children) {
      std::optional<HostWindowInfo> w = HostGetWindowInfo(child);
      if (w && SameText(w->className, "CustButton") && VisibleWithin(child, page)) out->push_back(child);
      CollectButtons(child, page, out);
    }
  }

  Texmap* tex_;
  HostMtlEditor editor_;
  std::optional<Texmap*> choice_;  // set while a --map choice waits for the editor
};

std::string ActionText(const EditAction& a) {
  for (const EditActionOption& o : EditActionOptions()) {
    if (o.kind == a.kind) return std::string(o.flag) + " " + a.arg;
  }
  return a.arg;
}

}  // namespace

const std::vector<EditActionOption>& EditActionOptions() {
  static const std::vector<EditActionOption> options = {
      {"--spin", EditAction::kSpin, "ID=VALUE", "Drag spinner ID to VALUE"},
      {"--type", EditAction::kType, "ID=TEXT", "Type TEXT into edit field ID and press Enter"},
      {"--click", EditAction::kClick, "ID", "Click button, check box or link ID"},
      {"--color", EditAction::kColor, "ID=R,G,B", "Pick a colour for swatch ID (0-255 each, or 0.0-1.0)"},
      {"--map", EditAction::kMap, "[ID=]CHOICE",
       "Press the map button and choose: checker, none or a PNG file (ID when there are several buttons)"},
      {"--time", EditAction::kTime, "FRAME", "Move the editor's time: a frame, or ticks with a t suffix"},
      {"--animate", EditAction::kAnimate, "on|off", "Turn animate mode on or off"},
      {"--open", EditAction::kOpen, "TITLE", "Open a rolled-up rollup"},
      {"--close", EditAction::kClose, "TITLE", "Roll a rollup up"},
  };
  return options;
}

int EditCommand(const EditOptions& opts) {
  UserMessages messages;
  std::string error;
  std::unique_ptr<Scene> scene;
  Texmap* tex = nullptr;
  if (!OpenMapScene(opts.sceneFile, opts.className, &scene, &tex, &error)) return Fail(error);

  bool ok = true;
  {
    // The editor goes before the scene that keeps the texture.
    EditSession session(tex);
    if (!session.Open(&error)) return Fail(error);
    std::printf("Material editor: %s\n", HostClassName(tex).c_str());
    session.Print();
    if (!opts.actions.empty()) {
      for (const EditAction& a : opts.actions) {
        std::printf("\n> %s\n", ActionText(a).c_str());
        if (!session.Apply(a, &error)) {
          ok = false;
          error = ActionText(a) + ": " + error;
          break;
        }
      }
      if (ok) {
        std::printf("\nAfter the actions:\n");
        session.Print();
      }
    }
    session.Close();
  }
  SetAnimateMode(FALSE);
  // A failed action saves nothing.
  if (!ok) return Fail(error);

  std::string out = !opts.output.empty() ? opts.output : opts.sceneFile;
  if (out.empty()) return 0;
  if (!HostSaveScene(*scene, out, &error)) return Fail(error);
  std::printf("\nSaved %s\n", out.c_str());
  return 0;
}

int UtilityCommand(const std::string& name) {
  UserMessages messages;
  ClassDesc* d = HostFindClassByName(name);
  if (!d || d->SuperClassID() != UTILITY_CLASS_ID) {
    std::string known;
    for (const RegisteredClass& rc : HostClasses()) {
      if (rc.desc->SuperClassID() != UTILITY_CLASS_ID) continue;
      const char* n = rc.desc->ClassName();
      known += "\n  " + std::string(n ? n : "?") + " (" + rc.source + ")";
    }
    if (known.empty()) known = " none (no plug-in file with utilities was loaded)";
    return Fail("no utility '" + name + "'. Utilities:" + known);
  }
  HostUtilityPanel panel;
  if (!panel.Open(d)) return Fail("the utility '" + name + "' could not be opened");
  HostPumpMessages();
  const char* className = d->ClassName();
  std::printf("Utility panel: %s\n", className ? className : name.c_str());
  PrintRollups(panel.Rollups());
  panel.Close();
  HostPumpMessages();
  return 0;
}
