// The material-editor rollup of a Perturb.
#include "PerturbDlg.h"

#include "QuorlLib.h"

PerturbDlg::PerturbDlg(HWND hwMtlEdit, IMtlParams* imp, Perturb* p)
    : editorWindow(hwMtlEdit), mtlParams(imp), perturb(p) {
  // TODO(dialogs): add rollup page 1055 to the material editor and take
  // curTime from the editor's current time.
}

PerturbDlg::~PerturbDlg() {
  if (perturb) perturb->SetParamDlg(nullptr);
}

Class_ID PerturbDlg::ClassID() { return GetPerturbDesc()->ClassID(); }

void PerturbDlg::SetThing(ReferenceTarget* m) {
  if (perturb) perturb->SetParamDlg(nullptr);
  // The new object's own link back is not set here: the owning texture's
  // dialog hands the object over and keeps this dialog.
  perturb = static_cast<Perturb*>(m);
  LoadDialog();
}

ReferenceTarget* PerturbDlg::GetThing() { return perturb; }

void PerturbDlg::SetTime(TimeValue t) { curTime = t; }

void PerturbDlg::ReloadDialog() {}

void PerturbDlg::DeleteThis() { delete this; }

void PerturbDlg::LoadDialog() {}  // TODO(dialogs): load the spinners from perturb at curTime

void PerturbDlg::Invalidate() {}  // TODO(dialogs): repaint the page without reloading it
