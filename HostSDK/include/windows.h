// The subset of the Windows interface that the plug-ins call, implemented by
// the host layer. Handles are opaque pointers; integers have Windows' widths
// where the plug-ins rely on them (DWORD and UINT are 32 bits, WPARAM, LPARAM
// and the window user data are pointer-wide).
#pragma once

#include <cstdint>

#include "hostsdk_api.h"
#include "winresrc.h"

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef long LONG;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uint32_t COLORREF;

typedef int INT;
typedef void* HANDLE;
typedef void* HGDIOBJ;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HWND__* HWND;
typedef struct HFONT__* HFONT;
typedef struct HBITMAP__* HBITMAP;
typedef struct HMENU__* HMENU;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT;
typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT;
// A message as the queue holds it.
typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
} MSG;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

// Window messages.
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_SHOWWINDOW 0x0018
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_NCDESTROY 0x0082
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MOUSEWHEEL 0x020A
#define WM_USER 0x0400

// Button messages and notifications (WM_COMMAND's high word).
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BST_INDETERMINATE 2
#define BN_CLICKED 0
// Static controls.
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173
#define STN_CLICKED 0
// Edit controls.
#define EN_CHANGE 0x0300
// Combo boxes.
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CB_ERR (-1)
#define CBN_SELCHANGE 1

// Window data indices (GetWindowLong and GetWindowLongPtr).
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_ID (-12)
#define GWL_USERDATA (-21)
#define GWLP_ID GWL_ID
#define GWLP_USERDATA GWL_USERDATA
// A dialog's own slots: the message result and a word for its owner.
#define DWL_MSGRESULT 0
#define DWL_USER 16
#define DWLP_MSGRESULT DWL_MSGRESULT
#define DWLP_USER DWL_USER

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5

// Images.
#define IMAGE_BITMAP 0
#define LR_DEFAULTCOLOR 0x0000
#define LR_CREATEDIBSECTION 0x2000

// Fonts.
#define FW_NORMAL 400
#define FW_BOLD 700
#define DEFAULT_CHARSET 1
#define VARIABLE_PITCH 2
#define FF_ROMAN 0x10
#define FF_SWISS 0x20

// Styles the resource scripts do not need (winresrc.h has the rest).
#ifndef BS_RADIOBUTTON
#define BS_RADIOBUTTON 0x00000004L
#endif
#ifndef BS_AUTORADIOBUTTON
#define BS_AUTORADIOBUTTON 0x00000009L
#endif
#ifndef BS_LEFTTEXT
#define BS_LEFTTEXT 0x00000020L
#endif
#ifndef BS_TYPEMASK
#define BS_TYPEMASK 0x0000000FL
#endif
#ifndef SS_TYPEMASK
#define SS_TYPEMASK 0x0000001FL
#endif
#ifndef ES_MULTILINE
#define ES_MULTILINE 0x0004L
#endif
#ifndef SS_REALSIZECONTROL
#define SS_REALSIZECONTROL 0x00000040L
#endif
#ifndef CBS_DROPDOWNLIST
#define CBS_DROPDOWNLIST 0x0003L
#endif
#ifndef WS_EX_NOPARENTNOTIFY
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#endif
#ifndef DS_MODALFRAME
#define DS_MODALFRAME 0x00000080L
#endif

// Reasons for a module's entry point.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// Message boxes.
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_YESNO 0x00000004L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define IDOK 1
#define IDCANCEL 2

#define MAKEINTRESOURCE(i) (reinterpret_cast<LPSTR>(static_cast<uintptr_t>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<uintptr_t>(p) >> 16) == 0)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_VERSION MAKEINTRESOURCE(16)

#define MAKELONG(a, b) (static_cast<DWORD>(static_cast<WORD>(a) | (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(MAKELONG(l, h)))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(MAKELONG(l, h)))
#define LOWORD(l) (static_cast<WORD>(static_cast<uintptr_t>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<uintptr_t>(l) >> 16) & 0xffff))
#define RGB(r, g, b)                                                                             \
  (static_cast<COLORREF>(static_cast<BYTE>(r) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8) | \
                         (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))

// Loads string `id` of the module's string table into `buffer` (at most
// `bufferMax` - 1 characters and a terminator). Returns the number of
// characters copied, 0 when the module or the string is missing.
HOSTSDK_API int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax);

// Shows a message box through the host's handler and returns the button
// pressed. With no handler installed it writes caption and text to standard
// error and answers IDOK.
HOSTSDK_API int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Registers the common control classes; records that it ran.
HOSTSDK_API void InitCommonControls();

// The file a module was loaded from; 0 when `module` is not a loaded module.
HOSTSDK_API DWORD GetModuleFileNameA(HMODULE module, LPSTR filename, DWORD size);

