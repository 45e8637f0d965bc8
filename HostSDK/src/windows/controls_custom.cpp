// The host's custom controls: CustEdit, SpinnerControl, ColorSwatch and
// CustButton, their interfaces, and the user's actions on them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "windows/win_internal.h"

ICustomControl::~ICustomControl() = default;

namespace hostui {
namespace {

bool IsClass(const Window& w, const char* name) { return std::strcmp(w.cls->name, name) == 0; }

bool IsIntType(EditSpinnerType t) { return t == EDITTYPE_INT || t == EDITTYPE_POS_INT || t == EDITTYPE_TIME; }

// Parses a whole text (spaces around allowed) as a number.
bool ParseNumber(const std::string& text, double* out) {
  const char* s = text.c_str();
  char* end = nullptr;
  double v = std::strtod(s, &end);
  if (end == s) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != 0 || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

LRESULT TextControlProc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETTEXT) MarkForPaint(w);
  return DefWindow(w, msg, wParam, lParam);
}

const WindowClass kClasses[] = {
    {"CustEdit", TextControlProc, nullptr, HostValueKind::kNone},
    {"SpinnerControl", DefWindow, nullptr, HostValueKind::kSpinner},
    {"ColorSwatch", DefWindow, nullptr, HostValueKind::kColor},
    {"CustButton", TextControlProc, nullptr, HostValueKind::kCheck},
};

// ---- Interfaces -------------------------------------------------------------------
//
// Each interface names its control by handle and looks the window up at each
// call, so one used after its dialog is gone does nothing.

std::set<ICustomControl*>& LiveInterfaces() {
  static std::set<ICustomControl*>* s = new std::set<ICustomControl*>;
  return *s;
}

template <typename Base>
class ControlBase : public Base {
 public:
  explicit ControlBase(HWND hwnd) : hwnd_(hwnd) { LiveInterfaces().insert(this); }
  ~ControlBase() override { LiveInterfaces().erase(this); }
  HWND GetHwnd() override { return hwnd_; }
  void Enable(BOOL onOff) override { EnableWindow(hwnd_, onOff); }
  void Disable() override { EnableWindow(hwnd_, FALSE); }
  BOOL IsEnabled() override { return IsWindowEnabled(hwnd_); }

 protected:
  std::shared_ptr<Window> W() { return Find(hwnd_); }
  HWND hwnd_;
};

class CustEditImpl : public ControlBase<ICustEdit> {
 public:
  using ControlBase::ControlBase;
  void GetText(char* buffer, int bufferMax) override {
    if (!buffer || bufferMax <= 0) return;
    buffer[0] = 0;
    if (auto w = W()) {
      size_t n = std::min(w->text.size(), static_cast<size_t>(bufferMax - 1));
      std::memcpy(buffer, w->text.data(), n);
      buffer[n] = 0;
    }
  }
  void SetText(const char* text) override {
    if (auto w = W()) SetEditText(*w, text ? text : "");
  }
  void SetText(int value) override { SetText(std::to_string(value).c_str()); }
  void SetText(float value, int precision) override {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(precision, 0, 9), static_cast<double>(value));
    SetText(text);
  }
  float GetFloat(BOOL* valid) override {
    double v = 0;
    auto w = W();
    bool ok = w && ParseNumber(w->text, &v);
    if (valid) *valid = ok ? TRUE : FALSE;
    return ok ? static_cast<float>(v) : 0.0f;
  }
  int GetInt(BOOL* valid) override {
    double v = 0;
    auto w = W();
    bool ok = w && ParseNumber(w->text, &v) && v >= INT32_MIN && v <= INT32_MAX;
    if (valid) *valid = ok ? TRUE : FALSE;
    return ok ? static_cast<int>(std::lround(v)) : 0;
  }
};

