// Compute > SRR: the dialog frmSRRComp ("SRR Computation") and the menu
// command that opens it. The dialog only fills and reads its controls; the
// lists, the checks and the run are the mortality functions that Compute >
// SMR uses (mortality/smr_run.h, mortality/srr_run.h).
#pragma once

#include <QDialog>

#include "mortality/smr_run.h"

class QComboBox;
class QLineEdit;
class QMainWindow;
class QPushButton;

namespace vdx {

class FrmSrrComp : public QDialog {
    Q_OBJECT
public:
    FrmSrrComp(QWidget* parent, ProgramState& state, Interaction& ui, const std::string& projectName);

    // What the controls hold (the request has no method).
    mortality::SmrRequest request() const;
    // Compute: the checks; on success the dialog closes accepted (the caller
    // then runs the SRR run), otherwise it stays open.
    void compute();

private:
    ProgramState& state_;
    Interaction& ui_;
    std::string projectName_;
    QComboBox *comDTH_, *comPyTable_, *comRateTable_, *comSigLevel_;
    QLineEdit* txtDTHValues_;
    QPushButton *btnCompute_, *btnCancel_;
};

// Compute > SRR (mnuComputeSrr) on the main window: messages 16 and 18
// without a project file or person-years; otherwise frmSRRComp with the
// default project name, and after its Compute the SRR run. A cancelled
// dialog gives the raised project count back.
void MenuComputeSrr(QMainWindow* window);

}  // namespace vdx