// ---- Windows ------------------------------------------------------------------
//
// Every window lives in the host layer's window table, on the user-interface
// thread. A handle stays unique for the life of the process: a handle of a
// destroyed window is never given out again, and every call below answers
// harmlessly (0, FALSE, nothing done) for it.
//
// Rectangles are in pixels. Dialog templates give them in dialog units, which
// the host converts with the fixed base units of its dialog font, 6 x 13
// pixels (x * 6 / 4, y * 13 / 8, rounded as MulDiv rounds), whatever font a
// template names.
//
// Message order, as Windows keeps it:
//  - CreateDialogParamA: the dialog window is made; the dialog procedure gets
//    WM_SETFONT (the template's font) before any control exists; each control
//    is made in template order (and gets WM_SETFONT); then WM_INITDIALOG with
//    the creation parameter as lParam, inside the call. A visible dialog then
//    gets WM_SHOWWINDOW. WM_CREATE never reaches a dialog procedure.
//  - SendMessageA calls the window's procedure at once and returns its result.
//    PostMessageA appends to the queue; the host dispatches the queue in order
//    (HostPumpMessages, hostside/ui.h) and, once no posted message is left,
//    sends one WM_PAINT to each shown window whose area was invalidated,
//    however many InvalidateRect calls there were. A window is invalid from
//    the moment it is first shown. The window is validated as WM_PAINT is
//    sent (no BeginPaint is needed).
//  - Controls notify their parent with SendMessageA (WM_COMMAND with the
//    control id in the low word and the notification in the high word, the
//    control window as lParam; the custom controls' own messages, custcont.h).
//  - DestroyWindow: WM_DESTROY to the window, then to its children (parent
//    first), then WM_NCDESTROY children first; then every handle of the tree
//    is dead and posted messages for it are dropped.
// A dialog procedure's answer is the message result; where it answers FALSE
// the default handling (texts, fonts) runs as DefDlgProc's would.

HOSTSDK_API HWND CreateDialogParamA(HINSTANCE instance, LPCSTR dlgTemplate, HWND parent, DLGPROC proc,
                                    LPARAM initParam);
// A window of a registered class: the Windows controls ("Button", "Edit",
// "Static", "ComboBox"), the host's custom controls (custcont.h) and
// "#32770" (a dialog without procedure). Class names compare without case.
HOSTSDK_API HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                                 int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param);
HOSTSDK_API BOOL DestroyWindow(HWND hwnd);
HOSTSDK_API BOOL IsWindow(HWND hwnd);
// Visible itself and every parent visible.
HOSTSDK_API BOOL IsWindowVisible(HWND hwnd);
// Returns whether the window was visible before.
HOSTSDK_API BOOL ShowWindow(HWND hwnd, int cmdShow);
HOSTSDK_API BOOL EnableWindow(HWND hwnd, BOOL enable);
HOSTSDK_API BOOL IsWindowEnabled(HWND hwnd);
HOSTSDK_API HWND GetParent(HWND hwnd);
HOSTSDK_API int GetClassNameA(HWND hwnd, LPSTR buffer, int bufferMax);

HOSTSDK_API LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
HOSTSDK_API BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
HOSTSDK_API LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

HOSTSDK_API HWND GetDlgItem(HWND dialog, int id);
HOSTSDK_API int GetDlgCtrlID(HWND hwnd);
HOSTSDK_API LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);
HOSTSDK_API BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
HOSTSDK_API UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int bufferMax);
HOSTSDK_API BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
HOSTSDK_API UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
HOSTSDK_API BOOL CheckDlgButton(HWND dialog, int id, UINT check);
HOSTSDK_API UINT IsDlgButtonChecked(HWND dialog, int id);
HOSTSDK_API BOOL SetWindowTextA(HWND hwnd, LPCSTR text);
HOSTSDK_API int GetWindowTextA(HWND hwnd, LPSTR buffer, int bufferMax);
HOSTSDK_API int GetWindowTextLengthA(HWND hwnd);

// User data, style, id and a dialog's own slots. LONG is as wide as a
// pointer here, so GWL_USERDATA holds a pointer whole.
HOSTSDK_API LONG GetWindowLongA(HWND hwnd, int index);
HOSTSDK_API LONG SetWindowLongA(HWND hwnd, int index, LONG value);
HOSTSDK_API LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
HOSTSDK_API LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);

// Rectangles in pixels: the client area from (0, 0); the window in the
// coordinates of the host's desktop (its parents' positions added up).
HOSTSDK_API BOOL GetClientRect(HWND hwnd, RECT* rect);
HOSTSDK_API BOOL GetWindowRect(HWND hwnd, RECT* rect);
HOSTSDK_API BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
// Dialog units of `dialog`'s font to pixels (see above).
HOSTSDK_API BOOL MapDialogRect(HWND dialog, RECT* rect);
HOSTSDK_API int MulDiv(int number, int numerator, int denominator);

// Marks the window for one WM_PAINT at the next pump; the rectangle and the
// erase flag are recorded, not used.
HOSTSDK_API BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
// Sends the pending WM_PAINT now, if any.
HOSTSDK_API BOOL UpdateWindow(HWND hwnd);

// ---- Fonts and bitmaps ---------------------------------------------------------
//
// GDI objects are host records: CreateFontA records its arguments, LoadBitmapA
// decodes a BITMAP resource of the module. DeleteObject releases either; the
// host counts the live ones (hostside/ui.h). A handle is never reused.

HOSTSDK_API HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                              DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                              DWORD quality, DWORD pitchAndFamily, LPCSTR faceName);
HOSTSDK_API BOOL DeleteObject(HGDIOBJ object);
HOSTSDK_API HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
HOSTSDK_API HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags);

typedef struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
} BITMAP;
// Fills a BITMAP for a bitmap handle; returns the bytes written, 0 otherwise.
HOSTSDK_API int GetObjectA(HGDIOBJ object, int size, LPVOID out);

// ---- The shell ---------------------------------------------------------------

// Opens a document or address through the handler the host installs
// (hostside/ui.h). Without one it writes what would open to standard error and
// answers 42; an answer above 32 means success.
HOSTSDK_API HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                    INT showCmd);