class SpinnerImpl : public ControlBase<ISpinnerControl> {
 public:
  using ControlBase::ControlBase;
  float GetFVal() override {
    auto w = W();
    return w ? w->value : 0.0f;
  }
  int GetIVal() override {
    auto w = W();
    return w ? static_cast<int>(std::lround(w->value)) : 0;
  }
  void SetScale(float scale) override {
    if (auto w = W(); w && std::isfinite(scale)) w->scale = scale;
  }
  void SetValue(float value, int notify) override {
    auto w = W();
    if (!w) return;
    // A dialog loading its spinner: what it just read tells what it shows.
    if (!notify) LearnSpinnerFromRead(*w, value);
    SetSpinnerValue(*w, value, notify != 0, false);
  }
  void SetValue(int value, int notify) override { SetValue(static_cast<float>(value), notify); }
  void SetLimits(float minimum, float maximum, int limitCurValue) override {
    auto w = W();
    if (!w || std::isnan(minimum) || std::isnan(maximum)) return;
    if (minimum > maximum) std::swap(minimum, maximum);
    w->minimum = minimum;
    w->maximum = maximum;
    if (limitCurValue) SetSpinnerValue(*w, w->value, false, false);
  }
  void SetLimits(int minimum, int maximum, int limitCurValue) override {
    SetLimits(static_cast<float>(minimum), static_cast<float>(maximum), limitCurValue);
  }
  float GetMin() override {
    auto w = W();
    return w ? w->minimum : 0.0f;
  }
  float GetMax() override {
    auto w = W();
    return w ? w->maximum : 0.0f;
  }
  void LinkToEdit(HWND edit, EditSpinnerType type) override {
    auto w = W();
    if (!w) return;
    if (auto old = Find(w->linkedEdit); old && old->linkedSpinner == hwnd_) old->linkedSpinner = nullptr;
    w->spinType = type;
    w->linkedEdit = nullptr;
    auto e = Find(edit);
    if (!e || !(IsClass(*e, "CustEdit") || IsClass(*e, "Edit"))) return;
    w->linkedEdit = edit;
    e->linkedSpinner = hwnd_;
    SetEditText(*e, FormatSpinnerValue(*w));
  }
  void SetResetValue(float value) override {
    if (auto w = W()) w->resetValue = value;
  }
  void SetKeyBrackets(BOOL onOff) override {
    auto w = W();
    if (!w) return;
    SpinnerMarkedByDialog(*w);
    if (w->keyBrackets != (onOff != 0)) {
      w->keyBrackets = onOff != 0;
      MarkForPaint(*w);
    }
  }
  BOOL GetKeyBrackets() override {
    auto w = W();
    return w && w->keyBrackets ? TRUE : FALSE;
  }
  void SetIndeterminate(BOOL onOff) override {
    auto w = W();
    if (!w) return;
    w->indeterminate = onOff != 0;
    if (auto e = Find(w->linkedEdit)) SetEditText(*e, w->indeterminate ? "" : FormatSpinnerValue(*w));
  }
  BOOL IsIndeterminate() override {
    auto w = W();
    return w && w->indeterminate ? TRUE : FALSE;
  }
};

class ColorSwatchImpl : public ControlBase<IColorSwatch> {
 public:
  using ControlBase::ControlBase;
  COLORREF GetColor() override {
    auto w = W();
    return w ? ToColorRef(w->colorValue) : 0;
  }
  Color GetColorFloat() override {
    auto w = W();
    return w ? w->colorValue : Color(0.0f, 0.0f, 0.0f);
  }
  COLORREF SetColor(COLORREF c, int notify) override { return SetColor(FromColorRef(c), notify); }
  COLORREF SetColor(Color c, int notify) override {
    auto w = W();
    if (!w) return 0;
    COLORREF old = ToColorRef(w->colorValue);
    w->colorValue = Color(std::clamp(c.r, 0.0f, 1.0f), std::clamp(c.g, 0.0f, 1.0f), std::clamp(c.b, 0.0f, 1.0f));
    MarkForPaint(*w);
    if (notify) NotifyParent(*w, CC_COLOR_CHANGE, MAKEWPARAM(w->id, 0), reinterpret_cast<LPARAM>(hwnd_));
    return old;
  }
  void SetName(const char* name) override {
    if (auto w = W()) w->pickerName = name ? name : "";
  }
};

