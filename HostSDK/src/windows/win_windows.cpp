// The window table: creation and destruction, messages sent and posted, the
// queue and its paints, window data, texts and rectangles, and reading every
// window back.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <sstream>

#include "windows/win_internal.h"

namespace hostui {
namespace {

struct Table {
  // Handles only grow, so the map's order is the order of creation: parents
  // before their children, which is also the order paints go out in.
  std::map<HWND, std::shared_ptr<Window>> windows;
  uintptr_t nextHandle = 0x10000;
  std::deque<MSG> queue;
  HostMessageSpy spy;
  int sendDepth = 0;
};

Table& T() {
  static Table* t = new Table;  // lives to exit: windows may be destroyed from static destructors
  return *t;
}

constexpr int kMaxSendDepth = 256;

void CopyText(const std::string& s, LPSTR buffer, int bufferMax, LRESULT* copied) {
  *copied = 0;
  if (!buffer || bufferMax <= 0) return;
  size_t n = std::min(s.size(), static_cast<size_t>(bufferMax - 1));
  std::memcpy(buffer, s.data(), n);
  buffer[n] = 0;
  *copied = static_cast<LRESULT>(n);
}

void Collect(const std::shared_ptr<Window>& w, std::vector<std::shared_ptr<Window>>& out) {
  out.push_back(w);
  for (HWND c : w->children)
    if (auto cw = Find(c)) Collect(cw, out);
}

void SendDestroy(Window& w) {
  Dispatch(w, WM_DESTROY, 0, 0);
  std::vector<HWND> kids = w.children;
  for (HWND c : kids)
    if (auto cw = Find(c)) SendDestroy(*cw);
}

void SendNcDestroy(Window& w) {
  std::vector<HWND> kids = w.children;
  for (HWND c : kids)
    if (auto cw = Find(c)) SendNcDestroy(*cw);
  Dispatch(w, WM_NCDESTROY, 0, 0);
}

// Releases what the window itself holds and takes it out of the table.
void Remove(Window& w) {
  if (w.ownsImage && w.image) DeleteObject(w.image);
  w.image = nullptr;
  if (w.ownFont) DeleteObject(w.ownFont);
  w.ownFont = nullptr;
  w.paramBinding.reset();
  w.dead = true;
  T().windows.erase(w.hwnd);
}

}  // namespace

std::shared_ptr<Window> Find(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto it = T().windows.find(hwnd);
  if (it == T().windows.end() || it->second->dead) return nullptr;
  return it->second;
}

std::shared_ptr<Window> NewWindow(const WindowClass* cls, HWND parent, const std::string& text, DWORD style,
                                  DWORD exStyle, int id, RECT rect, HINSTANCE instance) {
  auto w = std::make_shared<Window>();
  w->hwnd = reinterpret_cast<HWND>(T().nextHandle);
  T().nextHandle += 4;
  w->cls = cls;
  w->parent = parent;
  w->text = text;
  w->style = style;
  w->exStyle = exStyle;
  w->id = id;
  w->rect = rect;
  w->instance = instance;
  T().windows[w->hwnd] = w;
  if (auto p = Find(parent)) p->children.push_back(w->hwnd);
  if (style & WS_VISIBLE) w->needsPaint = true;
  return w;
}

LRESULT Dispatch(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (w.dead) return 0;
  if (T().sendDepth >= kMaxSendDepth) {
    std::fprintf(stderr, "window message 0x%04x to %p dropped: messages nested too deeply\n", msg,
                 static_cast<void*>(w.hwnd));
    return 0;
  }
  if (T().spy) T().spy(MSG{w.hwnd, msg, wParam, lParam});
  ++T().sendDepth;
  LRESULT r;
  if (w.dlgProc) {
    INT_PTR answer = w.dlgProc(w.hwnd, msg, wParam, lParam);
    r = answer ? answer : (w.dead ? 0 : DefWindow(w, msg, wParam, lParam));
  } else if (w.cls && w.cls->proc) {
    r = w.cls->proc(w, msg, wParam, lParam);
  } else {
    r = DefWindow(w, msg, wParam, lParam);
  }
  --T().sendDepth;
  return r;
}

LRESULT DefWindow(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SETTEXT: w.text = lParam ? reinterpret_cast<const char*>(lParam) : ""; return TRUE;
    case WM_GETTEXT: {
      LRESULT n;
      CopyText(w.text, reinterpret_cast<LPSTR>(lParam), static_cast<int>(std::min<WPARAM>(wParam, 0x7fffffff)), &n);
      return n;
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w.text.size());
    case WM_SETFONT:
      w.font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) MarkForPaint(w);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w.font);
    case WM_CLOSE:
      if (!w.dlgProc) DestroyWindow(w.hwnd);
      return 0;
    default: return 0;
  }
}

