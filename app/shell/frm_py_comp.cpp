#include "frm_py_comp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <optional>
#include <tuple>

#include "frm_lag.h"
#include "frm_self_defined.h"
#include "frm_sex.h"
#include "main_window.h"
#include "py/person_years_run.h"
#include "py/sex_lag.h"

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QComboBox* ColumnCombo(QWidget* parent, const char* name, const ProgramState& state, const std::string& setting) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);  // a typed name is taken as it stands
    combo->setMinimumWidth(170);
    for (const auto& f : state.MainTableFields) combo->addItem(Q(f.name));
    combo->setCurrentIndex(-1);
    if (!setting.empty()) combo->setEditText(Q(setting));
    return combo;
}

// A label whose access key ("&") moves the focus to its control.
QLabel* Label(const char* caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

QLineEdit* Box(QWidget* parent, const char* name, const std::string& text) {
    auto* box = new QLineEdit(Q(text), parent);
    box->setObjectName(name);
    box->setMaximumWidth(70);
    return box;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QCheckBox* Check(QWidget* parent, const char* name, const char* tip) {
    auto* c = new QCheckBox(parent);
    c->setObjectName(name);
    c->setToolTip(tip);
    c->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);  // no caption: the box is all there is to click
    return c;
}

// A frame with a check box and a button on one line, and From/To/Step below.
// The captions "From:", "To:", "Step:" carry access keys of their own in
// each frame.
QGroupBox* ClassFrame(QWidget* parent, const char* title, QCheckBox* check, QPushButton* button,
                      const char* const (&captions)[3], QLineEdit* from, QLineEdit* to, QLineEdit* step) {
    auto* frame = new QGroupBox(title, parent);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(check, 0, 0);
    grid->addWidget(button, 0, 1, 1, 2);
    grid->addWidget(Label(captions[0], from, frame), 1, 0);
    grid->addWidget(from, 1, 1);
    grid->addWidget(Label(captions[1], to, frame), 2, 0);
    grid->addWidget(to, 2, 1);
    grid->addWidget(Label(captions[2], step, frame), 3, 0);
    grid->addWidget(step, 3, 1);
    return frame;
}

QGroupBox* OptionFrame(QWidget* parent, const char* title, QCheckBox* check, QPushButton* button) {
    auto* frame = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(frame);
    row->addWidget(check);
    row->addWidget(button);
    row->addStretch();
    return frame;
}

}  // namespace

