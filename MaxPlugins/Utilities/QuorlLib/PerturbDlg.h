// The material-editor rollup of a Perturb (internal to the library): an "On:"
// check box and the spinners of the two noise sets.
//
// Created by Perturb::CreateParamDlg; the texture that owns the Perturb keeps
// the dialog, forwards SetThing, SetTime and DeleteThis to it, and the
// material editor removes the page after DeleteThis. Spinners load and write
// at curTime (moved only by SetTime); the check box at the editor's time.
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

  // In the order of the binding table (PerturbDlg.cpp).
  ISpinnerControl* pertSizeSpin = nullptr;
  ISpinnerControl* p1SizeSpin = nullptr;
  ISpinnerControl* p1FreqSpin = nullptr;
  ISpinnerControl* p1HighSpin = nullptr;
  ISpinnerControl* p1LowSpin = nullptr;
  ISpinnerControl* p1LevSpin = nullptr;
  ISpinnerControl* p1PhaseSpin = nullptr;
  ISpinnerControl* p2SizeSpin = nullptr;
  ISpinnerControl* p2FreqSpin = nullptr;
  ISpinnerControl* p2HighSpin = nullptr;
  ISpinnerControl* p2LowSpin = nullptr;
  ISpinnerControl* p2LevSpin = nullptr;
  ISpinnerControl* p2PhaseSpin = nullptr;

  // Adds the page (rolled up) to the material editor; its controls are set
  // up inside, before the constructor returns.
  PerturbDlg(HWND hwMtlEdit, IMtlParams* imp, Perturb* p);
  // Leaves the Perturb without a dialog link, releases the spinners and
  // detaches from the page (which the material editor removes).
  ~PerturbDlg() override;

  Class_ID ClassID() override;
  void SetThing(ReferenceTarget* m) override;
  ReferenceTarget* GetThing() override;
  void SetTime(TimeValue t) override;
  void ReloadDialog() override;
  void DeleteThis() override;
  void ActivateDlg(BOOL /*onOff*/) override {}

  // Handles one message of the page.
  INT_PTR WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // Loads the spinners from the Perturb at curTime (not the check box).
  void LoadDialog();
  // Asks for a repaint of the page without reloading it.
  void Invalidate();

 private:
  void Detach();
};

// The page's dialog procedure: attaches the dialog at WM_INITDIALOG and
// passes every later message to it.
INT_PTR CALLBACK PerturbDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
