#include "frm_srr_comp.h"

#include "frm_smr_comp.h"
#include "main_window.h"
#include "mortality/srr_run.h"

namespace vdx {

void MenuComputeSrr(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    main->runCommand([main] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        const auto name = mortality::BeginSmrProject(state, ui);
        if (!name) return;
        mortality::SmrRequest request;
        bool accepted = false;
        try {
            FrmSMRComp dialog(main, state, ui, *name, ComputeDialogKind::Srr);
            accepted = dialog.exec() == QDialog::Accepted;
            request = dialog.request();
        } catch (...) {
            mortality::CancelSmrProject(state);
            throw;
        }
        if (!accepted) {
            mortality::CancelSmrProject(state);
            return;
        }
        mortality::RunSrr(state, ui, request);
    });
}

}  // namespace vdx
