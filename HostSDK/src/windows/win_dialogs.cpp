// Dialog templates (DIALOG and DIALOGEX) and the dialogs made from them.
//
// A DIALOGEX template, every field little-endian:
//   WORD 1, WORD 0xFFFF, DWORD helpId, DWORD exStyle, DWORD style, WORD items,
//   short x, y, cx, cy; menu, class (each 0, 0xFFFF + ordinal, or a NUL-ended
//   UTF-16 text), title (text); with DS_SETFONT: WORD points, WORD weight,
//   BYTE italic, BYTE charset, face (text).
//   Each item, aligned to 4 bytes from the template's start: DWORD helpId,
//   DWORD exStyle, DWORD style, short x, y, cx, cy, DWORD id, class, text
//   (each text or 0xFFFF + ordinal), WORD extra, `extra` bytes.
// A DIALOG template has no version, signature, help ids, weight, italic or
// charset, and 16-bit item ids.
#include <cctype>
#include <initializer_list>

#include "hostside/module_table.h"
#include "windows/win_internal.h"

namespace hostui {
namespace {

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> b) : b_(b) {}
  bool ok() const { return ok_; }
  size_t pos() const { return at_; }

  uint16_t U16() {
    if (!Need(2)) return 0;
    uint16_t v = static_cast<uint16_t>(b_[at_] | (b_[at_ + 1] << 8));
    at_ += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t lo = U16();
    uint32_t hi = U16();
    return lo | (hi << 16);
  }
  int16_t S16() { return static_cast<int16_t>(U16()); }
  uint8_t U8() {
    if (!Need(1)) return 0;
    return b_[at_++];
  }
  void Align4() {
    size_t next = (at_ + 3) & ~static_cast<size_t>(3);
    if (next > b_.size()) {
      // The last item may end without padding.
      at_ = b_.size();
      return;
    }
    at_ = next;
  }
  void Skip(size_t n) {
    if (Need(n)) at_ += n;
  }
  std::vector<uint8_t> Bytes(size_t n) {
    if (!Need(n)) return {};
    std::vector<uint8_t> v(b_.begin() + static_cast<std::ptrdiff_t>(at_),
                           b_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
    at_ += n;
    return v;
  }
  // A NUL-ended UTF-16 text, each unit above 0xFF read as '?' (the host's
  // narrow texts are Latin-1).
  std::string Text() {
    std::string s;
    while (ok_) {
      uint16_t c = U16();
      if (!ok_ || c == 0) break;
      s.push_back(c < 0x100 ? static_cast<char>(c) : '?');
    }
    return s;
  }
  // A text or 0xFFFF + ordinal; `ordinal` gets the number or -1.
  std::string TextOrOrdinal(int* ordinal) {
    *ordinal = -1;
    if (!Need(2)) return {};
    uint16_t first = static_cast<uint16_t>(b_[at_] | (b_[at_ + 1] << 8));
    if (first == 0xFFFF) {
      at_ += 2;
      *ordinal = U16();
      return {};
    }
    return Text();
  }

 private:
  bool Need(size_t n) {
    if (!ok_ || n > b_.size() - at_) {
      ok_ = false;
      return false;
    }
    return true;
  }
  std::span<const uint8_t> b_;
  size_t at_ = 0;
  bool ok_ = true;
};

// Builds texts with append rather than operator+, which GCC 12 misreads
// (-Wrestrict) when a literal comes first.
std::string Cat(std::initializer_list<std::string> parts) {
  std::string s;
  for (const std::string& p : parts) s.append(p);
  return s;
}

std::string OrdinalClass(int ordinal) {
  switch (ordinal) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x83: return "ListBox";
    case 0x84: return "ScrollBar";
    case 0x85: return "ComboBox";
    default: return Cat({"#", std::to_string(ordinal)});
  }
}

std::string g_lastDialogError;

bool SameName(const char* a, const std::string& b) {
  size_t n = std::char_traits<char>::length(a);
  if (n != b.size()) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

const WindowClass kDialogClass{"#32770", nullptr, nullptr, HostValueKind::kNone};

RECT DluRect(int x, int y, int cx, int cy) {
  int left = MulDiv(x, 6, 4), top = MulDiv(y, 13, 8);
  return RECT{left, top, left + MulDiv(cx, 6, 4), top + MulDiv(cy, 13, 8)};
}

HWND Fail(std::string why) {
  g_lastDialogError = std::move(why);
  return nullptr;
}

}  // namespace

const WindowClass* DialogClass() { return &kDialogClass; }

const WindowClass* FindClass(const std::string& name) {
  if (SameName(kDialogClass.name, name)) return &kDialogClass;
  for (auto list : {StandardControlClasses(), CustomControlClasses(), PanelClasses()})
    for (const WindowClass& c : list)
      if (SameName(c.name, name)) return &c;
  return nullptr;
}

}  // namespace hostui

using namespace hostui;

