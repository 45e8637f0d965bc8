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

typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HWND__* HWND;
typedef struct HFONT__* HFONT;
typedef struct HBITMAP__* HBITMAP;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// Window messages.
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_PAINT 0x000F
#define WM_SETFONT 0x0030
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MOUSEWHEEL 0x020A
#define WM_USER 0x0400

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
#define RT_VERSION MAKEINTRESOURCE(16)

#define LOWORD(l) (static_cast<WORD>(static_cast<uintptr_t>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<uintptr_t>(l) >> 16) & 0xffff))
#define RGB(r, g, b) (static_cast<COLORREF>(static_cast<BYTE>(r) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))

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
