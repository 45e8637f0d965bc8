// The host's side of the user interface: the panels (material editor,
// command panel, utility panel), the message pump, acting as the user, and
// reading back every window's state. The host program and tests include this;
// plug-ins never do.
//
// Everything here runs on the user-interface thread, like the windows
// themselves. Nothing needs a display: a window is a record in the host's
// window table, and its whole state can be read here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "../custcont.h"
#include "../imtl.h"
#include "../utilapi.h"
#include "../windows.h"

class ClassDesc;
class Texmap;

// ---- Reading windows back ------------------------------------------------------

// What a control holds beyond its text.
enum class HostValueKind { kNone, kCheck, kSpinner, kColor, kCombo, kImage };

struct HostWindowInfo {
  HWND hwnd = nullptr;
  std::string className;  // as registered: "Button", "Static", "CustEdit", "#32770", ...
  int id = 0;             // the control id (GWL_ID)
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  bool visible = false;  // WS_VISIBLE of the window itself
  bool shown = false;    // visible and every parent visible (IsWindowVisible)
  bool enabled = true;
  RECT rect{};  // pixels, in the parent's client coordinates
  HWND parent = nullptr;
  std::vector<HWND> children;  // in creation (template) order
  HFONT font = nullptr;        // as set with WM_SETFONT; null when none or no longer live
  LONG_PTR userData = 0;       // GWL_USERDATA

  HostValueKind kind = HostValueKind::kNone;
  int check = 0;       // check boxes and radio buttons: BST_*; check buttons: 0 or 1
  float value = 0.0f;  // spinners
  float minimum = 0.0f, maximum = 0.0f, scale = 0.0f;
  bool integer = false;  // an int spinner
  bool keyBrackets = false;
  HWND linkedEdit = nullptr;  // the spinner's edit field
  COLORREF color = 0;         // swatches
  int selection = -1;         // combo boxes
  std::vector<std::string> items;
  HBITMAP image = nullptr;  // bitmap statics
  int paintCount = 0;       // WM_PAINT messages this window received
};

HOSTSDK_API std::optional<HostWindowInfo> HostGetWindowInfo(HWND hwnd);
// Windows without a parent, in creation order.
HOSTSDK_API std::vector<HWND> HostTopLevelWindows();
HOSTSDK_API int HostLiveWindowCount();
// The first window below `root` (depth first, `root` excluded) with that id.
HOSTSDK_API HWND HostFindDescendant(HWND root, int id);
// The tree below `root` as indented text, one window a line: class, id,
// text, rectangle, visibility and value. For failure messages and the CLI.
HOSTSDK_API std::string HostDescribeWindowTree(HWND root);

// ---- Messages ------------------------------------------------------------------

// Dispatches posted messages in order, then the pending paints, until none is
// left (at most `limit` messages, against a window that posts to itself
// forever). Returns how many were dispatched.
HOSTSDK_API int HostPumpMessages(int limit = 100000);
// The posted messages not yet dispatched, oldest first.
HOSTSDK_API std::vector<MSG> HostQueuedMessages();
// Windows waiting for a WM_PAINT.
HOSTSDK_API std::vector<HWND> HostWindowsNeedingPaint();

// Sees every message that reaches a window procedure (sent, posted or
// painted), before the procedure. Returns the spy replaced.
using HostMessageSpy = std::function<void(const MSG& msg)>;
HOSTSDK_API HostMessageSpy HostSetMessageSpy(HostMessageSpy spy);

// ---- Acting as the user --------------------------------------------------------
//
// Each returns false (and does nothing) when the window is not a control of a
// kind that can take the action, or is disabled or hidden.

// Clicks a push button, check box (an automatic one toggles first), radio
// button, CustButton or a static with SS_NOTIFY: WM_COMMAND to the parent.
HOSTSDK_API bool HostClickButton(HWND button);
// Types `text` into an edit field and presses Enter. An Edit sends EN_CHANGE.
// A CustEdit linked to a spinner hands the number to the spinner, which
// limits it, shows it and notifies (CC_SPINNER_CHANGE, drag flag 0), or
// restores its own text when the text is not a number; a lone CustEdit sends
// WM_CUSTEDIT_ENTER.
HOSTSDK_API bool HostTypeText(HWND edit, const char* text);
// Drags a spinner to `value`: CC_SPINNER_BUTTONDOWN, CC_SPINNER_CHANGE with
// the drag flag (the value limited to the range), CC_SPINNER_BUTTONUP.
HOSTSDK_API bool HostDragSpinner(HWND spinner, float value);
// Clicks a spinner's arrows `steps` times (negative: the down arrow), or drags
// it `steps` pixels up (down when negative): the value moves by `steps` times
// the spinner's scale (at least 1 for a whole-number spinner), limited to its
// range, with the notifications of HostDragSpinner.
HOSTSDK_API bool HostStepSpinner(HWND spinner, int steps);
// Picks a colour for a swatch in the colour picker: CC_COLOR_CHANGE.
HOSTSDK_API bool HostPickColor(HWND swatch, COLORREF color);
// Picks item `index` of a combo box: CBN_SELCHANGE.
HOSTSDK_API bool HostSelectComboItem(HWND combo, int index);

