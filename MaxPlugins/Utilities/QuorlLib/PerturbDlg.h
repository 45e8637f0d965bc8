// The material-editor rollup of a Perturb (internal to the library).
//
// For now the dialog keeps its object and time and the link back from the
// Perturb; the rollup page, its controls and its message handling come with
// the dialog work.
#pragma once

#include <max.h>

class Perturb;

class PerturbDlg : public ParamDlg {
public:
  HWND editorWindow;      // the material editor, kept and not used further
  IMtlParams* mtlParams;  // adds the page, gives the editor's time
  Perturb* perturb;       // the object edited, not owned
  HWND panel = nullptr;   // the rollup page, once it exists
  TimeValue curTime = 0;  // spinner values are loaded and written at this time
  int inProc = 0;         // 1 while the page handles one of its own messages
  int valid = 0;          // 0 until the page's first paint

  PerturbDlg(HWND hwMtlEdit, IMtlParams* imp, Perturb* p);
  // Leaves the Perturb without a dialog link.
  ~PerturbDlg() override;

  Class_ID ClassID() override;
  void SetThing(ReferenceTarget* m) override;
  ReferenceTarget* GetThing() override;
  void SetTime(TimeValue t) override;
  void ReloadDialog() override;
  void DeleteThis() override;

  // Loads the controls from the Perturb at curTime.
  void LoadDialog();
  // Asks for a repaint of the page without reloading it.
  void Invalidate();
};
