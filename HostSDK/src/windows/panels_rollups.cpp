// The host's panels: the material editor, the command panel and the utility
// panel, each a window holding a stack of rollups.
//
// A rollup is a host window (class "RollupWindow", its text the title) under
// the panel's window, holding the page: the dialog made from the plug-in's
// template, which AddRollupPage returns. Rollups stack top to bottom in the
// order added; a rolled-up one keeps its title bar and hides its page.
#include <algorithm>
#include <map>

#include "hostside/ui.h"
#include "imtl.h"
#include "plugapi.h"
#include "windows/win_internal.h"

IMtlParams::~IMtlParams() = default;

namespace hostui {
namespace {

constexpr int kTitleHeight = 20;  // a rollup's title bar, in pixels
constexpr int kRollupGap = 4;
constexpr UINT kCloseUtilityMsg = WM_USER + 0x3F01;  // the utility panel's own: close at the next pump

class RollupStack {
 public:
  explicit RollupStack(HWND owner) : owner_(owner) {}
  ~RollupStack() { DeleteAll(); }
  RollupStack(const RollupStack&) = delete;
  RollupStack& operator=(const RollupStack&) = delete;

  HWND Add(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title, LPARAM param, DWORD flags,
           int category) {
    HWND holder = CreateWindowExA(0, "RollupWindow", title ? title : "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, owner_,
                                  nullptr, instance, nullptr);
    if (!holder) return nullptr;
    HWND page = CreateDialogParamA(instance, dlgTemplate, holder, proc, param);
    if (!page) {
      DestroyWindow(holder);
      return nullptr;
    }
    bool open = !(flags & APPENDROLL_CLOSED);
    entries_.push_back({holder, page, title ? title : "", open, category, instance});
    ShowWindow(page, open ? SW_SHOW : SW_HIDE);
    Layout();
    return page;
  }

  void Delete(HWND page) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.page == page; });
    if (it == entries_.end()) return;
    HWND holder = it->holder;
    entries_.erase(it);
    DestroyWindow(holder);
    Layout();
  }

  void DeleteAll() {
    std::vector<Entry> all;
    all.swap(entries_);
    for (const Entry& e : all) DestroyWindow(e.holder);
  }

  std::vector<HostRollupInfo> Infos() {
    Prune();
    std::vector<HostRollupInfo> out;
    for (const Entry& e : entries_) out.push_back({e.page, e.title, e.open, e.category, e.instance});
    return out;
  }

  bool SetOpen(HWND page, bool open) {
    Prune();
    for (Entry& e : entries_) {
      if (e.page != page) continue;
      if (e.open != open) {
        e.open = open;
        ShowWindow(page, open ? SW_SHOW : SW_HIDE);
        Layout();
      }
      return true;
    }
    return false;
  }

  int IsOpen(HWND page) {
    for (const Entry& e : entries_)
      if (e.page == page) return e.open ? TRUE : FALSE;
    return FALSE;
  }

 private:
  struct Entry {
    HWND holder;
    HWND page;
    std::string title;
    bool open;
    int category;
    HINSTANCE instance;
  };

  // A page its plug-in destroyed itself leaves an empty rollup behind; it goes.
  void Prune() {
    for (size_t i = entries_.size(); i-- > 0;) {
      if (IsWindow(entries_[i].page)) continue;
      HWND holder = entries_[i].holder;
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      DestroyWindow(holder);
    }
  }

  void Layout() {
    int y = 0, width = 0;
    for (const Entry& e : entries_) {
      RECT r{};
      GetClientRect(e.page, &r);
      width = std::max(width, static_cast<int>(r.right));
    }
    for (const Entry& e : entries_) {
      RECT r{};
      GetClientRect(e.page, &r);
      int h = kTitleHeight + (e.open ? static_cast<int>(r.bottom) : 0);
      MoveWindow(e.holder, 0, y, width, h, FALSE);
      MoveWindow(e.page, 0, kTitleHeight, static_cast<int>(r.right), static_cast<int>(r.bottom), FALSE);
      y += h + kRollupGap;
    }
  }

  HWND owner_;
  std::vector<Entry> entries_;
};