class CustButtonImpl : public ControlBase<ICustButton> {
 public:
  using ControlBase::ControlBase;
  void GetText(char* buffer, int bufferMax) override { GetWindowTextA(hwnd_, buffer, bufferMax); }
  void SetText(const char* text) override { SetWindowTextA(hwnd_, text); }
  void SetType(CustButType type) override {
    if (auto w = W()) w->buttonType = type;
  }
  BOOL IsChecked() override {
    auto w = W();
    return w && w->check ? TRUE : FALSE;
  }
  void SetCheck(BOOL checked) override {
    if (auto w = W()) {
      w->check = checked ? 1 : 0;
      MarkForPaint(*w);
    }
  }
  void SetTooltip(BOOL onOff, const char* text) override {
    if (auto w = W()) w->tooltip = onOff && text ? text : "";
  }
};

template <typename Impl>
Impl* Make(HWND ctrl, const char* cls) {
  auto w = Find(ctrl);
  return w && IsClass(*w, cls) ? new Impl(ctrl) : nullptr;
}

// Frees an interface the host gave out; anything else (a pointer released
// twice, a stranger) is left alone.
void Release(ICustomControl* c) {
  if (c && LiveInterfaces().count(c)) delete c;
}

}  // namespace

std::span<const WindowClass> CustomControlClasses() { return kClasses; }

COLORREF ToColorRef(const Color& c) {
  auto byte = [](float v) { return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
  return RGB(byte(c.r), byte(c.g), byte(c.b));
}

Color FromColorRef(COLORREF c) {
  return Color((c & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, ((c >> 16) & 0xFF) / 255.0f);
}

std::string FormatSpinnerValue(const Window& s) {
  char text[64];
  if (IsIntType(s.spinType)) {
    std::snprintf(text, sizeof text, "%ld", std::lround(s.value));
    return text;
  }
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(s.value));
  std::string t = text;
  while (t.size() > 1 && t.back() == '0' && t[t.size() - 2] != '.') t.pop_back();
  if (t == "-0.0") t = "0.0";
  return t;
}

void SetEditText(Window& edit, const std::string& text) {
  edit.text = text;
  MarkForPaint(edit);
}

void SetSpinnerValue(Window& spinner, float value, bool notify, bool drag) {
  if (std::isnan(value)) return;
  value = std::clamp(value, spinner.minimum, spinner.maximum);
  if (IsIntType(spinner.spinType)) value = std::clamp(std::round(value), spinner.minimum, spinner.maximum);
  spinner.value = value;
  spinner.indeterminate = false;
  MarkForPaint(spinner);
  if (auto e = Find(spinner.linkedEdit)) SetEditText(*e, FormatSpinnerValue(spinner));
  if (!notify) return;
  // What the dialog writes while it handles the change is what the spinner edits.
  hostparam::WriteCapture written;
  NotifyParent(spinner, CC_SPINNER_CHANGE, MAKEWPARAM(spinner.id, drag ? 1 : 0),
               reinterpret_cast<LPARAM>(spinner.hwnd));
  if (written.First().block) LearnSpinnerFromWrite(spinner, written.First());
}

}  // namespace hostui

using namespace hostui;

ICustEdit* GetICustEdit(HWND ctrl) { return Make<CustEditImpl>(ctrl, "CustEdit"); }
void ReleaseICustEdit(ICustEdit* edit) { Release(edit); }
ISpinnerControl* GetISpinner(HWND ctrl) { return Make<SpinnerImpl>(ctrl, "SpinnerControl"); }
void ReleaseISpinner(ISpinnerControl* spinner) { Release(spinner); }
IColorSwatch* GetIColorSwatch(HWND ctrl) { return Make<ColorSwatchImpl>(ctrl, "ColorSwatch"); }
IColorSwatch* GetIColorSwatch(HWND ctrl, COLORREF color, const char* name) {
  IColorSwatch* s = GetIColorSwatch(ctrl);
  if (s) {
    s->SetColor(color, FALSE);
    s->SetName(name);
  }
  return s;
}
void ReleaseIColorSwatch(IColorSwatch* swatch) { Release(swatch); }
ICustButton* GetICustButton(HWND ctrl) { return Make<CustButtonImpl>(ctrl, "CustButton"); }
void ReleaseICustButton(ICustButton* button) { Release(button); }

