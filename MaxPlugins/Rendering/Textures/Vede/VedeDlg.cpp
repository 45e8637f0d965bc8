// The texture's material-editor dialog.
#include "VedeDlg.h"

#include <new>

#include "Vede.h"
#include "resource.h"

extern HINSTANCE hInstance;

// Built when the module loads; the parameter map copies it.
ParamUIDesc dirtUIDesc[DIRT_NUM_UI] = {
    ParamUIDesc(PB_DIRT_ALPHA, EDITTYPE_FLOAT, IDC_ALPHA_EDIT, IDC_ALPHA_SPIN, 0.0f, 1.0f, 0.01f),
    ParamUIDesc(PB_DIRT_COLOR, TYPE_COLORSWATCH, IDC_DIRT_COLOR),
    ParamUIDesc(PB_SIZE, EDITTYPE_FLOAT, IDC_SIZE_EDIT, IDC_SIZE_SPIN, 0.0f, 100000.0f, 0.1f),
    ParamUIDesc(PB_HIGH, EDITTYPE_FLOAT, IDC_HIGH_EDIT, IDC_HIGH_SPIN, -1.0f, 2.0f, 0.01f),
    ParamUIDesc(PB_LOW, EDITTYPE_FLOAT, IDC_LOW_EDIT, IDC_LOW_SPIN, -1.0f, 2.0f, 0.01f),
    // Hidden in the template: served, never shown.
    ParamUIDesc(PB_NONDIRT_ALPHA, EDITTYPE_FLOAT, IDC_NONDIRT_EDIT, IDC_NONDIRT_SPIN, 0.0f, 1.0f, 0.01f),
    ParamUIDesc(PB_MAP_ON, TYPE_SINGLECHEKBOX, IDC_MAP_ON),
};

namespace {

void UpdateAt(Vede* tex, TimeValue t) {
  Interval scratch = FOREVER;
  tex->Update(t, scratch);
}

}  // namespace

// ---- Hooks for the texture ---------------------------------------------------

void DirtDlgInvalidate(DirtDlg* dlg) {
  if (dlg && dlg->pmap) dlg->pmap->Invalidate();
}

void DirtDlgSetParamBlock(DirtDlg* dlg, IParamBlock* pblock) {
  if (dlg && dlg->pmap) dlg->pmap->SetParamBlock(pblock);
}

void DirtDlgUpdateMapButton(DirtDlg* dlg) {
  if (dlg) dlg->UpdateMapButton();
}

void DirtDlgTextureDeleted(DirtDlg* dlg, Vede* tex) {
  if (dlg && dlg->theTex == tex) dlg->theTex = nullptr;
}

// ---- Creation and end --------------------------------------------------------

DirtDlg::DirtDlg(HWND hwMtlEdit, IMtlParams* imp, Vede* m) : hwmedit(hwMtlEdit), ip(imp), theTex(m) {
  curTime = imp->GetTime();
  // The rollups stack in the order added: coordinates, perturbation, the
  // texture's own, About.
  xyzGenDlg = theTex->xyzGen->CreateParamDlg(hwmedit, imp);
  perturbDlg = theTex->perturb->CreateParamDlg(hwmedit, imp);
  pmap = CreateMParamMap(dirtUIDesc, DIRT_NUM_UI, theTex->pblock, imp, hInstance, MAKEINTRESOURCE(IDD_DIRT),
                         GetString(IDS_PARAMS), 0);
  AddAboutPanel(imp, static_cast<QuorlClassDesc*>(GetDirtDesc()));
  if (pmap) {
    hPanel = pmap->GetHWnd();
    // Without memory for it the map simply has no user procedure.
    pmap->SetUserDlgProc(new (std::nothrow) DirtDlgProc(this));
  }
}

void DirtDlg::DeleteThis() {
  if (theTex && theTex->paramDlg == this) theTex->paramDlg = nullptr;
  if (xyzGenDlg) xyzGenDlg->DeleteThis();
  xyzGenDlg = nullptr;
  if (perturbDlg) perturbDlg->DeleteThis();
  perturbDlg = nullptr;
  DestroyMParamMap(pmap);
  pmap = nullptr;
  delete this;
}

ParamDlg* Vede::CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) {
  DirtDlg* dlg = new DirtDlg(hwMtlEdit, imp, this);
  paramDlg = dlg;
  dlg->UpdateMapButton();
  return dlg;
}

// ---- ParamDlg ----------------------------------------------------------------

Class_ID DirtDlg::ClassID() { return DIRT_CLASS_ID; }

ReferenceTarget* DirtDlg::GetThing() { return theTex; }

void DirtDlg::SetThing(ReferenceTarget* m) {
  if (!m || m->ClassID() != DIRT_CLASS_ID) ReportVedeFault(294);
  if (m && m->SuperClassID() != TEXMAP_CLASS_ID) ReportVedeFault(295);
  // The rest needs a Vede; anything else leaves the dialog on its texture.
  Vede* tex = dynamic_cast<Vede*>(m);
  if (!tex) return;
  if (theTex && theTex->paramDlg == this) theTex->paramDlg = nullptr;
  theTex = tex;
  if (xyzGenDlg) xyzGenDlg->SetThing(tex->xyzGen);
  if (perturbDlg) perturbDlg->SetThing(tex->perturb);
  if (pmap) pmap->SetParamBlock(tex->pblock);
  tex->paramDlg = this;
  UpdateMapButton();
}

void DirtDlg::SetTime(TimeValue t) {
  if (t == curTime) return;
  if (xyzGenDlg) xyzGenDlg->SetTime(t);
  if (perturbDlg) perturbDlg->SetTime(t);
  curTime = t;
  if (theTex) UpdateAt(theTex, t);
  if (hPanel) InvalidateRect(hPanel, nullptr, FALSE);
  UpdateMapButton();
}

void DirtDlg::ReloadDialog() {
  if (theTex) UpdateAt(theTex, curTime);
  UpdateMapButton();
}

// ---- The rollup --------------------------------------------------------------

void DirtDlg::UpdateMapButton() {
  if (!hPanel) return;
  if (theTex && theTex->subMap) {
    CStr name = theTex->subMap->GetFullName();
    SetDlgItemTextA(hPanel, IDC_MAP_BUTTON, name);
  } else {
    SetDlgItemTextA(hPanel, IDC_MAP_BUTTON, GetString(IDS_NONE));
  }
}

INT_PTR DirtDlg::PanelProc(HWND /*hWnd*/, UINT msg, WPARAM wParam, LPARAM /*lParam*/) {
  switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
      // The map button asks the material editor to let the user choose a
      // sub-map for slot 0; the choice comes back through SetSubTexmap.
      if (LOWORD(wParam) == IDC_MAP_BUTTON && theTex) {
        PostMessageA(hwmedit, MTLEDIT_SUBMAP_BUTTON, 0, reinterpret_cast<LPARAM>(static_cast<MtlBase*>(theTex)));
      }
      return FALSE;
    default: return FALSE;
  }
}

INT_PTR DirtDlgProc::DlgProc(TimeValue /*t*/, IParamMap* /*map*/, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return dlg->PanelProc(hWnd, msg, wParam, lParam);
}