// Which panel a panel window belongs to. Kept beside the window, not in its
// user data, which anybody may overwrite.
std::map<HWND, HostMtlEditor::Impl*>& Editors() {
  static auto* m = new std::map<HWND, HostMtlEditor::Impl*>;
  return *m;
}
std::map<HWND, HostUtilityPanel::Impl*>& UtilityPanels() {
  static auto* m = new std::map<HWND, HostUtilityPanel::Impl*>;
  return *m;
}
std::map<HWND, HostCommandPanel::Impl*>& CommandPanels() {
  static auto* m = new std::map<HWND, HostCommandPanel::Impl*>;
  return *m;
}

LRESULT MtlEditorProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT UtilityPanelProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam);

const WindowClass kClasses[] = {
    {"MtlEditor", MtlEditorProc, nullptr, HostValueKind::kNone},
    {"CommandPanel", DefWindow, nullptr, HostValueKind::kNone},
    {"UtilityPanel", UtilityPanelProc, nullptr, HostValueKind::kNone},
    {"RollupWindow", DefWindow, nullptr, HostValueKind::kNone},
};

HWND NewPanelWindow(const char* cls, const char* title) {
  return CreateWindowExA(0, cls, title, WS_VISIBLE, 0, 0, 330, 600, nullptr, nullptr, HostOwnInstance(), nullptr);
}

}  // namespace

std::span<const WindowClass> PanelClasses() { return kClasses; }

}  // namespace hostui

using namespace hostui;

// ---- Material editor ----------------------------------------------------------

struct HostMtlEditor::Impl {
  Impl()
      : window(NewPanelWindow("MtlEditor", "Material Editor")),
        rollups(window),
        watch([this](ReferenceTarget*, unsigned int message) {
          // Deleted while shown: its dialog may point at it, so the dialog is
          // left alone (not ended) rather than called.
          if (message == REFMSG_TARGET_DELETED) {
            shown = nullptr;
            dlg = nullptr;
          }
        }) {
    Editors()[window] = this;
  }
  ~Impl() { Editors().erase(window); }

  void SubMapRequest(WPARAM wParam, LPARAM lParam) {
    ++requests;
    // Only the map shown (or the one its dialog now edits) is trusted: the
    // pointer came through the queue and may be stale otherwise.
    MtlBase* m = nullptr;
    if (shown && lParam == reinterpret_cast<LPARAM>(shown)) m = shown;
    if (!m && dlg)
      if (auto* t = dynamic_cast<MtlBase*>(dlg->GetThing()); t && lParam == reinterpret_cast<LPARAM>(t)) m = t;
    auto* sub = dynamic_cast<ISubMap*>(m);
    int slot = static_cast<int>(wParam);
    if (!sub || wParam > 0x7fffffff || slot >= sub->NumSubTexmaps()) {
      ++refused;
      return;
    }
    if (!chooser) return;
    Texmap* chosen = nullptr;
    if (!chooser(m, slot, &chosen)) return;
    sub->SetSubTexmap(slot, chosen);
    ++changed;
  }

  HWND window;
  RollupStack rollups;
  TimeValue time = 0;
  std::vector<HostMouseMessage> mouse;
  int changed = 0;
  MtlBase* shown = nullptr;
  ParamDlg* dlg = nullptr;
  Watch watch;
  SubMapChooser chooser;
  int requests = 0, refused = 0;
};

namespace hostui {
namespace {
LRESULT MtlEditorProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == MTLEDIT_SUBMAP_BUTTON) {
    auto it = Editors().find(w.hwnd);
    if (it != Editors().end()) it->second->SubMapRequest(wParam, lParam);
    return 0;
  }
  return DefWindow(w, msg, wParam, lParam);
}
}  // namespace
}  // namespace hostui

HostMtlEditor::HostMtlEditor() : impl_(std::make_unique<Impl>()) {}

HostMtlEditor::~HostMtlEditor() {
  CloseDialog();
  HWND w = impl_->window;
  impl_->rollups.DeleteAll();
  impl_.reset();
  DestroyWindow(w);
}

HWND HostMtlEditor::Window() const { return impl_->window; }