int HostLiveControlInterfaces() { return static_cast<int>(LiveInterfaces().size()); }

ISpinnerControl* SetupFloatSpinner(HWND dialog, int spinId, int editId, float minimum, float maximum, float value,
                                   float scale) {
  ISpinnerControl* s = GetISpinner(GetDlgItem(dialog, spinId));
  if (!s) return nullptr;
  s->SetLimits(minimum, maximum, FALSE);
  s->SetScale(scale);
  s->LinkToEdit(GetDlgItem(dialog, editId), EDITTYPE_FLOAT);
  s->SetValue(value, FALSE);
  return s;
}

ISpinnerControl* SetupIntSpinner(HWND dialog, int spinId, int editId, int minimum, int maximum, int value) {
  ISpinnerControl* s = GetISpinner(GetDlgItem(dialog, spinId));
  if (!s) return nullptr;
  s->SetLimits(minimum, maximum, FALSE);
  s->SetScale(1.0f);
  s->LinkToEdit(GetDlgItem(dialog, editId), EDITTYPE_INT);
  s->SetValue(value, FALSE);
  return s;
}

// ---- The user's actions -------------------------------------------------------

namespace {
bool Usable(const std::shared_ptr<Window>& w, const char* cls) {
  return w && IsClass(*w, cls) && Shown(*w) && !(w->style & WS_DISABLED);
}
}  // namespace

bool HostTypeText(HWND edit, const char* text) {
  auto w = Find(edit);
  if (!w || !(IsClass(*w, "Edit") || IsClass(*w, "CustEdit")) || !Shown(*w) || (w->style & WS_DISABLED)) return false;
  std::string typed = text ? text : "";
  if (IsClass(*w, "Edit")) {
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    return true;
  }
  SetEditText(*w, typed);
  auto spinner = Find(w->linkedSpinner);
  if (spinner && spinner->linkedEdit == edit) {
    double v;
    if (ParseNumber(typed, &v))
      SetSpinnerValue(*spinner, static_cast<float>(std::clamp(v, -3.0e38, 3.0e38)), true, false);
    else
      SetEditText(*w, FormatSpinnerValue(*spinner));
    return true;
  }
  NotifyParent(*w, WM_CUSTEDIT_ENTER, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(edit));
  return true;
}

bool HostDragSpinner(HWND spinner, float value) {
  auto w = Find(spinner);
  if (!Usable(w, "SpinnerControl") || std::isnan(value)) return false;
  NotifyParent(*w, CC_SPINNER_BUTTONDOWN, MAKEWPARAM(w->id, 0), reinterpret_cast<LPARAM>(spinner));
  if (w->dead) return true;
  SetSpinnerValue(*w, value, true, true);
  if (w->dead) return true;
  NotifyParent(*w, CC_SPINNER_BUTTONUP, MAKEWPARAM(w->id, TRUE), reinterpret_cast<LPARAM>(spinner));
  return true;
}

bool HostStepSpinner(HWND spinner, int steps) {
  auto w = Find(spinner);
  if (!Usable(w, "SpinnerControl")) return false;
  double step = IsIntType(w->spinType) ? std::max(1.0, std::round(static_cast<double>(w->scale))) : w->scale;
  double target = static_cast<double>(w->value) + step * steps;
  return HostDragSpinner(spinner, static_cast<float>(std::clamp(target, -3.0e38, 3.0e38)));
}

bool HostPickColor(HWND swatch, COLORREF color) {
  auto w = Find(swatch);
  if (!Usable(w, "ColorSwatch")) return false;
  w->colorValue = FromColorRef(color);
  MarkForPaint(*w);
  NotifyParent(*w, CC_COLOR_CHANGE, MAKEWPARAM(w->id, 0), reinterpret_cast<LPARAM>(swatch));
  return true;
}
