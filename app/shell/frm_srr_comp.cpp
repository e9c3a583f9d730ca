#include "frm_srr_comp.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "main_window.h"
#include "mortality/srr_run.h"
#include "state/errors.h"

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QComboBox* List(QWidget* parent, const char* name, const std::vector<std::string>& entries, int selected) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setMinimumWidth(200);
    for (const auto& e : entries) combo->addItem(Q(e));
    combo->setCurrentIndex(selected);
    return combo;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

FrmSrrComp::FrmSrrComp(QWidget* parent, ProgramState& state, Interaction& ui, const std::string& projectName)
    : QDialog(parent), state_(state), ui_(ui), projectName_(projectName) {
    BusyPointer busy(ui_);
    setObjectName("frmSRRComp");
    setWindowTitle("SRR Computation");
    setModal(true);
    mortality::SmrChoices choices;
    try {
        choices = mortality::ListSmrChoices(state_);
    } catch (const VdxError& e) {
        ShowGeneralError(ui_, e.number(), e.description());
    }

    comDTH_ = List(this, "comDTH", choices.deathColumns, -1);
    txtDTHValues_ = new QLineEdit(this);
    txtDTHValues_->setObjectName("txtDTHValues");
    auto* deaths = new QGroupBox("Deaths", this);
    auto* deathRows = new QFormLayout(deaths);
    deathRows->addRow("ICD variable:", comDTH_);
    deathRows->addRow("ICD value:", txtDTHValues_);

    comPyTable_ = List(this, "comPyTable", choices.pyTables, -1);
    comRateTable_ = List(this, "comRateTable", choices.rateTables, -1);
    auto* tables = new QFormLayout;
    tables->addRow("Person-Years table:", comPyTable_);
    tables->addRow("Rate file:", comRateTable_);

    comSigLevel_ = List(this, "comSigLevel", choices.levels, choices.defaultLevel);
    auto* level = new QGroupBox("Significance level", this);
    (new QHBoxLayout(level))->addWidget(comSigLevel_);

    btnCompute_ = Button(this, "btnCompute", "Compute");
    btnCompute_->setDefault(true);
    btnCancel_ = Button(this, "btnCancel", "Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCompute_);
    buttons->addWidget(btnCancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(deaths);
    layout->addLayout(tables);
    layout->addWidget(level);
    layout->addLayout(buttons);
    connect(btnCompute_, &QPushButton::clicked, this, &FrmSrrComp::compute);
    connect(btnCancel_, &QPushButton::clicked, this, &FrmSrrComp::reject);
}

mortality::SmrRequest FrmSrrComp::request() const {
    mortality::SmrRequest r;
    r.projectName = projectName_;
    r.rateTable = comRateTable_->currentText().toStdString();
    r.pyTable = comPyTable_->currentText().toStdString();
    r.levelText = comSigLevel_->currentText().toStdString();
    r.deathColumn = comDTH_->currentText().toStdString();
    r.deathValueText = txtDTHValues_->text().toStdString();
    return r;
}

void FrmSrrComp::compute() {
    const mortality::SmrCheck check = mortality::CheckSmrRequest(state_, ui_, request());
    switch (check.focus) {
        case mortality::SmrField::RateTable: comRateTable_->setFocus(); break;
        case mortality::SmrField::PyTable: comPyTable_->setFocus(); break;
        case mortality::SmrField::DeathColumn: comDTH_->setFocus(); break;
        case mortality::SmrField::DeathValue: txtDTHValues_->setFocus(); break;
        case mortality::SmrField::None: break;
    }
    if (check.ok) accept();
}

void MenuComputeSrr(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    main->runCommand([main] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        const auto name = mortality::BeginSmrProject(state, ui);
        if (!name) return;
        FrmSrrComp dialog(main, state, ui, *name);
        if (dialog.exec() != QDialog::Accepted) {
            mortality::CancelSmrProject(state);
            return;
        }
        mortality::RunSrr(state, ui, dialog.request());
    });
}

}  // namespace vdx
