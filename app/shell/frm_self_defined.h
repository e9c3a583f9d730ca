// The dialog frmSelfDefined: up to 200 age classes or calendar periods typed
// into the grid SdFGrid, edited through the box txtInput laid over the
// current cell. Ok turns them into the bound list (vdx::py::SelfDefinedOk);
// a mistake moves to the cell at fault and opens the box there. Tab and the
// arrow keys pass over the read-only "Classes" column. Cancel, Escape and
// the close box leave the list and the dialog behind as they were.
#pragma once

#include <QDialog>

#include "state/interaction.h"
#include "state/state.h"

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vdx {

class FrmSelfDefined : public QDialog {
    Q_OBJECT
public:
    FrmSelfDefined(QWidget* parent, ProgramState& state, Interaction& ui, bool calendar);

    QTableWidget* grid() const { return grid_; }
    // The edit box over the current cell while it is open, else null.
    QLineEdit* editBox() const;
    void ok();

protected:
    // The dialog opens with the edit box over the first cell.
    void showEvent(QShowEvent* event) override;

private:
    ProgramState& state_;
    Interaction& ui_;
    bool calendar_;
    QTableWidget* grid_;
    QPushButton *btnOk_, *btnCancel_;
};

}  // namespace vdx
