// What the texture asks of its open dialog. The dialog itself (the rollups of
// the material editor) comes with the host's dialog support.
#pragma once

class DirtDlg;
class IParamBlock;

// Redraws the "Vede Parameters" rollup from the block.
void DirtDlgInvalidate(DirtDlg* dlg);
// Binds the rollup to a new block (after a reset).
void DirtDlgSetParamBlock(DirtDlg* dlg, IParamBlock* pblock);
// Shows the sub-texture's name (or "(None)") on the map button.
void DirtDlgUpdateMapButton(DirtDlg* dlg);