std::optional<HostDialogTemplate> HostParseDialogTemplate(std::span<const uint8_t> bytes, std::string* error) {
  auto fail = [&](const std::string& what) -> std::optional<HostDialogTemplate> {
    if (error) *error = what;
    return std::nullopt;
  };
  Reader r(bytes);
  HostDialogTemplate t;
  if (bytes.size() >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF) {
    t.extended = true;
    r.Skip(4);
    t.helpId = r.U32();
  }
  if (t.extended) {
    t.exStyle = r.U32();
    t.style = r.U32();
  } else {
    t.style = r.U32();
    t.exStyle = r.U32();
  }
  int count = r.U16();
  t.x = r.S16(), t.y = r.S16(), t.cx = r.S16(), t.cy = r.S16();
  int ordinal;
  t.menu = r.TextOrOrdinal(&ordinal);
  if (ordinal >= 0) t.menu = Cat({"#", std::to_string(ordinal)});
  t.className = r.TextOrOrdinal(&ordinal);
  if (ordinal >= 0) t.className = Cat({"#", std::to_string(ordinal)});
  t.title = r.Text();
  if (!r.ok()) return fail("dialog template header is truncated");
  if (t.style & DS_SETFONT) {
    t.pointSize = r.U16();
    if (t.extended) {
      t.weight = r.U16();
      t.italic = r.U8();
      t.charSet = r.U8();
    }
    t.faceName = r.Text();
    if (!r.ok()) return fail("dialog template font is truncated");
  }
  for (int i = 0; i < count; ++i) {
    r.Align4();
    HostDialogItem item;
    if (t.extended) {
      item.helpId = r.U32();
      item.exStyle = r.U32();
      item.style = r.U32();
    } else {
      item.style = r.U32();
      item.exStyle = r.U32();
    }
    item.x = r.S16(), item.y = r.S16(), item.cx = r.S16(), item.cy = r.S16();
    if (t.extended) {
      item.id = static_cast<int>(static_cast<int32_t>(r.U32()));
    } else {
      uint16_t id = r.U16();
      item.id = id == 0xFFFF ? -1 : id;
    }
    item.className = r.TextOrOrdinal(&ordinal);
    if (ordinal >= 0) item.className = OrdinalClass(ordinal);
    item.text = r.TextOrOrdinal(&item.textOrdinal);
    size_t extra = r.U16();
    item.creationData = r.Bytes(extra);
    if (!r.ok()) return fail(Cat({"dialog item ", std::to_string(i), " of ", std::to_string(count), " is truncated"}));
    if (item.className.empty()) return fail(Cat({"dialog item ", std::to_string(i), " has no class"}));
    t.items.push_back(std::move(item));
  }
  return t;
}

std::string HostLastDialogError() { return g_lastDialogError; }

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR dlgTemplate, HWND parent, DLGPROC proc, LPARAM initParam) {
  g_lastDialogError.clear();
  if (!dlgTemplate) return Fail("no dialog template named");
  ResId name = ResId::From(dlgTemplate);
  std::span<const uint8_t> bytes = HostFindResource(instance, ResId::Num(5), name);
  if (bytes.empty()) return Fail(Cat({"the module has no dialog template ", name.ToString()}));
  std::string error;
  auto t = HostParseDialogTemplate(bytes, &error);
  if (!t) return Fail(Cat({"dialog template ", name.ToString(), ": ", error}));
  if (parent && !Find(parent)) return Fail("the parent window does not exist");
  // Windows refuses a template that names a class nobody registered.
  for (const HostDialogItem& item : t->items)
    if (!FindClass(item.className))
      return Fail(
          Cat({"dialog template ", name.ToString(), " names the unknown window class \"", item.className, "\""}));

  bool visible = (t->style & WS_VISIBLE) != 0;
  auto d = NewWindow(DialogClass(), parent, t->title, t->style & ~static_cast<DWORD>(WS_VISIBLE), t->exStyle, 0,
                     DluRect(t->x, t->y, t->cx, t->cy), instance);
  d->dlgProc = proc;
  HFONT font = nullptr;
  if (!t->faceName.empty() || (t->style & DS_SETFONT)) {
    font = CreateDialogFont(t->pointSize, t->weight, t->italic, t->charSet, t->faceName);
    d->ownFont = font;
    d->font = font;
    Dispatch(*d, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (d->dead) return Fail("the dialog was destroyed while it was made");
  }
  for (const HostDialogItem& item : t->items) {
    const WindowClass* cls = FindClass(item.className);
    auto c = NewWindow(cls, d->hwnd, item.text, item.style | WS_CHILD, item.exStyle, item.id,
                       DluRect(item.x, item.y, item.cx, item.cy), instance);
    if (cls->init) cls->init(*c, item.textOrdinal);
    if (font) Dispatch(*c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (d->dead) return Fail("the dialog was destroyed while it was made");
  }
  HWND focus = nullptr;
  for (HWND c : d->children)
    if (auto cw = Find(c); cw && (cw->style & WS_TABSTOP) && (cw->style & WS_VISIBLE) && !(cw->style & WS_DISABLED)) {
      focus = c;
      break;
    }
  Dispatch(*d, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
  if (d->dead) return Fail("the dialog was destroyed by its WM_INITDIALOG");
  if (visible) ShowWindow(d->hwnd, SW_SHOW);
  return d->dead ? nullptr : d->hwnd;
}
