#include "editor/edit_session.h"

#include <hostside/class_registry.h>
#include <strings.h>

#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "common/value_readers.h"
#include "scene/scene_maps.h"

namespace plughost {

namespace {

// A user may click an arrow this many times in one action, either way.
constexpr int kMostSteps = 1000000;

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

// ---- The map tree --------------------------------------------------------------

struct TreeEntry {
  MapTreeNode node;
  std::vector<Texmap*> trail;  // root first, down to this map
};

std::string MapLabel(Texmap* m) {
  std::string name = m->GetName().data();
  return name.empty() ? HostClassName(m) : name;
}

// Every map under the root where it is first met; a map that holds itself
// further down is listed once.
void WalkTree(std::vector<Texmap*> trail, const std::string& place, std::vector<TreeEntry>* out) {
  Texmap* m = trail.back();
  MapTreeNode n;
  n.place = place;
  n.name = m->GetFullName().data();
  n.className = HostClassName(m);
  n.depth = static_cast<int>(trail.size()) - 1;
  out->push_back({n, trail});
  for (int i = 0; i < m->NumSubTexmaps(); ++i) {
    Texmap* sub = m->GetSubTexmap(i);
    if (!sub || std::find(trail.begin(), trail.end(), sub) != trail.end()) continue;
    // Named as scene show names it: by the sub-anim that leads there.
    std::string slot;
    for (int a = 0; a < m->NumSubs() && slot.empty(); ++a)
      if (m->SubAnim(a) == sub) slot = m->SubAnimName(a).data();
    if (slot.empty()) slot = m->GetSubTexmapSlotName(i).data();
    if (slot.empty()) slot = "Map " + std::to_string(i + 1);
    std::vector<Texmap*> down = trail;
    down.push_back(sub);
    WalkTree(down, place + "." + slot, out);
  }
}

std::vector<TreeEntry> TreeOf(Texmap* root) {
  std::vector<TreeEntry> out;
  if (root) WalkTree({root}, MapLabel(root), &out);
  return out;
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
      {"--open", EditAction::kOpen, "TITLE|PLACE",
       "Open a rolled-up rollup, or show the map at PLACE of the tree (as scene show prints it: Vede.Map)"},
      {"--close", EditAction::kClose, "TITLE", "Roll a rollup up"},
      {"--parent", EditAction::kParent, "", "Go to Parent: back to the map that holds the one shown"},
  };
  return options;
}

std::string ActionText(const EditAction& a) {
  std::string at = a.place.empty() ? "" : " (in " + a.place + ")";
  for (const EditActionOption& o : EditActionOptions()) {
    if (o.kind == a.kind) return std::string(o.flag) + (a.arg.empty() ? "" : " " + a.arg) + at;
  }
  return a.arg + at;
}

bool SameClassName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// ---- The edit session --------------------------------------------------------

EditSession::EditSession() {
  editor_.SetSubMapChooser([this](MtlBase* owner, int slot, Texmap** chosen) {
    if (!choice_) {
      // A slot that holds a map opens it; an empty one asks for a choice.
      auto* sub = dynamic_cast<ISubMap*>(owner);
      Texmap* held = sub ? sub->GetSubTexmap(slot) : nullptr;
      if (held)
        descend_ = held;
      else
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
  trail_ = {tex};
  return ShowTrail(error);
}

bool EditSession::ShowTrail(std::string* error) {
  if (trail_.empty() || !editor_.Show(trail_.back())) {
    *error = "the map has no dialog for the material editor";
    return false;
  }
  HostPumpMessages();
  return true;
}

bool EditSession::Apply(const EditAction& a, std::string* error) {
  askedForMap_ = false;
  descend_ = nullptr;
  if (!a.place.empty() && a.place != ShownPlace() && !GoTo(a.place, error)) return false;
  bool ok = Do(a, error);
  HostPumpMessages();
  // The map button of a slot that holds a map went down into it: the
  // dialog that sent the request has returned, so it may now be replaced.
  if (ok && descend_ && !trail_.empty()) {
    trail_.push_back(descend_);
    descend_ = nullptr;
    ok = ShowTrail(error);
  }
  KeepTrail();
  return ok;
}

std::vector<MapTreeNode> EditSession::Tree() const {
  std::vector<MapTreeNode> nodes;
  for (TreeEntry& e : TreeOf(trail_.empty() ? nullptr : trail_.front())) {
    e.node.shown = e.trail == trail_;
    nodes.push_back(std::move(e.node));
  }
  return nodes;
}

std::string EditSession::ShownPlace() const {
  for (const TreeEntry& e : TreeOf(trail_.empty() ? nullptr : trail_.front()))
    if (e.trail == trail_) return e.node.place;
  return "";
}

bool EditSession::GoTo(const std::string& place, std::string* error) {
  std::vector<TreeEntry> tree = TreeOf(trail_.empty() ? nullptr : trail_.front());
  std::string key = HostNameKey(place), places;
  for (const TreeEntry& e : tree) {
    if (HostNameKey(e.node.place) == key) {
      if (e.trail == trail_) return true;
      trail_ = e.trail;
      return ShowTrail(error);
    }
    places += (places.empty() ? " " : ", ") + QuoteText(e.node.place);
  }
  *error = "no map at " + QuoteText(place) + "; the places are:" + places;
  return false;
}

void EditSession::KeepTrail() {
  size_t kept = trail_.empty() ? 0 : 1;
  while (kept < trail_.size()) {
    Texmap* up = trail_[kept - 1];
    bool held = false;
    for (int i = 0; i < up->NumSubTexmaps(); ++i) held = held || up->GetSubTexmap(i) == trail_[kept];
    if (!held) break;
    ++kept;
  }
  if (kept == trail_.size()) return;
  trail_.resize(kept);
  std::string ignored;
  ShowTrail(&ignored);
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
      HWND h = FindControl(rollups, left, error);
      if (!h) return false;
      if (!IsClass(h, "SpinnerControl", "a spinner", error)) return false;
      if (!ParseSpinnerNumber(h, right, &v, error)) return false;
      std::optional<HostWindowInfo> w = HostGetWindowInfo(h);
      if (!(v >= w->minimum && v <= w->maximum)) {
        *error = right + " is outside the range of spinner " + left + " (" + FloatText(w->minimum) + " to " +
                 FloatText(w->maximum) + ")";
        return false;
      }
      return Act(HostDragSpinner(h, v), left, "spinner", error);
    }
    case EditAction::kStep: {
      int steps = 0;
      if (!SplitAssignment(a.arg, "ID=N", &left, &right, error)) return false;
      if (!ParseInt(right, &steps, error)) return false;
      if (steps < -kMostSteps || steps > kMostSteps) {
        *error = "'" + right + "' is too many steps (" + std::to_string(-kMostSteps) + " to " +
                 std::to_string(kMostSteps) + ")";
        return false;
      }
      HWND h = FindControl(rollups, left, error);
      if (!h) return false;
      if (!IsClass(h, "SpinnerControl", "a spinner", error)) return false;
      return Act(HostStepSpinner(h, steps), left, "spinner", error);
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
    case EditAction::kParent:
      if (trail_.size() < 2) return *error = "the map shown is the root of the tree: it has no parent", false;
      trail_.pop_back();
      return ShowTrail(error);
    case EditAction::kOpen:
    case EditAction::kClose: {
      std::string rollupError;
      const HostRollupInfo* r = FindRollup(rollups, a.arg, &rollupError);
      if (!r && a.kind == EditAction::kOpen) {
        // Not a rollup: a map of the tree, by its place.
        for (const TreeEntry& e : TreeOf(trail_.empty() ? nullptr : trail_.front()))
          if (HostNameKey(e.node.place) == HostNameKey(a.arg)) return GoTo(a.arg, error);
      }
      if (!r) return *error = rollupError, false;
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

}  // namespace plughost