LRESULT NotifyParent(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  return w.parent ? SendMessageA(w.parent, msg, wParam, lParam) : 0;
}

bool Shown(const Window& w) {
  if (!(w.style & WS_VISIBLE)) return false;
  auto p = Find(w.parent);
  return !p || Shown(*p);
}

void MarkForPaint(Window& w) { w.needsPaint = true; }

}  // namespace hostui

using namespace hostui;

// ---- Creation and destruction -------------------------------------------------

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param) {
  if (!className || IS_INTRESOURCE(className)) return nullptr;
  const WindowClass* cls = FindClass(className);
  if (!cls) return nullptr;
  if (parent && !Find(parent)) return nullptr;
  RECT r{x, y, x + std::max(width, 0), y + std::max(height, 0)};
  int id = (style & WS_CHILD) ? static_cast<int>(reinterpret_cast<intptr_t>(menuOrId)) : 0;
  auto w = NewWindow(cls, parent, windowName ? windowName : "", style, exStyle, id, r, instance);
  if (cls->init) cls->init(*w, -1);
  Dispatch(*w, WM_CREATE, 0, reinterpret_cast<LPARAM>(param));
  return w->dead ? nullptr : w->hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w || w->destroying) return FALSE;
  std::vector<std::shared_ptr<Window>> tree;
  Collect(w, tree);
  for (auto& t : tree) t->destroying = true;
  SendDestroy(*w);
  SendNcDestroy(*w);
  // Windows made while the tree was going (in a WM_DESTROY handler) go too.
  tree.clear();
  Collect(w, tree);
  if (auto p = Find(w->parent)) {
    auto& kids = p->children;
    kids.erase(std::remove(kids.begin(), kids.end(), hwnd), kids.end());
  }
  for (auto& t : tree) Remove(*t);
  auto& q = T().queue;
  q.erase(std::remove_if(q.begin(), q.end(), [](const MSG& m) { return m.hwnd && !Find(m.hwnd); }), q.end());
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return Find(hwnd) ? TRUE : FALSE; }

BOOL IsWindowVisible(HWND hwnd) {
  auto w = Find(hwnd);
  return w && Shown(*w) ? TRUE : FALSE;
}

namespace {
void MarkShownTree(Window& w) {
  if (!(w.style & WS_VISIBLE)) return;
  w.needsPaint = true;
  for (HWND c : w.children)
    if (auto cw = Find(c)) MarkShownTree(*cw);
}
}  // namespace

BOOL ShowWindow(HWND hwnd, int cmdShow) {
  auto w = Find(hwnd);
  if (!w) return FALSE;
  bool was = (w->style & WS_VISIBLE) != 0;
  bool show = cmdShow != SW_HIDE;
  if (was == show) return was ? TRUE : FALSE;
  Dispatch(*w, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  if (w->dead) return was ? TRUE : FALSE;
  if (show) {
    w->style |= WS_VISIBLE;
    MarkShownTree(*w);
  } else {
    w->style &= ~static_cast<DWORD>(WS_VISIBLE);
  }
  return was ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  auto w = Find(hwnd);
  if (!w) return FALSE;
  bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (wasDisabled == !enable) return wasDisabled ? TRUE : FALSE;
  if (enable)
    w->style &= ~static_cast<DWORD>(WS_DISABLED);
  else
    w->style |= WS_DISABLED;
  Dispatch(*w, WM_ENABLE, enable ? TRUE : FALSE, 0);
  MarkForPaint(*w);
  return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
  auto w = Find(hwnd);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND GetParent(HWND hwnd) {
  auto w = Find(hwnd);
  return w && Find(w->parent) ? w->parent : nullptr;
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int bufferMax) {
  auto w = Find(hwnd);
  LRESULT n = 0;
  if (w) CopyText(w->cls->name, buffer, bufferMax, &n);
  return static_cast<int>(n);
}

// ---- Messages -----------------------------------------------------------------

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto w = Find(hwnd);
  return w ? Dispatch(*w, msg, wParam, lParam) : 0;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd && !Find(hwnd)) return FALSE;
  T().queue.push_back(MSG{hwnd, msg, wParam, lParam});
  return TRUE;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto w = Find(hwnd);
  return w ? DefWindow(*w, msg, wParam, lParam) : 0;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) {
  auto w = Find(hwnd);
  if (!w) return FALSE;
  MarkForPaint(*w);
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return FALSE;
  if (w->needsPaint && Shown(*w)) {
    w->needsPaint = false;
    ++w->paintCount;
    Dispatch(*w, WM_PAINT, 0, 0);
  }
  return TRUE;
}