FrmPyComp::FrmPyComp(QWidget* parent, ProgramState& state, Interaction& ui)
    : QDialog(parent), state_(state), ui_(ui) {
    BusyPointer busy(ui_);
    setObjectName("frmPyComp");
    setWindowTitle("Person-Years Computation");
    setModal(true);
    snapshot_ = py::TakeSettingsSnapshot(state_);
    statusOnOpening_ = {state_.py.sexDefined, state_.py.lagDefined};
    // What the user entered for a run that stopped comes back into the dialog.
    enteredShown_ = py::PutBackEnteredSettings(state_);
    const py::PyRequest shown = py::PyRequestOnLoad(state_);

    comDOB_ = ColumnCombo(this, "comDOB", state_, state_.py.birthColumn);
    comEPS_ = ColumnCombo(this, "comEPS", state_, state_.py.entryColumn);
    comTPS_ = ColumnCombo(this, "comTPS", state_, state_.py.exitColumn);
    auto* variables = new QGroupBox("Variables ", this);
    auto* vgrid = new QGridLayout(variables);
    vgrid->addWidget(Label("&Date-of-birth:", comDOB_, variables), 0, 0);
    vgrid->addWidget(comDOB_, 0, 1);
    vgrid->addWidget(Label("&Entry-point-of-study:", comEPS_, variables), 1, 0);
    vgrid->addWidget(comEPS_, 1, 1);
    vgrid->addWidget(Label("Termi&nation-point-of study:", comTPS_, variables), 2, 0);
    vgrid->addWidget(comTPS_, 2, 1);
    vgrid->setColumnStretch(1, 1);

    chkAge_ = Check(this, "chkAge", "Self-defined age classes");
    btnAgeClassSelfDefined_ = Button(this, "btnAgeClassSelfDefined", "Self defined");
    txtAgeFrom_ = Box(this, "txtAgeFrom", shown.ageFrom);
    txtAgeTo_ = Box(this, "txtAgeTo", shown.ageTo);
    txtAgeStep_ = Box(this, "txtAgeStep", shown.ageStep);
    chkCalendar_ = Check(this, "chkCalendar", "Self-defined calendar classes");
    btnCalendarClassSelfDefined_ = Button(this, "btnCalendarClassSelfDefined", "Self defined");
    txtCalendarFrom_ = Box(this, "txtCalendarFrom", shown.calendarFrom);
    txtCalendarTo_ = Box(this, "txtCalendarTo", shown.calendarTo);
    txtCalendarStep_ = Box(this, "txtCalendarStep", shown.calendarStep);
    chkSex_ = Check(this, "chkSex", "Stratify by sex");
    btnSex_ = Button(this, "btnSex", "Sex");
    chkLag_ = Check(this, "chkLag", "Apply a lag after the date of hire");
    btnLag_ = Button(this, "btnLag", "Lag");
    cmdCompute_ = Button(this, "cmdCompute", "Compute");
    cmdCompute_->setDefault(true);
    cmdCancel_ = Button(this, "cmdCancel", "Cancel");

    auto* classes = new QHBoxLayout;
    classes->addWidget(ClassFrame(this, "Age class", chkAge_, btnAgeClassSelfDefined_, {"&From:", "T&o:", "&Step:"},
                                  txtAgeFrom_, txtAgeTo_, txtAgeStep_));
    classes->addWidget(ClassFrame(this, "Calendar class", chkCalendar_, btnCalendarClassSelfDefined_,
                                  {"Fro&m:", "&To:", "Ste&p:"}, txtCalendarFrom_, txtCalendarTo_,
                                  txtCalendarStep_));
    auto* options = new QHBoxLayout;
    options->addWidget(OptionFrame(this, "Sex", chkSex_, btnSex_));
    options->addWidget(OptionFrame(this, "Lag", chkLag_, btnLag_));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCompute_);
    buttons->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(variables);
    layout->addLayout(classes);
    layout->addLayout(options);
    layout->addLayout(buttons);

    // The buttons of an unchecked box are disabled from the start.
    btnAgeClassSelfDefined_->setEnabled(false);
    btnCalendarClassSelfDefined_->setEnabled(false);
    btnSex_->setEnabled(false);
    btnLag_->setEnabled(false);
    connect(chkAge_, &QCheckBox::toggled, this, &FrmPyComp::ageChecked);
    connect(chkCalendar_, &QCheckBox::toggled, this, &FrmPyComp::calendarChecked);
    connect(chkSex_, &QCheckBox::toggled, this, [this](bool on) {
        btnSex_->setEnabled(on);
        state_.py.bySex = on;
    });
    connect(chkLag_, &QCheckBox::toggled, this, [this](bool on) {
        btnLag_->setEnabled(on);
        state_.py.withLag = on;
    });
    connect(btnAgeClassSelfDefined_, &QPushButton::clicked, this, [this] { openSelfDefined(false); });
    connect(btnCalendarClassSelfDefined_, &QPushButton::clicked, this, [this] { openSelfDefined(true); });
    connect(btnSex_, &QPushButton::clicked, this, &FrmPyComp::openSex);
    connect(btnLag_, &QPushButton::clicked, this, &FrmPyComp::openLag);
    connect(cmdCompute_, &QPushButton::clicked, this, &FrmPyComp::compute);
    connect(cmdCancel_, &QPushButton::clicked, this, &FrmPyComp::reject);

    // Checking a box here runs its click behaviour, as a click would.
    chkSex_->setChecked(state_.py.bySex);
    chkLag_->setChecked(state_.py.withLag);
    chkAge_->setChecked(state_.py.ageSelfDefined);
    chkCalendar_->setChecked(state_.py.calendarSelfDefined);
}

void FrmPyComp::ageChecked(bool on) {
    btnAgeClassSelfDefined_->setEnabled(on);
    state_.py.ageSelfDefined = on;
    for (QLineEdit* box : {txtAgeFrom_, txtAgeTo_, txtAgeStep_}) box->setEnabled(!on);
}

void FrmPyComp::calendarChecked(bool on) {
    btnCalendarClassSelfDefined_->setEnabled(on);
    state_.py.calendarSelfDefined = on;
    for (QLineEdit* box : {txtCalendarFrom_, txtCalendarTo_, txtCalendarStep_}) box->setEnabled(!on);
}

py::PyRequest FrmPyComp::request() const {
    py::PyRequest f;
    f.birthColumn = comDOB_->currentText().toStdString();
    f.entryColumn = comEPS_->currentText().toStdString();
    f.exitColumn = comTPS_->currentText().toStdString();
    f.ageFrom = txtAgeFrom_->text().toStdString();
    f.ageTo = txtAgeTo_->text().toStdString();
    f.ageStep = txtAgeStep_->text().toStdString();
    f.calendarFrom = txtCalendarFrom_->text().toStdString();
    f.calendarTo = txtCalendarTo_->text().toStdString();
    f.calendarStep = txtCalendarStep_->text().toStdString();
    return f;
}

