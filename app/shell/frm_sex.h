// The dialog frmSex ("Sex"): the sex column and its two codes. Ok confirms
// the definition (vdx::py::SexOk) and closes; Cancel, Escape and the close
// box leave it as it was. The caller then calls vdx::py::SexDialogClosed
// with whether the dialog was accepted. With a column chosen the dialog
// names the codes the column holds and which table each code makes, and
// proposes the two most frequent codes while no codes are set ("0,0").
#pragma once

#include <QDialog>
#include <map>
#include <string>
#include <vector>

#include "py/sex_lag.h"
#include "state/interaction.h"
#include "state/state.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vdx {

class FrmSex : public QDialog {
    Q_OBJECT
public:
    FrmSex(QWidget* parent, ProgramState& state, Interaction& ui);
    void ok();

private:
    void columnChanged();
    void showHint();

    ProgramState& state_;
    Interaction& ui_;
    QComboBox* comSex_;
    QLineEdit* txtSexValues_;
    QLabel* lblSexCodes_;
    QPushButton *btnOk_, *btnCancel_;
    std::map<std::string, std::vector<py::SexCode>> found_;  // codes by column, read once
    QString proposed_;  // the values last proposed; replaced while the user keeps them
};

}  // namespace vdx