int HostPumpMessages(int limit) {
  int count = 0;
  while (count < limit) {
    auto& q = T().queue;
    if (!q.empty()) {
      MSG m = q.front();
      q.pop_front();
      ++count;
      if (auto w = Find(m.hwnd)) Dispatch(*w, m.message, m.wParam, m.lParam);
      continue;
    }
    std::shared_ptr<Window> paint;
    for (auto& [h, w] : T().windows)
      if (w->needsPaint && Shown(*w)) {
        paint = w;
        break;
      }
    if (!paint) break;
    paint->needsPaint = false;
    ++paint->paintCount;
    ++count;
    Dispatch(*paint, WM_PAINT, 0, 0);
  }
  return count;
}

std::vector<MSG> HostQueuedMessages() { return {T().queue.begin(), T().queue.end()}; }

std::vector<HWND> HostWindowsNeedingPaint() {
  std::vector<HWND> out;
  for (auto& [h, w] : T().windows)
    if (w->needsPaint && Shown(*w)) out.push_back(h);
  return out;
}

HostMessageSpy HostSetMessageSpy(HostMessageSpy spy) {
  HostMessageSpy old = std::move(T().spy);
  T().spy = std::move(spy);
  return old;
}

// ---- Dialog items and texts -------------------------------------------------------

HWND GetDlgItem(HWND dialog, int id) {
  auto d = Find(dialog);
  if (!d) return nullptr;
  for (HWND c : d->children)
    if (auto cw = Find(c); cw && cw->id == id) return c;
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  auto w = Find(hwnd);
  return w ? w->id : 0;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(GetDlgItem(dialog, id), msg, wParam, lParam);
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  if (!Find(hwnd)) return FALSE;
  return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) ? TRUE : FALSE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int bufferMax) {
  if (buffer && bufferMax > 0) buffer[0] = 0;
  if (!buffer || bufferMax <= 0) return 0;
  return static_cast<int>(
      SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(bufferMax), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) { return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0)); }

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) { return SetWindowTextA(GetDlgItem(dialog, id), text); }

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int bufferMax) {
  return static_cast<UINT>(GetWindowTextA(GetDlgItem(dialog, id), buffer, bufferMax));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  char text[16];
  if (isSigned)
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  else
    std::snprintf(text, sizeof text, "%u", value);
  return SetDlgItemTextA(dialog, id, text);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
  if (translated) *translated = FALSE;
  HWND item = GetDlgItem(dialog, id);
  if (!item) return 0;
  char text[64];
  GetWindowTextA(item, text, sizeof text);
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  while (end && std::isspace(static_cast<unsigned char>(*end))) ++end;
  bool ok =
      end != text && end && *end == 0 && (isSigned ? v >= INT32_MIN && v <= INT32_MAX : v >= 0 && v <= UINT32_MAX);
  if (!ok) return 0;
  if (translated) *translated = TRUE;
  return static_cast<UINT>(v);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return FALSE;
  SendMessageA(item, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0));
}

// ---- Window data --------------------------------------------------------------

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  auto w = Find(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWL_USERDATA: return w->userData;
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    case GWL_ID: return w->id;
    case DWLP_MSGRESULT: return w->dlgProc ? w->msgResult : 0;
    case DWLP_USER: return w->dlgProc ? w->dlgUser : 0;
    default: return 0;
  }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  auto w = Find(hwnd);
  if (!w) return 0;
  LONG_PTR old = GetWindowLongPtrA(hwnd, index);
  switch (index) {
    case GWL_USERDATA: w->userData = value; break;
    case GWL_STYLE: {
      bool wasVisible = (w->style & WS_VISIBLE) != 0;
      w->style = static_cast<DWORD>(value);
      if (!wasVisible && (w->style & WS_VISIBLE)) MarkForPaint(*w);
      break;
    }
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); break;
    case GWL_ID: w->id = static_cast<int>(value); break;
    case DWLP_MSGRESULT:
      if (w->dlgProc) w->msgResult = value;
      break;
    case DWLP_USER:
      if (w->dlgProc) w->dlgUser = value;
      break;
    default: return 0;
  }
  return old;
}

LONG GetWindowLongA(HWND hwnd, int index) { return static_cast<LONG>(GetWindowLongPtrA(hwnd, index)); }
LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, static_cast<LONG_PTR>(value)));
}

