// The dialog frmSex ("Sex"): the sex column and its two codes. Ok confirms
// the definition (vdx::py::SexOk) and closes; there is no Cancel button,
// the close box leaves the definition unconfirmed. The caller then calls
// vdx::py::SexDialogClosed with whether the dialog was accepted.
#pragma once

#include <QDialog>

#include "state/interaction.h"
#include "state/state.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vdx {

class FrmSex : public QDialog {
    Q_OBJECT
public:
    FrmSex(QWidget* parent, ProgramState& state, Interaction& ui);
    void ok();

private:
    ProgramState& state_;
    Interaction& ui_;
    QComboBox* comSex_;
    QLineEdit* txtSexValues_;
    QPushButton* btnOk_;
};

}  // namespace vdx
