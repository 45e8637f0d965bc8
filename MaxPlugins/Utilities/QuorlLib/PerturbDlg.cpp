// The material-editor rollup of a Perturb.
#include "PerturbDlg.h"

#include <iterator>

#include "QuorlLib.h"
#include "QuorlLibInternal.h"
#include "resource.h"

namespace {

// One spinner: where its interface is kept, its controls, its range and the
// Perturb members it reads and writes.
struct SpinnerBinding {
  ISpinnerControl* PerturbDlg::*field;
  int spinId;
  int editId;
  float minimum, maximum, scale;
  float (Perturb::*get)(TimeValue);
  void (Perturb::*set)(float, TimeValue);
};

// The order spinners are created and loaded in. The clamp spinners and the
// overall size are hidden in the template but served like the others.
const SpinnerBinding kSpinners[] = {
    {&PerturbDlg::pertSizeSpin, IDC_PERT_SIZE_SPIN, IDC_PERT_SIZE_EDIT, 0.0f, 1000.0f, 0.1f, &Perturb::GetPertSize,
     &Perturb::SetPertSize},
    {&PerturbDlg::p1SizeSpin, IDC_P1_SIZE_SPIN, IDC_P1_SIZE_EDIT, 0.0f, 1000.0f, 0.1f, &Perturb::GetP1Size,
     &Perturb::SetP1Size},
    {&PerturbDlg::p1FreqSpin, IDC_P1_FREQ_SPIN, IDC_P1_FREQ_EDIT, 0.0f, 1000.0f, 0.1f, &Perturb::GetP1Freq,
     &Perturb::SetP1Freq},
    {&PerturbDlg::p1HighSpin, IDC_P1_HIGH_SPIN, IDC_P1_HIGH_EDIT, 0.0f, 1.0f, 0.01f, &Perturb::GetP1High,
     &Perturb::SetP1High},
    {&PerturbDlg::p1LowSpin, IDC_P1_LOW_SPIN, IDC_P1_LOW_EDIT, 0.0f, 1.0f, 0.01f, &Perturb::GetP1Low,
     &Perturb::SetP1Low},
    {&PerturbDlg::p1LevSpin, IDC_P1_LEVELS_SPIN, IDC_P1_LEVELS_EDIT, 1.0f, 1000.0f, 0.1f, &Perturb::GetP1Lev,
     &Perturb::SetP1Lev},
    {&PerturbDlg::p1PhaseSpin, IDC_P1_PHASE_SPIN, IDC_P1_PHASE_EDIT, 0.0f, 1000.0f, 0.1f, &Perturb::GetP1Phase,
     &Perturb::SetP1Phase},
    {&PerturbDlg::p2SizeSpin, IDC_P2_SIZE_SPIN, IDC_P2_SIZE_EDIT, 0.0f, 1000.0f, 0.1f, &Perturb::GetP2Size,
     &Perturb::SetP2Size},
    {&PerturbDlg::p2FreqSpin, IDC_P2_FREQ_SPIN, IDC_P2_FREQ_EDIT, 0.0f, 1000.0f, 0.1f, &Perturb::GetP2Freq,
     &Perturb::SetP2Freq},
    {&PerturbDlg::p2HighSpin, IDC_P2_HIGH_SPIN, IDC_P2_HIGH_EDIT, 0.0f, 1.0f, 0.01f, &Perturb::GetP2High,
     &Perturb::SetP2High},
    {&PerturbDlg::p2LowSpin, IDC_P2_LOW_SPIN, IDC_P2_LOW_EDIT, 0.0f, 1.0f, 0.01f, &Perturb::GetP2Low,
     &Perturb::SetP2Low},
    {&PerturbDlg::p2LevSpin, IDC_P2_LEVELS_SPIN, IDC_P2_LEVELS_EDIT, 1.0f, 1000.0f, 0.1f, &Perturb::GetP2Lev,
     &Perturb::SetP2Lev},
    {&PerturbDlg::p2PhaseSpin, IDC_P2_PHASE_SPIN, IDC_P2_PHASE_EDIT, 0.0f, 1000.0f, 0.1f, &Perturb::GetP2Phase,
     &Perturb::SetP2Phase},
};
static_assert(std::size(kSpinners) == 13);

// A validity interval that nobody reads: Update wants one.
void UpdateAt(Perturb* p, TimeValue t) {
  Interval scratch;
  p->Update(t, scratch);
}

}  // namespace

// ---- Life ------------------------------------------------------------------

PerturbDlg::PerturbDlg(HWND hwMtlEdit, IMtlParams* imp, Perturb* p)
    : editorWindow(hwMtlEdit), mtlParams(imp), perturb(p) {
  valid = 0;
  panel = nullptr;
  inProc = 0;
  // Without a material editor there is no page: the dialog then only keeps
  // its object and time.
  if (!mtlParams) return;
  // The page's WM_INITDIALOG (which sets the controls up) runs inside this
  // call; the page starts rolled up.
  panel =
      mtlParams->AddRollupPage(hInstance, MAKEINTRESOURCE(IDD_PERTURB), PerturbDlgProc, GetString(IDS_PERTURB_PARAMS),
                               reinterpret_cast<LPARAM>(this), APPENDROLL_CLOSED, ROLLUP_CAT_STANDARD);
  curTime = mtlParams->GetTime();
}

