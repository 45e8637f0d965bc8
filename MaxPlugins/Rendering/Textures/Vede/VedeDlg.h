// The texture's material-editor dialog: a stack of four rollups, the
// coordinates generator's, the perturbation's, "Vede Parameters" (a parameter
// map on the texture's block) and the maker's About.
#pragma once

#include <iparamm.h>
#include <max.h>

class DirtDlg;
class Vede;

// What the texture asks of its open dialog.

// Redraws the "Vede Parameters" rollup from the block.
void DirtDlgInvalidate(DirtDlg* dlg);
// Binds the rollup to a new block (after a reset).
void DirtDlgSetParamBlock(DirtDlg* dlg, IParamBlock* pblock);
// Shows the sub-texture's name (or "(None)") on the map button.
void DirtDlgUpdateMapButton(DirtDlg* dlg);
// The texture goes away while a dialog still shows it.
void DirtDlgTextureDeleted(DirtDlg* dlg, Vede* tex);

// The controls of template 101 and the block parameters they edit.
constexpr int DIRT_NUM_UI = 7;
extern ParamUIDesc dirtUIDesc[DIRT_NUM_UI];

// One dialog per material-editor slot that shows a Vede. It owns the two
// child dialogs and the parameter map, not the texture.
class DirtDlg : public ParamDlg {
 public:
  HWND hwmedit;                    // the material editor window
  HWND hPanel = nullptr;           // the "Vede Parameters" rollup
  IMtlParams* ip;                  // the material editor
  Vede* theTex;                    // the texture shown
  IParamMap* pmap = nullptr;       // the rollup's parameter map
  ParamDlg* xyzGenDlg = nullptr;   // the coordinates rollup
  ParamDlg* perturbDlg = nullptr;  // the perturbation rollup
  TimeValue curTime;               // the time shown

  // Adds the four rollups, in order.
  DirtDlg(HWND hwMtlEdit, IMtlParams* imp, Vede* m);

  Class_ID ClassID() override;
  void SetThing(ReferenceTarget* m) override;
  ReferenceTarget* GetThing() override;
  void SetTime(TimeValue t) override;
  void ReloadDialog() override;
  // Ends the child dialogs and the parameter map, then the dialog itself.
  void DeleteThis() override;
  void ActivateDlg(BOOL /*onOff*/) override {}

  // Writes the sub-texture's full name, or "(None)", onto the map button.
  void UpdateMapButton();
  // The rollup's messages after the parameter map's own handling.
  INT_PTR PanelProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  ~DirtDlg() override = default;
};

// The parameter map's user procedure: passes the page's messages on to the
// dialog. The map owns it.
class DirtDlgProc : public ParamMapUserDlgProc {
 public:
  explicit DirtDlgProc(DirtDlg* d) : dlg(d) {}
  INT_PTR DlgProc(TimeValue t, IParamMap* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
  void DeleteThis() override { delete this; }

  DirtDlg* dlg;
};

// Reports an internal fault under the texture's source file.
void ReportVedeFault(int line);
