// The texture's dialog. Until the host's material editor exists no dialog is
// ever opened, so a texture's paramDlg stays null and these are not reached.
#include "VedeDlg.h"

void DirtDlgInvalidate(DirtDlg*) {}
void DirtDlgSetParamBlock(DirtDlg*, IParamBlock*) {}
void DirtDlgUpdateMapButton(DirtDlg*) {}

#include "Vede.h"

ParamDlg* Vede::CreateParamDlg(HWND, IMtlParams*) { return nullptr; }
