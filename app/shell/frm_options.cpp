#include "frm_options.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include "dialog_buttons.h"
#include "frm_options_data_export_smr.h"
#include "main_window.h"
#include "mortality/smr_calculator.h"
#include "mortality/smr_report.h"
#include "state/errors.h"

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

CalculatorDefaults ReadCalculatorDefaults(const SettingsStore& store) {
    CalculatorDefaults d;
    d.levelIndex = mortality::CalculatorLevelIndex(store.read("Calculator", "DefaultLevel", "").trimmed().toStdString());
    d.methodIndex = mortality::CalculatorMethodIndex(store.read("Calculator", "DefaultMethod", "").trimmed().toStdString());
    return d;
}

CalculatorDefaults CalculatorStartValues(const CalculatorDefaults& kept) {
    CalculatorDefaults d = kept;
    if (d.levelIndex < 0) d.levelIndex = mortality::CalculatorLevelIndex("95");
    if (d.methodIndex < 0) d.methodIndex = mortality::CalculatorMethodIndex("Exact");
    return d;
}

void WriteCalculatorDefaults(SettingsStore& store, const CalculatorDefaults& d) {
    if (d.levelIndex >= 0 && d.levelIndex < static_cast<int>(mortality::kCalculatorLevels.size()))
        store.write("Calculator", "DefaultLevel", QString::number(mortality::kCalculatorLevels[d.levelIndex]));
    if (d.methodIndex >= 0 && d.methodIndex < static_cast<int>(kIntervalMethods.size()))
        store.write("Calculator", "DefaultMethod", IntervalMethodName(kIntervalMethods[d.methodIndex]));
    store.sync();
}

