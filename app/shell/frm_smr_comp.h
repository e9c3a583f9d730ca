// Compute > SMR: the dialog frmSMRComp ("SMR Computation") and the menu
// command that opens it. The dialog only fills and reads its controls; the
// lists, checks and the run are vdx::mortality functions.
#pragma once

#include <QDialog>

#include "mortality/smr_run.h"
#include "state/interaction.h"
#include "state/state.h"

class QComboBox;
class QLineEdit;
class QMainWindow;
class QPushButton;

namespace vdx {

// The SRR dialog (frmSRRComp, "SRR Computation") is the SMR dialog with
// the death variable called ICD variable and no method.
enum class ComputeDialogKind { Smr, Srr };

class FrmSMRComp : public QDialog {
    Q_OBJECT
public:
    // Loads the lists; projectName is the name the menu command chose.
    FrmSMRComp(QWidget* parent, const ProgramState& state, Interaction& ui, std::string projectName,
               ComputeDialogKind kind = ComputeDialogKind::Smr);

    mortality::SmrRequest request() const;
    // Loading selects the entries of the last Compute (state.SmrEntries)
    // where the lists still hold them.
    // Compute: the checks; a refusal leaves the dialog open with the focus
    // on the control concerned. An SMR with a rate table that holds rates
    // above 1 asks first (ConfirmRateUnit); No returns to the dialog.
    // Otherwise the dialog closes accepted.
    void compute();

private:
    const ProgramState& state_;
    Interaction& ui_;
    std::string projectName_;
    QComboBox *comDTH_, *comPyTable_, *comRateTable_, *comSigLevel_, *comMethod_ = nullptr;
    // The persons' sex column, shown when the chosen rates are by sex.
    QComboBox* comSexColumn_ = nullptr;
    QWidget* lblSexColumn_ = nullptr;
    QLineEdit* txtDTHValues_;
    QPushButton *btnCompute_, *btnCancel_;
    bool srr_ = false;
};

// The entries of a request, which the dialog shows again when it opens.
SmrDialogEntries EntriesOf(const mortality::SmrRequest& request);

// Compute > SMR (mnuComputeSmr): messages 16 and 18 without a project file
// or person-years; otherwise frmSMRComp, and after its Compute the run,
// whose new project's report then opens. Cancel and the close box give the
// project number back.
void MenuComputeSmr(QMainWindow* window);

}  // namespace vdx
