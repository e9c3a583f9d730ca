// The dialog frmLag ("Lag"): the date-of-hire column and the lag in years.
// Ok confirms the definition (vdx::py::LagOk) and closes; Cancel, Escape and
// the close box leave it as it was. The caller then calls vdx::py::LagDialogClosed
// with whether the dialog was accepted.
#pragma once

#include <QDialog>

#include "state/interaction.h"
#include "state/state.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vdx {

class FrmLag : public QDialog {
    Q_OBJECT
public:
    FrmLag(QWidget* parent, ProgramState& state, Interaction& ui);
    void ok();

private:
    ProgramState& state_;
    Interaction& ui_;
    QComboBox* comLag_;
    QLineEdit* txtLagValue_;
    QPushButton* btnOk_;
};

}  // namespace vdx
