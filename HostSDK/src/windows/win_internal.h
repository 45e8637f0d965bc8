// The host layer's window table and what its sources share about windows.
// Internal: plug-ins and the host program see only windows.h, custcont.h and
// hostside/ui.h.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "color.h"
#include "custcont.h"
#include "hostside/scene_file.h"
#include "hostside/ui.h"
#include "object_model/param_trace.h"
#include "windows.h"

class ParamUIDesc;
class ReferenceTarget;

namespace hostui {

struct Window;
class SpinnerParamBinding;

// What a window class does with a message; the fall-through is DefWindow.
using ClassProc = LRESULT (*)(Window& w, UINT msg, WPARAM wParam, LPARAM lParam);
// Sets up a control's own state once the window exists (before WM_SETFONT).
// `textOrdinal` is a template text given as a resource number, else -1.
using ClassInit = void (*)(Window& w, int textOrdinal);

struct WindowClass {
  const char* name;
  ClassProc proc;
  ClassInit init;
  HostValueKind kind;
};

// The classes the host knows, looked up without case; null when unknown.
const WindowClass* FindClass(const std::string& name);
const WindowClass* DialogClass();
// The classes each source defines, gathered by FindClass.
std::span<const WindowClass> StandardControlClasses();  // controls_std.cpp
std::span<const WindowClass> CustomControlClasses();    // controls_custom.cpp
std::span<const WindowClass> PanelClasses();            // panels_rollups.cpp

struct Window {
  HWND hwnd = nullptr;
  const WindowClass* cls = nullptr;
  HWND parent = nullptr;
  std::vector<HWND> children;
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;
  RECT rect{};  // pixels, in the parent's client coordinates
  LONG_PTR userData = 0;
  HINSTANCE instance = nullptr;
  HFONT font = nullptr;

  // Dialogs.
  DLGPROC dlgProc = nullptr;
  LONG_PTR msgResult = 0;
  LONG_PTR dlgUser = 0;
  HFONT ownFont = nullptr;  // the template's font, released with the dialog

  // Painting and life.
  bool needsPaint = false;
  int paintCount = 0;
  bool destroying = false;
  bool dead = false;

  // Buttons (check state), CustButtons.
  int check = 0;
  int buttonType = 0;  // CustButton: CBT_PUSH or CBT_CHECK
  std::string tooltip;
  // Spinners.
  float value = 0.0f;
  float minimum = -1e30f, maximum = 1e30f;
  float scale = 0.1f;
  float resetValue = 0.0f;
  EditSpinnerType spinType = EDITTYPE_FLOAT;
  HWND linkedEdit = nullptr;
  bool keyBrackets = false;
  bool keyMarksByDialog = false;                      // the dialog has set the key marks itself
  std::shared_ptr<SpinnerParamBinding> paramBinding;  // the parameter the host found it shows
  bool indeterminate = false;
  // Edits linked to a spinner.
  HWND linkedSpinner = nullptr;
  // Colour swatches: the colour as floats, so that a value shown and read
  // back is not rounded to bytes.
  Color colorValue{0.0f, 0.0f, 0.0f};
  std::string pickerName;
  // Combo boxes.
  std::vector<std::string> items;
  int selection = -1;
  // Statics with an image.
  HBITMAP image = nullptr;
  bool ownsImage = false;
};

// The live window of a handle, or null. The pointer keeps the record alive
// while a caller works on it, even if the window is destroyed meanwhile.
std::shared_ptr<Window> Find(HWND hwnd);
// Makes a window of class `cls` and links it under `parent`; no messages.
std::shared_ptr<Window> NewWindow(const WindowClass* cls, HWND parent, const std::string& text, DWORD style,
                                  DWORD exStyle, int id, RECT rect, HINSTANCE instance);
// Calls the window's procedure (dialog procedure or class behaviour).
LRESULT Dispatch(Window& w, UINT msg, WPARAM wParam, LPARAM lParam);
// The default handling of a message (texts, fonts).
LRESULT DefWindow(Window& w, UINT msg, WPARAM wParam, LPARAM lParam);
// Sends a notification to the window's parent (SendMessageA).
LRESULT NotifyParent(Window& w, UINT msg, WPARAM wParam, LPARAM lParam);
// Visible itself and every parent visible.
bool Shown(const Window& w);
void MarkForPaint(Window& w);

// Shared by the controls' sources.
void SetSpinnerValue(Window& spinner, float value, bool notify, bool drag);
std::string FormatSpinnerValue(const Window& spinner);
void SetEditText(Window& edit, const std::string& text);
COLORREF ToColorRef(const Color& c);
Color FromColorRef(COLORREF c);

// The parameter a spinner shows, learned from what its dialog reads and writes,
// and the key marks that follow from it (spinner_keys.cpp): the value the
// dialog sets without notification, checked against this thread's last read;
// the first write while its change message was handled; a dialog's own
// SetKeyBrackets, after which the host leaves its marks alone.
void LearnSpinnerFromRead(Window& spinner, float value);
void LearnSpinnerFromWrite(Window& spinner, const hostparam::ParamTouch& written);
void SpinnerMarkedByDialog(Window& spinner);
// Brings the marks of every bound spinner below `root` (and itself) up to date.
void RefreshKeyMarks(HWND root);
// The time of the panel (material editor, command or utility panel) a window
// lies in; none outside every panel.
std::optional<TimeValue> PanelTimeOf(HWND hwnd);

// Fonts the host makes for dialog templates.
HFONT CreateDialogFont(int pointSize, int weight, int italic, int charSet, const std::string& faceName);

// The host layer's own module (its compiled resources: the coordinates rollup).
HINSTANCE HostOwnInstance();

// The values of parameter `pbIndex` that the radio buttons of a rollup's
// description set, each named by its button's text in the dialog template;
// empty when no radio buttons set it or the template cannot be read.
std::vector<HostParamChoice> RadioChoices(const ParamUIDesc* descs, int count, int pbIndex, HINSTANCE instance,
                                          LPCSTR dialog);

// A non-owning watch on a reference target, through the host's references:
// the target's change messages and its deletion reach `onMessage`, and the
// watch never keeps alive a target that its owners dropped. A target the
// watch has seen owned (other dependents when bound or when it looked) and
// that has none but the watch when it looks (DropIfOrphaned) or lets go is
// deleted, as its owners' drop would have done; one never seen owned is never
// deleted.
class Watch {
 public:
  explicit Watch(std::function<void(ReferenceTarget* target, unsigned int message)> onMessage);
  ~Watch();
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;
  void Set(ReferenceTarget* target);
  ReferenceTarget* Get() const;
  // Lets go of a target that nobody but the watch references any more.
  // Returns true when it did.
  bool DropIfOrphaned();

 private:
  class Maker;
  std::unique_ptr<Maker> maker_;
};

}  // namespace hostui
