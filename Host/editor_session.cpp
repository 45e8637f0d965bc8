#include "editor_session.h"

#include <hostside/class_registry.h>
#include <hostside/host_maps.h>

#include <cctype>
#include <charconv>

#include "param_path.h"

namespace {

// ---- Finding what the user names -----------------------------------------------

// By its whole title, or by the beginning of exactly one title.
const HostRollupInfo* FindRollup(const std::vector<HostRollupInfo>& rollups, const std::string& title,
                                 std::string* error) {
  std::string key = NormalizeName(title);
  const HostRollupInfo* prefixed = nullptr;
  int prefixes = 0;
  for (const HostRollupInfo& r : rollups) {
    std::string name = NormalizeName(r.title);
    if (name == key) return &r;
    if (!key.empty() && name.compare(0, key.size(), key) == 0) {
      prefixed = &r;
      ++prefixes;
    }
  }
  if (prefixes == 1) return prefixed;
  std::string known;
  for (const HostRollupInfo& r : rollups) known += (known.empty() ? " " : ", ") + QuoteText(r.title);
  *error = "no rollup " + QuoteText(title) + "; the rollups are:" + known;
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

bool ParseInt(const std::string& s, int* out) {
  const char* b = s.data();
  const char* e = b + s.size();
  auto r = std::from_chars(b, e, *out);
  return !s.empty() && r.ec == std::errc() && r.ptr == e;
}

bool ParseFloat(const std::string& s, float* out) {
  const char* b = s.data();
  const char* e = b + s.size();
  auto r = std::from_chars(b, e, *out);
  return !s.empty() && r.ec == std::errc() && r.ptr == e;
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
    for (const auto& [h, r] : usable) where += (where.empty() ? "" : ", ") + QuoteText(r->title);
    *error = "control " + idStr + " is in several open rollups (" + where + "); write TITLE:" + idStr;
  } else if (closedHolder) {
    *error = "control " + idStr + " is in the rolled-up rollup " + QuoteText(closedHolder->title) +
             "; open it first with --open " + QuoteText(closedHolder->title);
  } else if (hiddenHolder) {
    *error = "control " + idStr + " of rollup " + QuoteText(hiddenHolder->title) + " is hidden";
  } else {
    *error =
        "no control " + idStr + " in " + (title.empty() ? std::string("any rollup") : "rollup " + QuoteText(title));
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
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  bool fractions = text.find('.') != std::string::npos;
  int c[3] = {0, 0, 0};
  bool ok = parts.size() == 3;
  for (size_t i = 0; ok && i < 3; ++i) {
    float v = 0.0f;
    ok = ParseFloat(parts[i], &v);
    if (ok && fractions) {
      ok = v >= 0.0f && v <= 1.0f;
      c[i] = static_cast<int>(v * 255.0f + 0.5f);
    } else if (ok) {
      ok = v >= 0.0f && v <= 255.0f && v == static_cast<float>(static_cast<int>(v));
      c[i] = static_cast<int>(v);
    }
  }
  if (!ok) {
    *error = "bad colour '" + text + "' (r,g,b with each 0 to 255, or 0.0 to 1.0)";
    return false;
  }
  *out = RGB(c[0], c[1], c[2]);
  return true;
}

// ---- Acting -------------------------------------------------------------------

bool IsClass(HWND h, const char* cls, const char* what, std::string* error) {
  std::optional<HostWindowInfo> w = HostGetWindowInfo(h);
  if (w && SameClassName(w->className, cls)) return true;
  *error = "control " + std::to_string(GetDlgCtrlID(h)) + " is " + (w ? "a " + w->className : "gone") + ", not " + what;
  return false;
}

bool Act(bool done, const std::string& ref, const char* what, std::string* error) {
  if (!done) *error = "control " + ref + " does not take that (is it a " + what + ", shown and enabled?)";
  return done;
}

void CollectButtons(HWND parent, HWND page, std::vector<HWND>* out) {
  std::optional<HostWindowInfo> p = HostGetWindowInfo(parent);
  if (!p) return;
  for (HWND child : p->children) {
    std::optional<HostWindowInfo> w = HostGetWindowInfo(child);
    if (w && SameClassName(w->className, "CustButton") && VisibleWithin(child, page)) out->push_back(child);
    CollectButtons(child, page, out);
  }
}

}  // namespace

const std::vector<EditActionOption>& EditActionOptions() {
  static const std::vector<EditActionOption> options = {
      {"--spin", EditAction::kSpin, "ID=VALUE", "Drag spinner ID to VALUE (within its range)"},
      {"--step", EditAction::kStep, "ID=N",
       "Click spinner ID's up arrow N times (down when negative), or drag it N pixels"},
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

std::string ActionText(const EditAction& a) {
  for (const EditActionOption& o : EditActionOptions()) {
    if (o.kind == a.kind) return std::string(o.flag) + " " + a.arg;
  }
  return a.arg;
}

std::string QuoteText(const std::string& s) {
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

std::string NumberText(float v) {
  char buf[64];
  float mag = v < 0.0f ? -v : v;
  bool plain = mag == 0.0f || (mag >= 1e-4f && mag < 1e9f);
  auto r = plain ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                 : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

bool SameClassName(const std::string& a, const char* b) {
  std::string x = a, y = b;
  for (char& ch : x) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  for (char& ch : y) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return x == y;
}

bool OpenEditedTexture(const std::string& sceneFile, const std::string& className, EditedTexture* out,
                       std::string* error) {
  if (!sceneFile.empty()) {
    out->scene = HostLoadScene(sceneFile, error);
    if (!out->scene) return false;
    out->tex = nullptr;
    for (int i = 0; i < out->scene->NumRoots() && !out->tex; ++i) {
      ReferenceTarget* r = out->scene->Root(i);
      if (r && r->SuperClassID() == TEXMAP_CLASS_ID) out->tex = static_cast<Texmap*>(r);
    }
    if (!out->tex) return *error = sceneFile + ": the scene holds no texture map", false;
    return true;
  }
  ClassDesc* d = HostFindClassByName(className);
  if (!d || d->SuperClassID() != TEXMAP_CLASS_ID) {
    *error = "no texture map class '" + className + "' is loaded (is its plug-in file in the plug-in folder?)";
    return false;
  }
  out->scene = std::make_unique<Scene>();
  out->tex = static_cast<Texmap*>(d->Create(FALSE));
  if (!out->tex) return *error = "class '" + className + "' created no object", false;
  out->scene->AddRoot(out->tex);
  return true;
}

// ---- The edit session --------------------------------------------------------

EditSession::EditSession() {
  editor_.SetSubMapChooser([this](MtlBase*, int, Texmap** chosen) {
    if (!choice_) {
      askedForMap_ = true;
      return false;
    }
    *chosen = *choice_;
    choice_.reset();
    return true;
  });
}

EditSession::~EditSession() { Close(); }

bool EditSession::Show(Texmap* tex, std::string* error) {
  if (!editor_.Show(tex)) {
    *error = "the texture has no dialog for the material editor";
    return false;
  }
  HostPumpMessages();
  return true;
}

bool EditSession::Apply(const EditAction& a, std::string* error) {
  askedForMap_ = false;
  bool ok = Do(a, error);
  HostPumpMessages();
  return ok;
}

void EditSession::Close() {
  editor_.CloseDialog();
  HostPumpMessages();
}

bool EditSession::Do(const EditAction& a, std::string* error) {
  std::vector<HostRollupInfo> rollups = editor_.Rollups();
  std::string left, right;
  switch (a.kind) {
    case EditAction::kSpin: {
      float v = 0.0f;
      if (!SplitAssignment(a.arg, "ID=VALUE", &left, &right, error)) return false;
      if (!ParseFloat(right, &v)) return *error = "'" + right + "' is not a number", false;
      HWND h = FindControl(rollups, left, error);
      if (!h) return false;
      if (!IsClass(h, "SpinnerControl", "a spinner", error)) return false;
      std::optional<HostWindowInfo> w = HostGetWindowInfo(h);
      if (!(v >= w->minimum && v <= w->maximum)) {
        *error = right + " is outside the range of spinner " + left + " (" + NumberText(w->minimum) + " to " +
                 NumberText(w->maximum) + ")";
        return false;
      }
      return Act(HostDragSpinner(h, v), left, "spinner", error);
    }
    case EditAction::kStep: {
      int steps = 0;
      if (!SplitAssignment(a.arg, "ID=N", &left, &right, error)) return false;
      if (!ParseInt(right, &steps) || steps < -1000000 || steps > 1000000)
        return *error = "'" + right + "' is not a whole number of steps (-1000000 to 1000000)", false;
      HWND h = FindControl(rollups, left, error);
      if (!h) return false;
      if (!IsClass(h, "SpinnerControl", "a spinner", error)) return false;
      return Act(HostStepSpinner(h, steps), left, "spinner", error);
    }
    case EditAction::kType: {
      if (!SplitAssignment(a.arg, "ID=TEXT", &left, &right, error)) return false;
      HWND h = FindControl(rollups, left, error);
      if (!h) return false;
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
      std::string v = NormalizeName(a.arg);
      if (v != "on" && v != "off") return *error = "--animate takes on or off, not '" + a.arg + "'", false;
      SetAnimateMode(v == "on" ? TRUE : FALSE);
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

// Presses the map button with a choice waiting for the editor's request.
bool EditSession::ChooseMap(const std::vector<HostRollupInfo>& rollups, const std::string& arg, std::string* error) {
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
  Texmap* map = nullptr;
  if (what == "checker") {
    map = static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, CHECKER_CLASS));
    if (!map) return *error = "the host's checker map is missing", false;
  } else if (what != "none") {
    map = static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, BITMAP_TEX_CLASS));
    if (!map) return *error = "the host's bitmap map is missing", false;
    if (!HostSetBitmapFile(map, what.c_str(), error)) {
      map->DeleteThis();
      return false;
    }
  }
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
