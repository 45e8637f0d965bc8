// The Windows controls: buttons (push, check, radio, group box), edits,
// statics (text or bitmap), combo boxes; list boxes and scroll bars exist so
// that templates naming them load, without behaviour of their own.
#include <algorithm>

#include "windows/win_internal.h"

namespace hostui {
namespace {

int ButtonType(const Window& w) { return static_cast<int>(w.style & BS_TYPEMASK); }
bool IsRadio(int type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }

// The radio buttons of w's group: from the nearest earlier sibling with
// WS_GROUP (or the first) up to the next one with WS_GROUP.
std::vector<std::shared_ptr<Window>> RadioGroup(const Window& w) {
  std::vector<std::shared_ptr<Window>> group;
  auto parent = Find(w.parent);
  if (!parent) return group;
  std::vector<std::shared_ptr<Window>> sibs;
  for (HWND c : parent->children)
    if (auto cw = Find(c)) sibs.push_back(cw);
  auto self = std::find_if(sibs.begin(), sibs.end(), [&](auto& s) { return s->hwnd == w.hwnd; });
  if (self == sibs.end()) return group;
  auto first = self;
  while (first != sibs.begin() && !((*first)->style & WS_GROUP)) --first;
  for (auto it = first; it != sibs.end(); ++it) {
    if (it != first && ((*it)->style & WS_GROUP)) break;
    if ((*it)->cls == w.cls && IsRadio(ButtonType(**it))) group.push_back(*it);
  }
  return group;
}

LRESULT ButtonProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case BM_GETCHECK: return w.check;
    case BM_SETCHECK:
      if (ButtonType(w) != BS_GROUPBOX && ButtonType(w) != BS_PUSHBUTTON && ButtonType(w) != 1) {
        w.check = static_cast<int>(wParam) & 3;
        MarkForPaint(w);
      }
      return 0;
    case BM_CLICK: {
      if (w.style & WS_DISABLED) return 0;
      int type = ButtonType(w);
      if (type == BS_GROUPBOX) return 0;
      if (type == BS_AUTOCHECKBOX) w.check = w.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      if (type == 6) w.check = (w.check + 1) % 3;  // automatic three-state
      if (type == BS_AUTORADIOBUTTON) {
        for (auto& other : RadioGroup(w)) other->check = other->hwnd == w.hwnd ? BST_CHECKED : BST_UNCHECKED;
      }
      MarkForPaint(w);
      NotifyParent(w, WM_COMMAND, MAKEWPARAM(w.id, BN_CLICKED), reinterpret_cast<LPARAM>(w.hwnd));
      return 0;
    }
    default: return DefWindow(w, msg, wParam, lParam);
  }
}

LRESULT EditProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETTEXT) {
    DefWindow(w, msg, wParam, lParam);
    MarkForPaint(w);
    // A single-line edit reports a text set by program as a change too.
    if (!(w.style & ES_MULTILINE))
      NotifyParent(w, WM_COMMAND, MAKEWPARAM(w.id, EN_CHANGE), reinterpret_cast<LPARAM>(w.hwnd));
    return TRUE;
  }
  return DefWindow(w, msg, wParam, lParam);
}

void StaticInit(Window& w, int textOrdinal) {
  if ((w.style & SS_TYPEMASK) != SS_BITMAP) return;
  // The image is the module's bitmap named by the control's text.
  HBITMAP bm = nullptr;
  if (textOrdinal >= 0)
    bm = LoadBitmapA(w.instance, MAKEINTRESOURCE(textOrdinal));
  else if (!w.text.empty())
    bm = LoadBitmapA(w.instance, w.text.c_str());
  w.text.clear();
  if (!bm) return;
  w.image = bm;
  w.ownsImage = true;
  // A bitmap static takes the bitmap's size unless told to centre it.
  if (!(w.style & SS_CENTERIMAGE) && !(w.style & SS_REALSIZECONTROL)) {
    if (auto info = HostGetBitmapInfo(bm)) {
      w.rect.right = w.rect.left + info->width;
      w.rect.bottom = w.rect.top + info->height;
    }
  }
}