// ---- Rectangles -----------------------------------------------------------------

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  long long p = static_cast<long long>(number) * numerator;
  long long d = denominator;
  // Rounds half away from zero, as Windows does.
  long long ap = p < 0 ? -p : p, ad = d < 0 ? -d : d;
  long long q = (ap + ad / 2) / ad;
  if ((p < 0) != (d < 0)) q = -q;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int>(q);
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  auto w = Find(hwnd);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  auto w = Find(hwnd);
  if (!w || !rect) return FALSE;
  RECT r = w->rect;
  for (auto p = Find(w->parent); p; p = Find(p->parent)) {
    r.left += p->rect.left, r.right += p->rect.left;
    r.top += p->rect.top, r.bottom += p->rect.top;
  }
  *rect = r;
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  auto w = Find(hwnd);
  if (!w) return FALSE;
  w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
  if (repaint) MarkForPaint(*w);
  return TRUE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
  if (!Find(dialog) || !rect) return FALSE;
  rect->left = MulDiv(static_cast<int>(rect->left), 6, 4);
  rect->right = MulDiv(static_cast<int>(rect->right), 6, 4);
  rect->top = MulDiv(static_cast<int>(rect->top), 13, 8);
  rect->bottom = MulDiv(static_cast<int>(rect->bottom), 13, 8);
  return TRUE;
}

// ---- Reading back -------------------------------------------------------------

std::optional<HostWindowInfo> HostGetWindowInfo(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return std::nullopt;
  HostWindowInfo i;
  i.hwnd = hwnd;
  i.className = w->cls->name;
  i.id = w->id;
  i.text = w->text;
  i.style = w->style;
  i.exStyle = w->exStyle;
  i.visible = (w->style & WS_VISIBLE) != 0;
  i.shown = Shown(*w);
  i.enabled = !(w->style & WS_DISABLED);
  i.rect = w->rect;
  i.parent = Find(w->parent) ? w->parent : nullptr;
  for (HWND c : w->children)
    if (Find(c)) i.children.push_back(c);
  i.font = HostGetFontInfo(w->font) ? w->font : nullptr;
  i.userData = w->userData;
  i.paintCount = w->paintCount;
  i.kind = w->cls->kind;
  switch (i.kind) {
    case HostValueKind::kCheck: i.check = w->check; break;
    case HostValueKind::kSpinner:
      i.value = w->value;
      i.minimum = w->minimum;
      i.maximum = w->maximum;
      i.scale = w->scale;
      i.integer = w->spinType == EDITTYPE_INT || w->spinType == EDITTYPE_POS_INT || w->spinType == EDITTYPE_TIME;
      i.keyBrackets = w->keyBrackets;
      i.linkedEdit = Find(w->linkedEdit) ? w->linkedEdit : nullptr;
      break;
    case HostValueKind::kColor: i.color = ToColorRef(w->colorValue); break;
    case HostValueKind::kCombo:
      i.selection = w->selection;
      i.items = w->items;
      break;
    case HostValueKind::kImage:
      i.image = w->image;
      if (!i.image) i.kind = HostValueKind::kNone;
      break;
    case HostValueKind::kNone: break;
  }
  return i;
}

std::vector<HWND> HostTopLevelWindows() {
  std::vector<HWND> out;
  for (auto& [h, w] : T().windows)
    if (!w->dead && !Find(w->parent)) out.push_back(h);
  return out;
}

int HostLiveWindowCount() { return static_cast<int>(T().windows.size()); }

HWND HostFindDescendant(HWND root, int id) {
  auto w = Find(root);
  if (!w) return nullptr;
  for (HWND c : w->children) {
    auto cw = Find(c);
    if (!cw) continue;
    if (cw->id == id) return c;
    if (HWND found = HostFindDescendant(c, id)) return found;
  }
  return nullptr;
}

namespace {
void Describe(HWND hwnd, int depth, std::ostringstream& out) {
  auto info = HostGetWindowInfo(hwnd);
  if (!info) return;
  out << std::string(static_cast<size_t>(depth) * 2, ' ') << info->className << " id=" << info->id << " \""
      << info->text << "\" (" << info->rect.left << "," << info->rect.top << "," << info->rect.right - info->rect.left
      << "x" << info->rect.bottom - info->rect.top << ")" << (info->visible ? "" : " hidden")
      << (info->enabled ? "" : " disabled");
  switch (info->kind) {
    case HostValueKind::kCheck: out << " check=" << info->check; break;
    case HostValueKind::kSpinner: out << " value=" << info->value << (info->keyBrackets ? " [key]" : ""); break;
    case HostValueKind::kColor: {
      char c[16];
      std::snprintf(c, sizeof c, "#%06x", static_cast<unsigned>(info->color));
      out << " color=" << c;
      break;
    }
    case HostValueKind::kCombo: out << " selection=" << info->selection; break;
    case HostValueKind::kImage: out << " image"; break;
    case HostValueKind::kNone: break;
  }
  out << "\n";
  for (HWND c : info->children) Describe(c, depth + 1, out);
}
}  // namespace

std::string HostDescribeWindowTree(HWND root) {
  std::ostringstream out;
  Describe(root, 0, out);
  return out.str();
}
