// Utility plug-ins and the host interfaces they talk to.
#pragma once

#include "hostsdk_api.h"
#include "strclass.h"
#include "windows.h"

// Rollup category the maker's rollups are added in.
constexpr int ROLLUP_CAT_STANDARD = 4000;
// AddRollupPage flag: add the rollup rolled up.
constexpr DWORD APPENDROLL_CLOSED = 1;

// The host's main interface as a plug-in sees it: rollups in the command
// panel, the time slider. Implemented by the host program's panels.
class HOSTSDK_API Interface {
 public:
  virtual ~Interface();
  virtual HWND AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title,
                             LPARAM param = 0, DWORD flags = 0, int category = ROLLUP_CAT_STANDARD) = 0;
  virtual void DeleteRollupPage(HWND rollup) = 0;
  virtual void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual int GetTime() = 0;
};

// The command panel's interface while an object is edited there.
class HOSTSDK_API IObjParam : public Interface {
 public:
  ~IObjParam() override;
};

// The utility panel's own interface.
class HOSTSDK_API IUtil {
 public:
  virtual ~IUtil();
  virtual void CloseUtility() = 0;
};

class HOSTSDK_API UtilityObj {
 public:
  virtual ~UtilityObj();
  virtual void BeginEditParams(Interface* ip, IUtil* iu) = 0;
  virtual void EndEditParams(Interface* ip, IUtil* iu) = 0;
  virtual void SelectionSetChanged(Interface* /*ip*/, IUtil* /*iu*/) {}
  virtual void DeleteThis() = 0;
  virtual void SetStartupParam(CStr /*param*/) {}
};
