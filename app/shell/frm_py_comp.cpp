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
#include "db/database.h"
#include "db/exposure_tables.h"
#include "db/work_history_stream.h"
#include "py/exposure_axis.h"
#include "py/person_years_run.h"
#include "py/sex_lag.h"
#include "state/text_values.h"

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

    // The exposure axis: none, or time since hire, duration of employment or
    // cumulative exposure with its classes (lower bounds) and lag.
    exposureEntry_ = state_.ExposureEntry;
    const ExposureAxis& axis = state_.ExposureEntry;
    comAxis_ = new QComboBox(this);
    comAxis_->setObjectName("comAxis");
    comAxis_->addItems({"None", "Time since hire", "Duration of employment", "Cumulative exposure"});
    comAxis_->setCurrentIndex(static_cast<int>(axis.kind));
    std::string bounds;
    for (double b : axis.bounds) bounds += (bounds.empty() ? "" : ",") + db::BoundText(b);
    txtAxisClasses_ = new QLineEdit(Q(bounds), this);
    txtAxisClasses_->setObjectName("txtAxisClasses");
    txtAxisClasses_->setPlaceholderText("0,1,5,10,20");
    txtAxisClasses_->setToolTip("Lower bounds of the classes in years (unit-years), ascending; the last class is open");
    txtExposureLag_ = new QLineEdit(QString::number(axis.lagYears), this);
    txtExposureLag_->setObjectName("txtExposureLag");
    txtExposureLag_->setMaximumWidth(70);
    comWorkHistory_ = new QComboBox(this);
    comWorkHistory_->setObjectName("comWorkHistory");
    comWorkHistory_->addItem("");
    try {
        auto db = db::Database::open(state_.WorkingCopyName);
        for (const auto& name : db::RegisteredWorkHistories(*db)) comWorkHistory_->addItem(Q(name));
    } catch (const VdxError&) {
        // No list: the check names the work history that is missing.
    }
    comWorkHistory_->setCurrentText(Q(axis.workHistory));
    if (comWorkHistory_->currentIndex() <= 0 && comWorkHistory_->count() == 2) comWorkHistory_->setCurrentIndex(1);
    comPersonId_ = ColumnCombo(this, "comPersonId", state_, axis.idColumn);
    comHireColumn_ = ColumnCombo(this, "comHireColumn", state_, axis.hireColumn);
    comHireColumn_->setToolTip("Time since hire: the date of hire; left empty, the first work period's start");
    auto* exposure = new QGroupBox("Exposure axis", this);
    auto* egrid = new QGridLayout(exposure);
    egrid->addWidget(Label("A&xis:", comAxis_, exposure), 0, 0);
    egrid->addWidget(comAxis_, 0, 1);
    egrid->addWidget(Label("Cl&asses:", txtAxisClasses_, exposure), 0, 2);
    egrid->addWidget(txtAxisClasses_, 0, 3);
    egrid->addWidget(Label("Exposure la&g (years):", txtExposureLag_, exposure), 0, 4);
    egrid->addWidget(txtExposureLag_, 0, 5);
    egrid->addWidget(Label("&Work history:", comWorkHistory_, exposure), 1, 0);
    egrid->addWidget(comWorkHistory_, 1, 1);
    egrid->addWidget(Label("Person &id:", comPersonId_, exposure), 1, 2);
    egrid->addWidget(comPersonId_, 1, 3);
    egrid->addWidget(Label("&Hire date:", comHireColumn_, exposure), 1, 4);
    egrid->addWidget(comHireColumn_, 1, 5);
    auto axisChosen = [this](int index) {
        const bool on = index > 0;
        for (QWidget* w : std::initializer_list<QWidget*>{txtAxisClasses_, txtExposureLag_, comWorkHistory_,
                                                         comPersonId_})
            w->setEnabled(on);
        comHireColumn_->setEnabled(index == static_cast<int>(ExposureAxisKind::TimeSinceHire));
    };
    connect(comAxis_, qOverload<int>(&QComboBox::currentIndexChanged), this, axisChosen);
    axisChosen(comAxis_->currentIndex());

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCompute_);
    buttons->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(variables);
    layout->addLayout(classes);
    layout->addLayout(options);
    layout->addWidget(exposure);
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

std::optional<ExposureAxis> FrmPyComp::exposureAxis() {
    ExposureAxis axis;
    axis.kind = static_cast<ExposureAxisKind>(comAxis_->currentIndex());
    if (axis.kind == ExposureAxisKind::None) return axis;
    axis.bounds = db::ReadBounds(txtAxisClasses_->text().toStdString());
    const auto lag = ReadNumber(txtExposureLag_->text().trimmed().isEmpty() ? "0" : txtExposureLag_->text().toStdString());
    axis.lagYears = lag && *lag == static_cast<int>(*lag) ? static_cast<int>(*lag) : -1;
    axis.workHistory = comWorkHistory_->currentText().toStdString();
    axis.idColumn = comPersonId_->currentText().toStdString();
    if (axis.kind == ExposureAxisKind::TimeSinceHire) axis.hireColumn = comHireColumn_->currentText().toStdString();
    if (!py::CheckExposureAxis(state_, ui_, axis)) {
        QWidget* focus = axis.bounds.empty() ? static_cast<QWidget*>(txtAxisClasses_)
                         : axis.lagYears < 0 || axis.lagYears > 100 ? static_cast<QWidget*>(txtExposureLag_)
                                                                    : static_cast<QWidget*>(comWorkHistory_);
        focus->setFocus();
        return std::nullopt;
    }
    return axis;
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
    if (!check.ok()) return;
    const auto axis = exposureAxis();
    if (!axis) return;
    state_.ExposureEntry = *axis;
    accept();
}

void FrmPyComp::reject() {
    py::RestoreSettingsSnapshot(state_, snapshot_);
    state_.ExposureEntry = exposureEntry_;
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