HWND HostMtlEditor::AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title,
                                  LPARAM param, DWORD flags, int category) {
  return impl_->rollups.Add(instance, dlgTemplate, proc, title, param, flags, category);
}
void HostMtlEditor::DeleteRollupPage(HWND rollup) { impl_->rollups.Delete(rollup); }
void HostMtlEditor::RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  impl_->mouse.push_back({hDlg, message, wParam, lParam});
}
TimeValue HostMtlEditor::GetTime() { return impl_->time; }
void HostMtlEditor::MtlChanged() { ++impl_->changed; }
int HostMtlEditor::IsRollupPanelOpen(HWND rollup) { return impl_->rollups.IsOpen(rollup); }

ParamDlg* HostMtlEditor::Show(MtlBase* thing) {
  Impl& d = *impl_;
  if (!thing) {
    CloseDialog();
    return nullptr;
  }
  if (thing == d.shown) return d.dlg;
  // Another map of the same class reuses the dialog, as the host's editor
  // does when the user moves between two maps of one kind.
  if (d.dlg && d.shown && d.dlg->ClassID() == thing->ClassID()) {
    d.watch.Set(thing);
    d.shown = thing;
    d.dlg->SetThing(thing);
    return d.dlg;
  }
  CloseDialog();
  d.watch.Set(thing);
  d.shown = thing;
  ParamDlg* dlg = thing->CreateParamDlg(d.window, this);
  // The map may have been deleted by its own dialog's making; then the dialog is not trusted.
  if (d.shown == thing) d.dlg = dlg;
  return d.dlg;
}

void HostMtlEditor::CloseDialog() {
  Impl& d = *impl_;
  ParamDlg* dlg = d.dlg;
  d.dlg = nullptr;
  if (dlg) dlg->DeleteThis();
  d.rollups.DeleteAll();
  d.shown = nullptr;
  d.watch.Set(nullptr);
}

MtlBase* HostMtlEditor::Shown() const { return impl_->shown; }
ParamDlg* HostMtlEditor::Dialog() const { return impl_->dlg; }

void HostMtlEditor::SetTime(TimeValue t) {
  if (t == impl_->time) return;
  impl_->time = t;
  if (impl_->dlg) impl_->dlg->SetTime(t);
  RefreshKeyMarks(impl_->window);
}

std::vector<HostRollupInfo> HostMtlEditor::Rollups() const { return impl_->rollups.Infos(); }
bool HostMtlEditor::SetRollupOpen(HWND page, bool open) { return impl_->rollups.SetOpen(page, open); }
const std::vector<HostMouseMessage>& HostMtlEditor::MouseMessages() const { return impl_->mouse; }
int HostMtlEditor::MtlChangedCount() const { return impl_->changed; }
void HostMtlEditor::SetSubMapChooser(SubMapChooser chooser) { impl_->chooser = std::move(chooser); }
int HostMtlEditor::SubMapRequests() const { return impl_->requests; }
int HostMtlEditor::SubMapRequestsRefused() const { return impl_->refused; }

// ---- Command panel ------------------------------------------------------------

struct HostCommandPanel::Impl {
  Impl() : window(NewPanelWindow("CommandPanel", "Command Panel")), rollups(window) { CommandPanels()[window] = this; }
  ~Impl() { CommandPanels().erase(window); }
  HWND window;
  RollupStack rollups;
  TimeValue time = 0;
  std::vector<HostMouseMessage> mouse;
};

HostCommandPanel::HostCommandPanel() : impl_(std::make_unique<Impl>()) {}
HostCommandPanel::~HostCommandPanel() {
  HWND w = impl_->window;
  impl_.reset();
  DestroyWindow(w);
}
HWND HostCommandPanel::Window() const { return impl_->window; }
HWND HostCommandPanel::AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title,
                                     LPARAM param, DWORD flags, int category) {
  return impl_->rollups.Add(instance, dlgTemplate, proc, title, param, flags, category);
}
void HostCommandPanel::DeleteRollupPage(HWND rollup) { impl_->rollups.Delete(rollup); }
void HostCommandPanel::RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  impl_->mouse.push_back({hDlg, message, wParam, lParam});
}
int HostCommandPanel::GetTime() { return impl_->time; }
void HostCommandPanel::SetTime(TimeValue t) {
  impl_->time = t;
  RefreshKeyMarks(impl_->window);
}
std::vector<HostRollupInfo> HostCommandPanel::Rollups() const { return impl_->rollups.Infos(); }
bool HostCommandPanel::SetRollupOpen(HWND page, bool open) { return impl_->rollups.SetOpen(page, open); }
const std::vector<HostMouseMessage>& HostCommandPanel::MouseMessages() const { return impl_->mouse; }

