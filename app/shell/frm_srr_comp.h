// Compute > SRR: the menu command. Its dialog frmSRRComp ("SRR Computation")
// is the SMR dialog without a method (frm_smr_comp.h); the lists, the checks
// and the counting are those of Compute > SMR (mortality/smr_run.h,
// mortality/srr_run.h).
#pragma once

class QMainWindow;

namespace vdx {

// Compute > SRR (mnuComputeSrr) on the main window: messages 16 and 18
// without a project file or person-years; otherwise frmSRRComp with the
// default project name, and after its Compute the SRR run. A cancelled
// dialog gives the raised project count back.
void MenuComputeSrr(QMainWindow* window);

}  // namespace vdx
