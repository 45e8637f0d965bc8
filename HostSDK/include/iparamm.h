// Parameter maps: a rollup whose controls are kept in step with a parameter
// block, described by a table of ParamUIDesc entries.
//
// Both ways, at the time of the panel the map lives in (the material editor's
// or the command panel's GetTime):
//  - a user change of a control writes the block with SetValue at that time
//    (so in animate mode at a time other than 0 it makes a key);
//  - a change of the block (its REFMSG_CHANGE, from anybody) or Invalidate
//    marks the controls stale and invalidates the page; they are reloaded
//    from the block at the page's next WM_PAINT, which also reloads them when
//    the panel's time has moved since they were last loaded. SetParamBlock
//    reloads at once.
// The map observes its block without owning it: it never keeps alive a block
// that its owner dropped (such a block is deleted when the map next looks at
// it, as the owner's drop would have done), never deletes a block that nobody
// else referenced when it was bound, and lets go of a block that is deleted
// under it (the controls then keep their last values).
//
// The map's own dialog procedure handles the page's messages first; then the
// user procedure (SetUserDlgProc) gets every message, and its answer is the
// page's answer. The map owns the user procedure: it calls its DeleteThis
// when another is set or when the map is destroyed.
#pragma once

#include "custcont.h"
#include "imtl.h"
#include "iparamb.h"
#include "utilapi.h"

// Kinds of controls a ParamUIDesc entry binds.
enum ControlType {
  TYPE_SPINNER,        // a spinner with its edit field (one per component of a point)
  TYPE_RADIO,          // a set of radio buttons: the value is the index of the checked one (or vals[index])
  TYPE_SINGLECHEKBOX,  // a check box: the value is 0 or 1
  TYPE_COLORSWATCH,    // a colour swatch bound to a colour (TYPE_RGBA) parameter
};

// One parameter's controls.
class HOSTSDK_API ParamUIDesc {
 public:
  // A spinner for a float or int parameter, showing dim->Convert(value).
  // Limits and scale are in the units shown.
  ParamUIDesc(int index, EditSpinnerType spinType, int idEdit, int idSpin, float lowLim, float highLim, float scale,
              ParamDimension* dim = defaultDim);
  // Three spinners for the components of a point (TYPE_POINT3) parameter.
  ParamUIDesc(int index, EditSpinnerType spinType, int idEdit1, int idSpin1, int idEdit2, int idSpin2, int idEdit3,
              int idSpin3, float lowLim, float highLim, float scale, ParamDimension* dim = defaultDim);
  // A check box or a colour swatch.
  ParamUIDesc(int index, ControlType type, int id);
  // Radio buttons `ctrlIDs[0..count)`; `vals` (optional) gives each button's
  // value, else the button's position is the value. The arrays are copied.
  ParamUIDesc(int index, ControlType type, const int* ctrlIDs, int count, const int* vals = nullptr);

  int pbIndex;
  ControlType type;
  EditSpinnerType spinType;
  int ctrlIDs[6];  // edit and spinner ids in pairs, or the check box / swatch id
  int numControls;
  float lowLim, highLim, scale;
  ParamDimension* dim;
  int radioIDs[8];
  int radioVals[8];
  int numRadio;
};

class IParamMap;

// A plug-in's handling of a map's page, after the map's own.
class HOSTSDK_API ParamMapUserDlgProc {
 public:
  virtual ~ParamMapUserDlgProc();
  virtual INT_PTR DlgProc(TimeValue t, IParamMap* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  // The map is done with the procedure (normally `delete this`).
  virtual void DeleteThis() = 0;
  // The map has reloaded its controls at time t.
  virtual void Update(TimeValue /*t*/) {}
};

class HOSTSDK_API IParamMap {
 public:
  virtual ~IParamMap();
  // Marks the controls stale: they are reloaded from the block at the page's
  // next paint.
  virtual void Invalidate() = 0;
  // Binds another block (null: none) and reloads the controls from it.
  virtual void SetParamBlock(IParamBlock* pb) = 0;
  virtual IParamBlock* GetParamBlock() = 0;
  // Takes ownership of `proc` (null: none); the previous one is deleted.
  // A procedure set while the page exists gets the page's WM_INITDIALOG
  // (lParam the map) at once, so that it can set itself up.
  virtual void SetUserDlgProc(ParamMapUserDlgProc* proc = nullptr) = 0;
  virtual ParamMapUserDlgProc* GetUserDlgProc() = 0;
  // The page's window; null once the page is gone.
  virtual HWND GetHWnd() = 0;
  // Enables or disables the controls of entry `descIndex`.
  virtual void Enable(int descIndex, BOOL onOff) = 0;
};

// A map whose page is added to the material editor at once (flags: as
// AddRollupPage's). Returns null when the page cannot be made (no template,
// a bad table); nothing is left behind then. `desc` is copied.
HOSTSDK_API IParamMap* CreateMParamMap(ParamUIDesc* desc, int count, IParamBlock* pb, IMtlParams* ip,
                                       HINSTANCE instance, const char* dlgTemplate, const char* title, DWORD flags,
                                       int category = ROLLUP_CAT_STANDARD);
// The same in the command panel (or any panel with the host's Interface).
HOSTSDK_API IParamMap* CreateCPParamMap(ParamUIDesc* desc, int count, IParamBlock* pb, Interface* ip,
                                        HINSTANCE instance, const char* dlgTemplate, const char* title, DWORD flags,
                                        int category = ROLLUP_CAT_STANDARD);
// Removes the page from its panel, ends the user procedure and frees the
// map. Null is ignored.
HOSTSDK_API void DestroyMParamMap(IParamMap* map);
HOSTSDK_API void DestroyCPParamMap(IParamMap* map);