// The Perturb's link is cleared only where it names this dialog: another
// dialog that has since taken the object keeps its own.
void PerturbDlg::Detach() {
  if (perturb && perturb->paramDlg == this) perturb->SetParamDlg(nullptr);
}

PerturbDlg::~PerturbDlg() {
  Detach();
  for (const SpinnerBinding& b : kSpinners) {
    ReleaseISpinner(this->*b.field);
    this->*b.field = nullptr;
  }
  // Messages that still reach the page find no dialog from now on.
  if (panel) SetWindowLongPtrA(panel, GWL_USERDATA, 0);
  panel = nullptr;
}

void PerturbDlg::DeleteThis() { delete this; }

// ---- ParamDlg --------------------------------------------------------------

Class_ID PerturbDlg::ClassID() { return GetPerturbDesc()->ClassID(); }

ReferenceTarget* PerturbDlg::GetThing() { return perturb; }

void PerturbDlg::SetThing(ReferenceTarget* m) {
  ClassDesc* desc = GetPerturbDesc();
  if (!m || m->ClassID() != desc->ClassID()) assert1(177, __FILE__);
  if (m && m->SuperClassID() != desc->SuperClassID()) assert1(178, __FILE__);
  // Only a Perturb can be edited as one: anything else would be driven
  // through members it does not have. The dialog then keeps its object.
  Perturb* next = dynamic_cast<Perturb*>(m);
  if (!next) return;
  Detach();
  // The new object's own link back is not set here: the owning texture's
  // dialog hands the object over and keeps this dialog.
  perturb = next;
  LoadDialog();
}

void PerturbDlg::SetTime(TimeValue t) {
  if (t == curTime) return;
  curTime = t;
  if (perturb) UpdateAt(perturb, curTime);
  LoadDialog();
  Invalidate();
}

void PerturbDlg::ReloadDialog() {
  if (perturb) UpdateAt(perturb, curTime);
  LoadDialog();
}

void PerturbDlg::LoadDialog() {
  if (!perturb) return;
  UpdateAt(perturb, curTime);
  for (const SpinnerBinding& b : kSpinners) {
    ISpinnerControl* spin = this->*b.field;
    float v = (perturb->*b.get)(curTime);
    if (spin) spin->SetValue(v, FALSE);
  }
}

void PerturbDlg::Invalidate() {
  if (panel) InvalidateRect(panel, nullptr, FALSE);
}

// ---- Messages --------------------------------------------------------------

INT_PTR PerturbDlg::WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      if (!perturb) assert1(83, __FILE__);
      TimeValue t = mtlParams->GetTime();
      if (perturb) CheckDlgButton(hWnd, IDC_PERTURB_ON, perturb->GetPertOn(t) ? BST_CHECKED : BST_UNCHECKED);
      // Without an object the spinners still exist (at their lower limits),
      // so that a later SetThing has controls to load.
      for (const SpinnerBinding& b : kSpinners) {
        float v = perturb ? (perturb->*b.get)(t) : b.minimum;
        this->*b.field = SetupFloatSpinner(hWnd, b.spinId, b.editId, b.minimum, b.maximum, v, b.scale);
      }
      return TRUE;
    }
    case WM_COMMAND: {
      if (!perturb) {
        assert1(102, __FILE__);
        return 0;
      }
      TimeValue t = mtlParams->GetTime();
      if (LOWORD(wParam) == IDC_PERTURB_ON)
        perturb->SetPertOn(static_cast<int>(IsDlgButtonChecked(hWnd, IDC_PERTURB_ON)), t);
      return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      // Dragging in the page scrolls the editor's panel.
      mtlParams->RollupMouseMessage(hWnd, msg, wParam, lParam);
      return 0;
    case WM_PAINT:
      // The page is loaded once, when it is first seen; later repaints
      // (after a parameter change) draw what the controls already hold.
      if (!valid) {
        valid = 1;
        ReloadDialog();
      }
      return 0;
    case CC_SPINNER_CHANGE: {
      int id = LOWORD(wParam);
      for (const SpinnerBinding& b : kSpinners) {
        if (b.spinId != id) continue;
        ISpinnerControl* spin = this->*b.field;
        if (spin && perturb) (perturb->*b.set)(spin->GetFVal(), curTime);
        break;
      }
      return 0;
    }
    default: return 0;
  }
}

INT_PTR CALLBACK PerturbDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  PerturbDlg* dlg;
  if (msg == WM_INITDIALOG) {
    dlg = reinterpret_cast<PerturbDlg*>(lParam);
    dlg->panel = hWnd;
    SetWindowLongPtrA(hWnd, GWL_USERDATA, lParam);
  } else {
    dlg = reinterpret_cast<PerturbDlg*>(GetWindowLongPtrA(hWnd, GWL_USERDATA));
    if (!dlg) return 0;
  }
  // A message sent while another is being handled (a control notifying
  // during set-up) leaves the marker set until the outer one is done.
  int outer = dlg->inProc;
  dlg->inProc = 1;
  INT_PTR result = dlg->WndProc(hWnd, msg, wParam, lParam);
  dlg->inProc = outer;
  return result;
}