FrmOptions::FrmOptions(QWidget* parent, ProgramState& state, Interaction& ui, SettingsStore& settings)
    : QDialog(parent), state_(state), ui_(ui), settings_(settings) {
    setObjectName("frmOptions");
    setWindowTitle("Options");
    setModal(true);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("SSTabOptions");

    auto* smrTab = new QWidget(tabs_);
    auto* frame2 = new QGroupBox("Null value for SMR computation", smrTab);
    frame2->setObjectName("Frame2");
    optSMR1_ = new QRadioButton("SMR=&1", frame2);
    optSMR1_->setObjectName("optSMR1");
    optSMR100_ = new QRadioButton("SMR=1&00", frame2);
    optSMR100_->setObjectName("optSMR100");
    auto* nullRow = new QHBoxLayout(frame2);
    nullRow->addWidget(optSMR1_);
    nullRow->addWidget(optSMR100_);
    nullRow->addStretch();
    btnReport_ = Button(smrTab, "btnReport", "&Report");
    btnDataExport_ = Button(smrTab, "btnDataExport", "&Data Export");
    auto* smrButtons = new QHBoxLayout;
    smrButtons->addWidget(btnReport_);
    smrButtons->addWidget(btnDataExport_);
    smrButtons->addStretch();
    auto* smrLayout = new QVBoxLayout(smrTab);
    smrLayout->addWidget(frame2);
    smrLayout->addLayout(smrButtons);
    smrLayout->addStretch();
    tabs_->addTab(smrTab, "SMR");

    auto* calcTab = new QWidget(tabs_);
    auto* frame1 = new QGroupBox("Default Values", calcTab);
    frame1->setObjectName("Frame1");
    cboDefaultLevelCalc_ = new QComboBox(frame1);
    cboDefaultLevelCalc_->setObjectName("cboDefaultLevelCalc");
    for (int level : mortality::kCalculatorLevels) cboDefaultLevelCalc_->addItem(QString::number(level) + "%");
    cboDefaultMethodCalc_ = new QComboBox(frame1);
    cboDefaultMethodCalc_->setObjectName("cboDefaultMethodCalc");
    for (IntervalMethod method : kIntervalMethods) cboDefaultMethodCalc_->addItem(IntervalMethodName(method));
    auto* levelLabel = new QLabel("&Level:", frame1);
    levelLabel->setBuddy(cboDefaultLevelCalc_);
    auto* methodLabel = new QLabel("&Method:", frame1);
    methodLabel->setBuddy(cboDefaultMethodCalc_);
    auto* grid = new QGridLayout(frame1);
    grid->addWidget(levelLabel, 0, 0);
    grid->addWidget(cboDefaultLevelCalc_, 0, 1);
    grid->addWidget(methodLabel, 1, 0);
    grid->addWidget(cboDefaultMethodCalc_, 1, 1);
    grid->setColumnStretch(1, 1);
    auto* calcLayout = new QVBoxLayout(calcTab);
    calcLayout->addWidget(frame1);
    calcLayout->addStretch();
    tabs_->addTab(calcTab, "Calculator");

    const OkCancelButtons buttons = MakeOkCancelButtons(this);
    buttons.ok->setObjectName("cmdOK");
    buttons.cancel->setObjectName("cmdCancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons.row);

    // The state of the dialog on loading.
    (state_.SmrNullValue == 1 ? optSMR1_ : optSMR100_)->setChecked(true);
    // The heading lives in the project file.
    btnReport_->setEnabled(state_.ProjectOpen);
    tabs_->setCurrentIndex(0);
    const CalculatorDefaults defaults = CalculatorStartValues(ReadCalculatorDefaults(settings_));
    cboDefaultLevelCalc_->setCurrentIndex(defaults.levelIndex);
    cboDefaultMethodCalc_->setCurrentIndex(defaults.methodIndex);

    connect(btnReport_, &QPushButton::clicked, this, &FrmOptions::openReportOptions);
    connect(btnDataExport_, &QPushButton::clicked, this,
            [this] { FrmOptionsDataExportSMR(this, settings_).exec(); });
    connect(buttons.ok, &QPushButton::clicked, this, &FrmOptions::ok);
    connect(buttons.cancel, &QPushButton::clicked, this, &FrmOptions::reject);

    adjustSize();
    if (const QScreen* s = parent ? parent->screen() : nullptr)
        move(s->availableGeometry().center() - rect().center());
}

void FrmOptions::ok() {
    state_.SmrNullValue = optSMR1_->isChecked() ? 1 : 100;
    WriteCalculatorDefaults(settings_, {cboDefaultLevelCalc_->currentIndex(), cboDefaultMethodCalc_->currentIndex()});
    accept();
}

void FrmOptions::openReportOptions() {
    FrmOptionsSMRReport dialog(this, state_, ui_);
    dialog.exec();
}

FrmOptionsSMRReport::FrmOptionsSMRReport(QWidget* parent, ProgramState& state, Interaction& ui)
    : QDialog(parent), state_(state), ui_(ui) {
    setObjectName("frmOptionsSMRReport");
    setWindowTitle("Report Options for the SMR");
    setModal(true);
    txtHeading_ = new QLineEdit(this);
    txtHeading_->setObjectName("txtHeading");
    txtHeading_->setMinimumWidth(420);
    auto* label = new QLabel("&Heading:", this);
    label->setBuddy(txtHeading_);
    auto* btnDefault = Button(this, "btnDefault", "&Default");
    const OkCancelButtons buttons = MakeOkCancelButtons(this);
    buttons.ok->setObjectName("btnOK");
    buttons.row->insertWidget(0, btnDefault);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(txtHeading_);
    layout->addLayout(buttons.row);

    try {
        txtHeading_->setText(Q(mortality::ReadSmrReportHeading(state_.WorkingCopyName)));
    } catch (const VdxError& e) {
        ShowGeneralError(ui_, e.number(), e.description());
    }
    connect(btnDefault, &QPushButton::clicked, this,
            [this] { txtHeading_->setText(Q(kSmrReportHeadingDefault)); });
    connect(buttons.ok, &QPushButton::clicked, this, &FrmOptionsSMRReport::ok);
    connect(buttons.cancel, &QPushButton::clicked, this, &FrmOptionsSMRReport::reject);
}

void FrmOptionsSMRReport::ok() {
    try {
        mortality::StoreSmrReportHeading(state_, txtHeading_->text().toStdString());
    } catch (const VdxError& e) {
        ShowGeneralError(ui_, e.number(), e.description());
        return;
    }
    accept();
}

void MenuToolsOptions(QMainWindow* mainWindow) {
    auto* window = qobject_cast<MainWindow*>(mainWindow);
    if (!window) return;
    FrmOptions dialog(window, window->state(), window->ui(), window->settings());
    dialog.exec();
    // A new null value or heading shows at once in a report on view (the
    // heading is kept even when the Options dialog is cancelled).
    window->showCurrentSmrReport();
}

}  // namespace vdx