// Control interfaces (custcont.h) given out and not yet released.
HOSTSDK_API int HostLiveControlInterfaces();

// ---- Fonts, bitmaps, dialog templates --------------------------------------

struct HostFontInfo {
  int height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
  DWORD italic = 0, underline = 0, strikeOut = 0, charSet = 0, outPrecision = 0, clipPrecision = 0, quality = 0,
        pitchAndFamily = 0;
  std::string faceName;
  bool dialogFont = false;  // made by the host for a dialog template, released with the dialog
};
HOSTSDK_API std::optional<HostFontInfo> HostGetFontInfo(HFONT font);
// Fonts made with CreateFontA and not yet released with DeleteObject.
HOSTSDK_API int HostLiveFontCount();

// A decoded device-independent bitmap.
struct HostBitmapInfo {
  int width = 0, height = 0;
  int bitCount = 0;
  DWORD compression = 0;
  std::vector<COLORREF> palette;  // RGB(r, g, b) per entry
  std::vector<uint32_t> pixels;   // 0x00RRGGBB, top row first, width * height
};
// Parses a BITMAP resource (BITMAPINFOHEADER or BITMAPCOREHEADER, palette,
// uncompressed 1, 4, 8, 16, 24 or 32 bits a pixel). Nothing outside `bytes`
// is read; bytes that do not hold a whole bitmap give nullopt and a reason.
HOSTSDK_API std::optional<HostBitmapInfo> HostParseDib(std::span<const uint8_t> bytes, std::string* error = nullptr);
HOSTSDK_API std::optional<HostBitmapInfo> HostGetBitmapInfo(HBITMAP bitmap);
HOSTSDK_API int HostLiveBitmapCount();

// A dialog template (DIALOG or DIALOGEX) as compiled into a module.
struct HostDialogItem {
  DWORD helpId = 0, exStyle = 0, style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  int id = 0;                        // a 16-bit id as a signed number (IDC_STATIC is -1), a DIALOGEX id whole
  std::string className;             // "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox" for the ordinals
  std::string text;
  int textOrdinal = -1;  // a text given as a resource number (a bitmap static's image), else -1
  std::vector<uint8_t> creationData;
};
struct HostDialogTemplate {
  bool extended = false;  // DIALOGEX
  DWORD helpId = 0, exStyle = 0, style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string menu, className, title;
  int pointSize = 0, weight = 0, italic = 0, charSet = 0;
  std::string faceName;  // empty without DS_SETFONT
  std::vector<HostDialogItem> items;
};
HOSTSDK_API std::optional<HostDialogTemplate> HostParseDialogTemplate(std::span<const uint8_t> bytes,
                                                                      std::string* error = nullptr);
// Why the last CreateDialogParamA that returned null failed.
HOSTSDK_API std::string HostLastDialogError();

// ---- The shell -----------------------------------------------------------------

using ShellExecuteHandler = INT_PTR (*)(HWND owner, const char* operation, const char* file, const char* parameters,
                                        const char* directory, int showCmd, void* user);
struct ShellExecuteHook {
  ShellExecuteHandler fn = nullptr;  // null: what would open goes to standard error, answer 42
  void* user = nullptr;
};
HOSTSDK_API ShellExecuteHook HostSetShellExecuteHandler(ShellExecuteHook hook);

// ---- Panels --------------------------------------------------------------------

struct HostRollupInfo {
  HWND page = nullptr;  // the dialog AddRollupPage returned
  std::string title;
  bool open = true;  // false: rolled up (the page is hidden)
  int category = ROLLUP_CAT_STANDARD;
  HINSTANCE instance = nullptr;
};

