#include "frm_srr_comp.h"

#include "frm_smr_comp.h"
#include "main_window.h"
#include "mortality/srr_run.h"

namespace vdx {

void MenuComputeSrr(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    std::string project;
    main->runCommand([main, &project] {
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
        state.SmrEntries = EntriesOf(request);
        if (mortality::RunSrr(state, ui, request)) project = request.projectName;
    });
    // The new project's settings on view.
    if (!project.empty()) main->openNode(QString::fromStdString(project + "_SMR"));
}

}  // namespace vdx
