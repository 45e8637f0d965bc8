// The host's custom controls: edit fields, spinners, colour swatches and
// buttons, with the interfaces a dialog drives them through.
//
// The controls are window classes of the host ("CustEdit", "SpinnerControl",
// "ColorSwatch", "CustButton") that dialog templates name. A dialog reaches a
// control through an interface object: Get... returns a new one for the
// control's window (null when the window is not a control of that class),
// Release... frees it. An interface whose window has been destroyed answers
// harmlessly (zero values, nothing done).
//
// What the user does reaches the dialog (the control's parent) as messages,
// sent synchronously:
//  - a spinner's value changes: CC_SPINNER_CHANGE, wParam
//    MAKEWPARAM(spinner id, 1 while the user drags, 0 for a typed value or a
//    notifying SetValue), lParam the spinner window. A drag starts with
//    CC_SPINNER_BUTTONDOWN and ends with CC_SPINNER_BUTTONUP (high word of
//    wParam 1: the drag was accepted);
//  - a colour swatch's colour changes: CC_COLOR_CHANGE, wParam
//    MAKEWPARAM(swatch id, 0), lParam the swatch window;
//  - a button is clicked: WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), the button;
//  - Enter in an edit field that no spinner is linked to: WM_CUSTEDIT_ENTER,
//    wParam the edit id, lParam the edit window.
#pragma once

#include "color.h"
#include "windows.h"

// Registers the host's custom control classes for a module; records that it
// ran. (The host's classes exist from the start; templates may name them
// before this call.)
HOSTSDK_API void InitCustomControls(HINSTANCE instance);

// Messages of the custom controls.
#define CC_SPINNER_CHANGE (WM_USER + 600)
#define CC_SPINNER_BUTTONDOWN (WM_USER + 601)
#define CC_SPINNER_BUTTONUP (WM_USER + 602)
#define CC_COLOR_CHANGE (WM_USER + 603)
#define WM_CUSTEDIT_ENTER (WM_USER + 685)

// What a spinner edits and shows in its linked edit field.
enum EditSpinnerType {
  EDITTYPE_INT = 1,
  EDITTYPE_FLOAT = 2,
  EDITTYPE_UNIVERSE = 3,  // a float in scene units
  EDITTYPE_POS_INT = 4,
  EDITTYPE_POS_FLOAT = 5,
  EDITTYPE_POS_UNIVERSE = 6,
  EDITTYPE_TIME = 7,
};

// The common part of every control interface.
class HOSTSDK_API ICustomControl {
 public:
  virtual ~ICustomControl();
  virtual HWND GetHwnd() = 0;
  virtual void Enable(BOOL onOff = TRUE) = 0;
  virtual void Disable() = 0;
  virtual BOOL IsEnabled() = 0;
};

// An edit field. A float or int it is asked for is parsed from its text;
// `valid` (when given) tells whether the whole text was a number.
class HOSTSDK_API ICustEdit : public ICustomControl {
 public:
  virtual void GetText(char* buffer, int bufferMax) = 0;
  virtual void SetText(const char* text) = 0;
  virtual void SetText(int value) = 0;
  virtual void SetText(float value, int precision = 3) = 0;
  virtual float GetFloat(BOOL* valid = nullptr) = 0;
  virtual int GetInt(BOOL* valid = nullptr) = 0;
};