// ---- Utility panel ------------------------------------------------------------

struct HostUtilityPanel::Impl {
  // The panel's IUtil: a utility that asks to be closed is closed at the next
  // pump, once its own call has returned.
  struct Util : IUtil {
    HWND window = nullptr;
    void CloseUtility() override { PostMessageA(window, kCloseUtilityMsg, 0, 0); }
  };

  explicit Impl(HostUtilityPanel* owner)
      : self(owner), window(NewPanelWindow("UtilityPanel", "Utilities")), rollups(window) {
    util.window = window;
    UtilityPanels()[window] = this;
  }
  ~Impl() { UtilityPanels().erase(window); }

  HostUtilityPanel* self;
  HWND window;
  RollupStack rollups;
  Util util;
  UtilityObj* current = nullptr;
  TimeValue time = 0;
  std::vector<HostMouseMessage> mouse;
};

namespace hostui {
namespace {
LRESULT UtilityPanelProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kCloseUtilityMsg) {
    auto it = UtilityPanels().find(w.hwnd);
    if (it != UtilityPanels().end()) it->second->self->Close();
    return 0;
  }
  return DefWindow(w, msg, wParam, lParam);
}
}  // namespace
}  // namespace hostui

HostUtilityPanel::HostUtilityPanel() : impl_(std::make_unique<Impl>(this)) {}
HostUtilityPanel::~HostUtilityPanel() {
  Close();
  HWND w = impl_->window;
  impl_.reset();
  DestroyWindow(w);
}
HWND HostUtilityPanel::Window() const { return impl_->window; }

bool HostUtilityPanel::Open(ClassDesc* desc) {
  if (!desc || desc->SuperClassID() != UTILITY_CLASS_ID) return false;
  Close();
  void* made = desc->Create(FALSE);
  if (!made) return false;
  impl_->current = static_cast<UtilityObj*>(made);
  impl_->current->BeginEditParams(this, &impl_->util);
  return true;
}

void HostUtilityPanel::Close() {
  UtilityObj* u = impl_->current;
  if (!u) return;
  impl_->current = nullptr;
  u->EndEditParams(this, &impl_->util);
  u->DeleteThis();
  impl_->rollups.DeleteAll();
}

bool HostUtilityPanel::IsOpen() const { return impl_->current != nullptr; }
UtilityObj* HostUtilityPanel::Current() const { return impl_->current; }
IUtil* HostUtilityPanel::Util() { return &impl_->util; }
HWND HostUtilityPanel::AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title,
                                     LPARAM param, DWORD flags, int category) {
  return impl_->rollups.Add(instance, dlgTemplate, proc, title, param, flags, category);
}
void HostUtilityPanel::DeleteRollupPage(HWND rollup) { impl_->rollups.Delete(rollup); }
void HostUtilityPanel::RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  impl_->mouse.push_back({hDlg, message, wParam, lParam});
}
int HostUtilityPanel::GetTime() { return impl_->time; }
void HostUtilityPanel::SetTime(TimeValue t) {
  impl_->time = t;
  RefreshKeyMarks(impl_->window);
}
std::vector<HostRollupInfo> HostUtilityPanel::Rollups() const { return impl_->rollups.Infos(); }
bool HostUtilityPanel::SetRollupOpen(HWND page, bool open) { return impl_->rollups.SetOpen(page, open); }
const std::vector<HostMouseMessage>& HostUtilityPanel::MouseMessages() const { return impl_->mouse; }

std::optional<TimeValue> hostui::PanelTimeOf(HWND hwnd) {
  for (auto w = Find(hwnd); w; w = Find(w->parent)) {
    if (auto e = Editors().find(w->hwnd); e != Editors().end()) return e->second->time;
    if (auto c = CommandPanels().find(w->hwnd); c != CommandPanels().end()) return c->second->time;
    if (auto u = UtilityPanels().find(w->hwnd); u != UtilityPanels().end()) return u->second->time;
  }
  return std::nullopt;
}
