#include "editor/editor_readback.h"

#include <cstdio>
#include <optional>
#include <string>

#include "editor/edit_session.h"

using nlohmann::json;

namespace plughost {

namespace {

json Rect(const RECT& r) { return {{"x", r.left}, {"y", r.top}, {"w", r.right - r.left}, {"h", r.bottom - r.top}}; }

std::string Hex(COLORREF c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(c & 0xFF),
                static_cast<unsigned>((c >> 8) & 0xFF), static_cast<unsigned>((c >> 16) & 0xFF));
  return text;
}

// What the page draws for a control: the class and its style bits decide.
const char* Role(const HostWindowInfo& w) {
  const std::string& c = w.className;
  if (SameClassName(c, "Static")) {
    if ((w.style & SS_TYPEMASK) == SS_BITMAP) return "image";
    return (w.style & SS_NOTIFY) ? "link" : "label";
  }
  if (SameClassName(c, "Button")) {
    switch (w.style & BS_TYPEMASK) {
      case BS_GROUPBOX: return "group";
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case 5:  // three-state
      case 6: return "check";
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON: return "radio";
      default: return "push";
    }
  }
  if (SameClassName(c, "CustEdit") || SameClassName(c, "Edit")) return "edit";
  if (SameClassName(c, "SpinnerControl")) return "spinner";
  if (SameClassName(c, "ColorSwatch")) return "swatch";
  if (SameClassName(c, "CustButton")) return "button";
  if (SameClassName(c, "ComboBox")) return "combo";
  return "other";
}

const char* Align(const HostWindowInfo& w) {
  if (SameClassName(w.className, "Static")) {
    switch (w.style & SS_TYPEMASK) {
      case SS_CENTER: return "center";
      case SS_RIGHT: return "right";
      default: return "left";
    }
  }
  return "left";
}

json Font(HFONT font) {
  std::optional<HostFontInfo> f = font ? HostGetFontInfo(font) : std::nullopt;
  if (!f) return nullptr;
  // A negative height is the characters' height, a positive one the cell's,
  // of which the characters take about four fifths.
  int px = f->height < 0 ? -f->height : (f->height * 4 + 2) / 5;
  return {{"px", px}, {"weight", f->weight}, {"italic", f->italic != 0}, {"face", f->faceName}};
}

json Control(HWND hwnd) {
  std::optional<HostWindowInfo> w = HostGetWindowInfo(hwnd);
  if (!w) return nullptr;
  json j = {{"hwnd", reinterpret_cast<uintptr_t>(hwnd)},
            {"id", w->id},
            {"cls", w->className},
            {"role", Role(*w)},
            {"text", w->text},
            {"rect", Rect(w->rect)},
            {"visible", w->visible},
            {"enabled", w->enabled},
            {"align", Align(*w)},
            {"leftText", SameClassName(w->className, "Button") && (w->style & BS_LEFTTEXT) != 0},
            {"notify", SameClassName(w->className, "Static") && (w->style & SS_NOTIFY) != 0},
            {"font", Font(w->font)}};
  switch (w->kind) {
    case HostValueKind::kCheck: j["check"] = w->check; break;
    case HostValueKind::kSpinner:
      j["value"] = w->value;
      j["min"] = w->minimum;
      j["max"] = w->maximum;
      j["scale"] = w->scale;
      j["integer"] = w->integer;
      j["keyBrackets"] = w->keyBrackets;
      j["edit"] = w->linkedEdit ? json(reinterpret_cast<uintptr_t>(w->linkedEdit)) : json(nullptr);
      break;
    case HostValueKind::kColor: j["color"] = Hex(w->color); break;
    case HostValueKind::kCombo:
      j["items"] = w->items;
      j["selection"] = w->selection;
      break;
    case HostValueKind::kImage: {
      std::optional<HostBitmapInfo> b = HostGetBitmapInfo(w->image);
      if (b) j["image"] = {{"w", b->width}, {"h", b->height}};
      break;
    }
    case HostValueKind::kNone: break;
  }
  json children = json::array();
  for (HWND c : w->children) children.push_back(Control(c));
  j["children"] = std::move(children);
  return j;
}

bool Below(HWND root, HWND hwnd) {
  for (HWND w = GetParent(hwnd); w; w = GetParent(w))
    if (w == root) return true;
  return false;
}

}  // namespace

json RollupsJson(const std::vector<HostRollupInfo>& rollups) {
  json out = json::array();
  for (const HostRollupInfo& r : rollups) {
    std::optional<HostWindowInfo> page = HostGetWindowInfo(r.page);
    std::optional<HostWindowInfo> holder = page ? HostGetWindowInfo(page->parent) : std::nullopt;
    if (!page || !holder) continue;
    json controls = json::array();
    for (HWND c : page->children) controls.push_back(Control(c));
    out.push_back({{"title", r.title},
                   {"open", r.open},
                   {"rect", Rect(holder->rect)},
                   {"page", Rect(page->rect)},
                   {"font", Font(page->font)},
                   {"controls", std::move(controls)}});
  }
  return out;
}

HBITMAP BitmapBelow(HWND root, HWND hwnd) {
  std::optional<HostWindowInfo> w = HostGetWindowInfo(hwnd);
  if (!w || w->kind != HostValueKind::kImage || !Below(root, hwnd)) return nullptr;
  return w->image;
}

}  // namespace plughost