// A spinner: a number kept within [minimum, maximum] at all times. It shows
// its value in the edit field it is linked to (floats with up to three
// decimals, trailing zeros dropped but one; ints whole), and takes a number
// typed there (Enter) as a user change.
class HOSTSDK_API ISpinnerControl : public ICustomControl {
 public:
  virtual float GetFVal() = 0;
  virtual int GetIVal() = 0;
  // Each click of the arrows moves the value by the scale; a drag by the
  // scale per pixel.
  virtual void SetScale(float scale) = 0;
  // Sets the value, limited to the range; a NaN is ignored. With `notify` the
  // parent gets CC_SPINNER_CHANGE (drag flag 0), as if the user had typed it.
  virtual void SetValue(float value, int notify) = 0;
  virtual void SetValue(int value, int notify) = 0;
  // Limits the range (a reversed pair is put in order). With
  // `limitCurValue` the current value is brought into the range at once (no
  // notification); otherwise at its next change.
  virtual void SetLimits(float minimum, float maximum, int limitCurValue = TRUE) = 0;
  virtual void SetLimits(int minimum, int maximum, int limitCurValue = TRUE) = 0;
  virtual float GetMin() = 0;
  virtual float GetMax() = 0;
  // Links the spinner to the edit field `edit` (a CustEdit), which from then
  // on shows the value in the form `type` gives.
  virtual void LinkToEdit(HWND edit, EditSpinnerType type) = 0;
  virtual void SetResetValue(float value) = 0;
  // The key marks the host draws around a spinner whose value is keyed at the
  // current time. A dialog that never calls this still gets them where the
  // host can tell what the spinner shows: the parameter whose value the
  // dialog read just before setting the spinner without notification, or the
  // one it wrote while handling the spinner's change message (which wins).
  // The host then keeps the marks in step with that parameter's keys as the
  // time moves and keys come and go. Once called, the marks are the dialog's.
  virtual void SetKeyBrackets(BOOL onOff) = 0;
  virtual BOOL GetKeyBrackets() = 0;
  virtual void SetIndeterminate(BOOL onOff) = 0;
  virtual BOOL IsIndeterminate() = 0;
};

// A colour swatch; the user picks a colour in the host's colour picker.
class HOSTSDK_API IColorSwatch : public ICustomControl {
 public:
  virtual COLORREF GetColor() = 0;
  virtual Color GetColorFloat() = 0;
  // With `notify` the parent gets CC_COLOR_CHANGE, as if the user had picked it.
  virtual COLORREF SetColor(COLORREF c, int notify = FALSE) = 0;
  virtual COLORREF SetColor(Color c, int notify = FALSE) = 0;
  // The title of the colour picker the swatch opens.
  virtual void SetName(const char* name) = 0;
};

// Custom button kinds.
enum CustButType { CBT_PUSH = 0, CBT_CHECK = 1 };

// A push button, or a check button that stays in when clicked.
class HOSTSDK_API ICustButton : public ICustomControl {
 public:
  virtual void GetText(char* buffer, int bufferMax) = 0;
  virtual void SetText(const char* text) = 0;
  virtual void SetType(CustButType type) = 0;
  virtual BOOL IsChecked() = 0;
  virtual void SetCheck(BOOL checked) = 0;
  virtual void SetTooltip(BOOL onOff, const char* text) = 0;
};

HOSTSDK_API ICustEdit* GetICustEdit(HWND ctrl);
HOSTSDK_API void ReleaseICustEdit(ICustEdit* edit);
HOSTSDK_API ISpinnerControl* GetISpinner(HWND ctrl);
HOSTSDK_API void ReleaseISpinner(ISpinnerControl* spinner);
// The swatch's interface; the first form also sets its colour and picker title.
HOSTSDK_API IColorSwatch* GetIColorSwatch(HWND ctrl, COLORREF color, const char* name);
HOSTSDK_API IColorSwatch* GetIColorSwatch(HWND ctrl);
HOSTSDK_API void ReleaseIColorSwatch(IColorSwatch* swatch);
HOSTSDK_API ICustButton* GetICustButton(HWND ctrl);
HOSTSDK_API void ReleaseICustButton(ICustButton* button);

// Sets up the spinner `spinId` of `dialog` with its edit field `editId`:
// limits, scale and value (no notification). Returns the spinner's interface
// (the caller releases it), or null when `spinId` is not a spinner.
HOSTSDK_API ISpinnerControl* SetupFloatSpinner(HWND dialog, int spinId, int editId, float minimum, float maximum,
                                               float value, float scale = 0.1f);
HOSTSDK_API ISpinnerControl* SetupIntSpinner(HWND dialog, int spinId, int editId, int minimum, int maximum, int value);
