// Compute > Person-Years: the dialog frmPyComp ("Person-Years Computation")
// and the menu command that opens it. The dialog only reads and sets its
// controls; the settings, their checks and the run are vdx::py functions.
#pragma once

#include <optional>

#include <QDialog>
#include <utility>

#include "py/py_comp.h"
#include "state/interaction.h"
#include "state/state.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QMainWindow;
class QPushButton;

namespace vdx {

class FrmPyComp : public QDialog {
    Q_OBJECT
public:
    // Loads the dialog: takes the settings snapshot and shows the settings.
    FrmPyComp(QWidget* parent, ProgramState& state, Interaction& ui);

    // The snapshot taken on loading; the run puts it back when cancelled.
    const py::PySettingsSnapshot& snapshot() const { return snapshot_; }
    // The request the controls hold.
    py::PyRequest request() const;

    // Compute: the checks; on success the dialog closes accepted (the caller
    // then runs the person-years run), otherwise it stays open.
    void compute();
    // Cancel and the close box: the snapshot goes back into the settings.
    void reject() override;

    void openSelfDefined(bool calendar);
    void openSex();
    void openLag();

private:
    void ageChecked(bool on);
    void calendarChecked(bool on);

    ProgramState& state_;
    Interaction& ui_;
    py::PySettingsSnapshot snapshot_;
    std::pair<bool, bool> statusOnOpening_;  // sexDefined, lagDefined
    bool enteredShown_ = false;              // the entries of a stopped run were shown

    QComboBox *comDOB_, *comEPS_, *comTPS_;
    QCheckBox *chkAge_, *chkCalendar_, *chkSex_, *chkLag_;
    QPushButton *btnAgeClassSelfDefined_, *btnCalendarClassSelfDefined_, *btnSex_, *btnLag_;
    QLineEdit *txtAgeFrom_, *txtAgeTo_, *txtAgeStep_;
    QLineEdit *txtCalendarFrom_, *txtCalendarTo_, *txtCalendarStep_;
    QPushButton *cmdCompute_, *cmdCancel_;
    // The exposure axis: its kind, classes, lag, work history, id and hire columns.
    QComboBox *comAxis_, *comWorkHistory_, *comPersonId_, *comHireColumn_;
    QLineEdit *txtAxisClasses_, *txtExposureLag_;
    ExposureAxis exposureEntry_;  // the axis on opening, put back by Cancel
    // The axis the controls hold; nullopt (message shown, focus set) when refused.
    std::optional<ExposureAxis> exposureAxis();
};

// Compute > Person-Years (mnuComputePY) on the main window: messages 16 and
// 17 without a project file or main data table; otherwise frmPyComp, and
// after its Compute the person-years run with the progress window. After a
// completed run the table of all persons is on view, the status bar says
// what the run did and a message box says it too (persons read, included,
// left out by reason, person-years), its details naming the rows left out.
// After a run that did not complete the status bar says so.
void MenuComputePersonYears(QMainWindow* window);

}  // namespace vdx
