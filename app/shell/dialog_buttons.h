// The Ok and Cancel buttons that end a dialog, right-aligned in one row.
#pragma once

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace vdx {

struct OkCancelButtons {
    QPushButton* ok;      // objectName "btnOk"
    QPushButton* cancel;  // objectName "btnCancel"
    QHBoxLayout* row;     // to be added to the dialog's layout
};

// okIsDefault: Return presses Ok; dialogs that take Return for their own
// editing pass false.
OkCancelButtons MakeOkCancelButtons(QWidget* dialog, bool okIsDefault = true);

}  // namespace vdx