LRESULT StaticProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case STM_SETIMAGE: {
      if (wParam != IMAGE_BITMAP) return 0;
      HBITMAP old = w.image;
      // The caller's bitmap stays the caller's; one the control loaded itself
      // is released when replaced.
      if (w.ownsImage && old) {
        DeleteObject(old);
        old = nullptr;
      }
      w.image = reinterpret_cast<HBITMAP>(lParam);
      w.ownsImage = false;
      MarkForPaint(w);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE: return wParam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(w.image) : 0;
    case WM_SETTEXT:
      DefWindow(w, msg, wParam, lParam);
      MarkForPaint(w);
      return TRUE;
    default: return DefWindow(w, msg, wParam, lParam);
  }
}

LRESULT ComboProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto count = static_cast<LRESULT>(w.items.size());
  auto index = static_cast<LRESULT>(static_cast<int>(wParam));
  switch (msg) {
    case CB_ADDSTRING: w.items.emplace_back(lParam ? reinterpret_cast<const char*>(lParam) : ""); return count;
    case CB_INSERTSTRING: {
      std::string s = lParam ? reinterpret_cast<const char*>(lParam) : "";
      if (index < 0 || index >= count) {
        w.items.push_back(s);
        return count;
      }
      w.items.insert(w.items.begin() + index, s);
      if (w.selection >= index) ++w.selection;
      return index;
    }
    case CB_DELETESTRING:
      if (index < 0 || index >= count) return CB_ERR;
      w.items.erase(w.items.begin() + index);
      if (w.selection == index) w.selection = -1;
      if (w.selection > index) --w.selection;
      return count - 1;
    case CB_RESETCONTENT:
      w.items.clear();
      w.selection = -1;
      w.text.clear();
      return 0;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return w.selection;
    case CB_SETCURSEL:
      w.selection = index >= 0 && index < count ? static_cast<int>(index) : -1;
      w.text = w.selection >= 0 ? w.items[static_cast<size_t>(w.selection)] : "";
      MarkForPaint(w);
      return w.selection >= 0 ? w.selection : CB_ERR;
    case CB_GETLBTEXTLEN:
      return index >= 0 && index < count ? static_cast<LRESULT>(w.items[static_cast<size_t>(index)].size()) : CB_ERR;
    case CB_GETLBTEXT: {
      if (index < 0 || index >= count || !lParam) return CB_ERR;
      const std::string& s = w.items[static_cast<size_t>(index)];
      std::copy(s.begin(), s.end(), reinterpret_cast<char*>(lParam));
      reinterpret_cast<char*>(lParam)[s.size()] = 0;
      return static_cast<LRESULT>(s.size());
    }
    default: return DefWindow(w, msg, wParam, lParam);
  }
}

const WindowClass kClasses[] = {
    {"Button", ButtonProc, nullptr, HostValueKind::kCheck},    {"Edit", EditProc, nullptr, HostValueKind::kNone},
    {"Static", StaticProc, StaticInit, HostValueKind::kImage}, {"ComboBox", ComboProc, nullptr, HostValueKind::kCombo},
    {"ListBox", nullptr, nullptr, HostValueKind::kNone},       {"ScrollBar", nullptr, nullptr, HostValueKind::kNone},
};

}  // namespace

std::span<const WindowClass> StandardControlClasses() { return kClasses; }

}  // namespace hostui

using namespace hostui;

bool HostClickButton(HWND button) {
  auto w = Find(button);
  if (!w || !Shown(*w) || (w->style & WS_DISABLED)) return false;
  std::string cls = w->cls->name;
  if (cls == "Button") {
    if (ButtonType(*w) == BS_GROUPBOX) return false;
    SendMessageA(button, BM_CLICK, 0, 0);
    return true;
  }
  if (cls == "Static") {
    if (!(w->style & SS_NOTIFY)) return false;
    NotifyParent(*w, WM_COMMAND, MAKEWPARAM(w->id, STN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
  }
  if (cls == "CustButton") {
    if (w->buttonType == CBT_CHECK) w->check = w->check ? 0 : 1;
    MarkForPaint(*w);
    NotifyParent(*w, WM_COMMAND, MAKEWPARAM(w->id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
  }
  return false;
}

bool HostSelectComboItem(HWND combo, int index) {
  auto w = Find(combo);
  if (!w || std::string(w->cls->name) != "ComboBox" || !Shown(*w) || (w->style & WS_DISABLED)) return false;
  if (index < 0 || index >= static_cast<int>(w->items.size())) return false;
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  NotifyParent(*w, WM_COMMAND, MAKEWPARAM(w->id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  return true;
}
