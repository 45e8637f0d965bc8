/* Window-style and resource constants, shared by resource scripts (.rc) and
   C++ code. Only #define lines: the resource compiler reads this file. */
#ifndef HOSTSDK_WINRESRC_H
#define HOSTSDK_WINRESRC_H

#define WS_OVERLAPPED    0x00000000L
#define WS_POPUP         0x80000000L
#define WS_CHILD         0x40000000L
#define WS_VISIBLE       0x10000000L
#define WS_DISABLED      0x08000000L
#define WS_BORDER        0x00800000L
#define WS_GROUP         0x00020000L
#define WS_TABSTOP       0x00010000L

#define DS_SETFONT       0x00000040L
#define DS_3DLOOK        0x00000004L
#define DS_CONTROL       0x00000400L

#define SS_LEFT          0x00000000L
#define SS_CENTER        0x00000001L
#define SS_RIGHT         0x00000002L
#define SS_BITMAP        0x0000000EL
#define SS_NOTIFY        0x00000100L
#define SS_CENTERIMAGE   0x00000200L
#define SS_SUNKEN        0x00001000L

#define BS_PUSHBUTTON    0x00000000L
#define BS_CHECKBOX      0x00000002L
#define BS_AUTOCHECKBOX  0x00000003L
#define BS_GROUPBOX      0x00000007L

#define ES_LEFT          0x00000000L
#define ES_AUTOHSCROLL   0x00000080L

#define IDC_STATIC       (-1)

#endif