struct HostMouseMessage {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// The material editor: a window of its own (class "MtlEditor") that holds the
// rollups of the material or map shown.
class HOSTSDK_API HostMtlEditor : public IMtlParams {
 public:
  HostMtlEditor();
  // Closes the dialog shown (as CloseDialog) and destroys the window.
  ~HostMtlEditor() override;
  HostMtlEditor(const HostMtlEditor&) = delete;
  HostMtlEditor& operator=(const HostMtlEditor&) = delete;

  HWND Window() const;

  // IMtlParams.
  HWND AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title, LPARAM param = 0,
                     DWORD flags = 0, int category = ROLLUP_CAT_STANDARD) override;
  void DeleteRollupPage(HWND rollup) override;
  void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) override;
  TimeValue GetTime() override;
  void MtlChanged() override;
  int IsRollupPanelOpen(HWND rollup) override;

  // Shows `thing` (a material or map): a dialog of the same class already
  // open takes it with SetThing; otherwise the open one is closed and
  // thing->CreateParamDlg(Window(), this) makes a new one. The editor keeps a
  // reference to the thing while it shows it (it deletes nothing when it lets
  // go). Returns the dialog, or null when the thing makes none.
  ParamDlg* Show(MtlBase* thing);
  // Ends the dialog (its DeleteThis), then removes every page left.
  void CloseDialog();
  MtlBase* Shown() const;
  ParamDlg* Dialog() const;

  // The editor's time: a change calls the dialog's SetTime.
  void SetTime(TimeValue t);

  std::vector<HostRollupInfo> Rollups() const;
  // Opens or rolls up a page as the user would (an opened page is shown and
  // painted at the next pump).
  bool SetRollupOpen(HWND page, bool open);
  const std::vector<HostMouseMessage>& MouseMessages() const;
  int MtlChangedCount() const;

  // The user's choice of a sub-map after a MTLEDIT_SUBMAP_BUTTON message:
  // return true with *chosen (null: clear the slot) to assign, false to
  // cancel. Without a chooser every request is cancelled.
  using SubMapChooser = std::function<bool(MtlBase* owner, int slot, Texmap** chosen)>;
  void SetSubMapChooser(SubMapChooser chooser);
  // Sub-map requests received, and those refused (not the map shown, a slot
  // out of range).
  int SubMapRequests() const;
  int SubMapRequestsRefused() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The command panel while an object is edited there.
class HOSTSDK_API HostCommandPanel : public IObjParam {
 public:
  HostCommandPanel();
  ~HostCommandPanel() override;  // removes every page left
  HostCommandPanel(const HostCommandPanel&) = delete;
  HostCommandPanel& operator=(const HostCommandPanel&) = delete;

  HWND Window() const;
  HWND AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title, LPARAM param = 0,
                     DWORD flags = 0, int category = ROLLUP_CAT_STANDARD) override;
  void DeleteRollupPage(HWND rollup) override;
  void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) override;
  int GetTime() override;
  void SetTime(TimeValue t);

  std::vector<HostRollupInfo> Rollups() const;
  bool SetRollupOpen(HWND page, bool open);
  const std::vector<HostMouseMessage>& MouseMessages() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The utility panel: opens one utility at a time.
class HOSTSDK_API HostUtilityPanel : public Interface {
 public:
  HostUtilityPanel();
  ~HostUtilityPanel() override;  // closes the open utility
  HostUtilityPanel(const HostUtilityPanel&) = delete;
  HostUtilityPanel& operator=(const HostUtilityPanel&) = delete;

  HWND Window() const;
  // Closes any open utility, then makes one with the descriptor's
  // Create(FALSE) and calls its BeginEditParams(this, the panel's IUtil).
  // False when the descriptor is not a utility's or makes no object.
  bool Open(ClassDesc* desc);
  // EndEditParams(this, IUtil), DeleteThis, then removes every page left.
  // The utility's own CloseUtility asks for the same; it happens at the next
  // pump, once the utility's call has returned.
  void Close();
  bool IsOpen() const;
  UtilityObj* Current() const;
  IUtil* Util();

  HWND AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title, LPARAM param = 0,
                     DWORD flags = 0, int category = ROLLUP_CAT_STANDARD) override;
  void DeleteRollupPage(HWND rollup) override;
  void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) override;
  int GetTime() override;
  void SetTime(TimeValue t);

  std::vector<HostRollupInfo> Rollups() const;
  bool SetRollupOpen(HWND page, bool open);
  const std::vector<HostMouseMessage>& MouseMessages() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