void FrmPyComp::compute() {
    const py::PyCheck check = py::CheckPyRequest(state_, ui_, request());
    QWidget* focus = nullptr;
    switch (check.focus) {
        case py::PyField::BirthColumn: focus = comDOB_; break;
        case py::PyField::EntryColumn: focus = comEPS_; break;
        case py::PyField::ExitColumn: focus = comTPS_; break;
        case py::PyField::AgeFrom: focus = txtAgeFrom_; break;
        case py::PyField::AgeTo: focus = txtAgeTo_; break;
        case py::PyField::AgeStep: focus = txtAgeStep_; break;
        case py::PyField::CalendarFrom: focus = txtCalendarFrom_; break;
        case py::PyField::CalendarTo: focus = txtCalendarTo_; break;
        case py::PyField::CalendarStep: focus = txtCalendarStep_; break;
        case py::PyField::None: break;
    }
    if (focus) {
        focus->setFocus();
        if (auto* box = qobject_cast<QLineEdit*>(focus)) box->selectAll();
    }
    if (check.ok()) accept();
}

void FrmPyComp::reject() {
    py::RestoreSettingsSnapshot(state_, snapshot_);
    // The entries of a stopped run brought their own sex and lag status.
    if (enteredShown_) std::tie(state_.py.sexDefined, state_.py.lagDefined) = statusOnOpening_;
    QDialog::reject();
}

// Cancel, Escape and the close box of the three sub-dialogs leave the
// dialog as it was: no box is unticked, no list or definition changes.
void FrmPyComp::openSelfDefined(bool calendar) {
    FrmSelfDefined dialog(this, state_, ui_, calendar);
    dialog.exec();
}

void FrmPyComp::openSex() {
    const py::SubDialogEntries before = py::TakeSexEntries(state_.py);
    FrmSex dialog(this, state_, ui_);
    py::SexDialogClosed(state_, dialog.exec() == QDialog::Accepted, before);
}

void FrmPyComp::openLag() {
    const py::SubDialogEntries before = py::TakeLagEntries(state_.py);
    FrmLag dialog(this, state_, ui_);
    py::LagDialogClosed(state_, dialog.exec() == QDialog::Accepted, before);
}

void MenuComputePersonYears(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    // The main window stays usable during a run; a second run must wait.
    static bool running = false;
    if (running) return;
    running = true;
    std::optional<py::PyRunOutcome> outcome;
    py::PyRunSummary seen;
    main->runCommand([main, &outcome, &seen] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        if (!py::PersonYearsCommandAllowed(state, ui)) return;
        FrmPyComp dialog(main, state, ui);
        if (dialog.exec() != QDialog::Accepted) return;
        const py::PySettingsSnapshot snapshot = dialog.snapshot();
        outcome = py::RunPersonYears(state, ui, snapshot, &seen);
    });
    running = false;
    if (!outcome) return;
    if (*outcome != py::PyRunOutcome::Completed) {
        // The message of a failed run has been shown; the status bar keeps the outcome.
        main->statusBar()->showMessage(*outcome == py::PyRunOutcome::Cancelled
                                           ? "The person-years run was cancelled; the tables of the last "
                                             "completed run stay. Compute > Person-Years shows your entries again."
                                           : "The person-years run has stopped; nothing has been changed. "
                                             "Compute > Person-Years shows your entries again.");
        return;
    }
    // The result on view: the table of all persons.
    ProgramState& state = main->state();
    main->openNode(QString::fromStdString("Main_Person-Years_" + PyTableName(state.py, 1)));
    const auto lines = py::PyRunSummaryLines(state, seen);
    // The status bar: what the command-line tool prints, less the shape the tree shows.
    QString status;
    for (size_t i = 1; i < lines.size(); ++i)
        status += (status.isEmpty() ? "" : "; ") + QString::fromStdString(lines[i]).trimmed();
    main->statusBar()->showMessage(status);
    std::string text, details;
    for (const auto& line : lines) text += (text.empty() ? "" : "\r\n") + line;
    for (const auto& line : py::PyRunLeftOutLines(seen)) details += (details.empty() ? "" : "\r\n") + line;
    if (!details.empty()) text += "\r\n\r\nShow Details lists the rows left out and why.";
    main->ui().messageWithDetails(text, details, Icon::Information, "Person-Years Computation");
}

}  // namespace vdx
