#include "frm_smr_comp.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "compute_rows.h"
#include "main_window.h"

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

FrmSMRComp::FrmSMRComp(QWidget* parent, const ProgramState& state, Interaction& ui, std::string projectName,
                       ComputeDialogKind kind)
    : QDialog(parent), state_(state), ui_(ui), projectName_(std::move(projectName)) {
    const bool srr = kind == ComputeDialogKind::Srr;
    srr_ = srr;
    setObjectName(srr ? "frmSRRComp" : "frmSMRComp");
    setWindowTitle(srr ? "SRR Computation" : "SMR Computation");
    setModal(true);
    mortality::SmrChoices choices;
    {
        BusyPointer busy(ui_);
        choices = mortality::ListSmrChoices(state_);
    }

    auto* deaths = new QGroupBox("Deaths", this);
    comDTH_ = NamedList(deaths, "comDTH", choices.deathColumns, -1);
    txtDTHValues_ = new QLineEdit(deaths);
    txtDTHValues_->setObjectName("txtDTHValues");
    // A group of codes is as welcome as one code.
    txtDTHValues_->setPlaceholderText("162, or 160-165, 170");
    txtDTHValues_->setToolTip("One code, or codes and ranges separated by commas; a range includes its bounds.");
    auto* deathGrid = new QGridLayout(deaths);
    deathGrid->addWidget(BuddyLabel(deaths, srr ? "ICD &variable:" : "Death &variable:", comDTH_), 0, 0);
    deathGrid->addWidget(comDTH_, 0, 1);
    deathGrid->addWidget(BuddyLabel(deaths, srr ? "ICD v&alue:" : "Death v&alue:", txtDTHValues_), 1, 0);
    deathGrid->addWidget(txtDTHValues_, 1, 1);
    deathGrid->setColumnStretch(1, 1);

    comPyTable_ = NamedList(this, "comPyTable", choices.pyTables, -1);
    comRateTable_ = NamedList(this, "comRateTable", choices.rateTables, -1);
    auto* tables = new QGridLayout;
    tables->addWidget(BuddyLabel(this, "&Person-Years table:", comPyTable_), 0, 0);
    tables->addWidget(comPyTable_, 0, 1);
    tables->addWidget(BuddyLabel(this, "&Rate file:", comRateTable_), 1, 0);
    tables->addWidget(comRateTable_, 1, 1);
    if (!srr) {
        // Rates by sex: each person at the rates of the sex in this column
        // (proposed: the person-years run's sex column).
        comSexColumn_ = NamedList(this, "comSexColumn", choices.deathColumns, -1);
        if (state_.py.bySex) comSexColumn_->setCurrentIndex(comSexColumn_->findText(Q(state_.py.sexColumn)));
        lblSexColumn_ = BuddyLabel(this, "Se&x variable:", comSexColumn_);
        tables->addWidget(lblSexColumn_, 2, 0);
        tables->addWidget(comSexColumn_, 2, 1);
        auto showSex = [this] {
            const bool bySex = mortality::RatesBySex(state_, comRateTable_->currentText().toStdString());
            lblSexColumn_->setVisible(bySex);
            comSexColumn_->setVisible(bySex);
        };
        connect(comRateTable_, &QComboBox::currentTextChanged, this, showSex);
        showSex();
    }
    tables->setColumnStretch(1, 1);

    auto* levelFrame = new QGroupBox("&Significance level", this);
    comSigLevel_ = SignificanceLevelList(levelFrame, choices);
    (new QVBoxLayout(levelFrame))->addWidget(comSigLevel_);
    // A group box's mnemonic moves the focus to its list.
    levelFrame->setFocusProxy(comSigLevel_);
    auto* options = new QHBoxLayout;
    options->addWidget(levelFrame);
    if (!srr) {
        auto* methodFrame = new QGroupBox("&Method", this);
        comMethod_ = MethodList(methodFrame, choices);
        (new QVBoxLayout(methodFrame))->addWidget(comMethod_);
        methodFrame->setFocusProxy(comMethod_);
        options->addWidget(methodFrame);
    }


    auto* layout = new QVBoxLayout(this);
    layout->addWidget(deaths);
    layout->addLayout(tables);
    layout->addLayout(options);
    layout->addLayout(ComputeCancelRow(this, btnCompute_, btnCancel_));

    connect(btnCompute_, &QPushButton::clicked, this, &FrmSMRComp::compute);
    connect(btnCancel_, &QPushButton::clicked, this, &FrmSMRComp::reject);

    // The entries of the last Compute, where the lists still hold them.
    if (const auto& last = state_.SmrEntries) {
        auto select = [](QComboBox* combo, const std::string& text) {
            if (const int at = combo ? combo->findText(Q(text)) : -1; at >= 0) combo->setCurrentIndex(at);
        };
        select(comDTH_, last->deathColumn);
        select(comPyTable_, last->pyTable);
        select(comRateTable_, last->rateTable);
        select(comSigLevel_, last->levelText);
        select(comMethod_, last->method);
        txtDTHValues_->setText(Q(last->deathValueText));
    }
}

mortality::SmrRequest FrmSMRComp::request() const {
    mortality::SmrRequest r;
    r.projectName = projectName_;
    r.rateTable = comRateTable_->currentText().toStdString();
    r.pyTable = comPyTable_->currentText().toStdString();
    r.levelText = comSigLevel_->currentText().toStdString();
    if (comMethod_) r.method = comMethod_->currentText().toStdString();
    r.deathColumn = comDTH_->currentText().toStdString();
    r.deathValueText = txtDTHValues_->text().toStdString();
    if (comSexColumn_ && comSexColumn_->isVisibleTo(this)) r.sexColumn = comSexColumn_->currentText().toStdString();
    return r;
}

void FrmSMRComp::compute() {
    const mortality::SmrCheck check = mortality::CheckSmrRequest(state_, ui_, request());
    switch (check.focus) {
        case mortality::SmrField::RateTable: comRateTable_->setFocus(); break;
        case mortality::SmrField::PyTable: comPyTable_->setFocus(); break;
        case mortality::SmrField::DeathColumn: comDTH_->setFocus(); break;
        case mortality::SmrField::DeathValue: txtDTHValues_->setFocus(); break;
        case mortality::SmrField::None: break;
    }
    if (!check.ok) return;
    // Rates above 1 are questioned here: No (the default) returns to the dialog.
    if (!srr_ && !mortality::ConfirmRateUnit(state_, ui_, request().rateTable)) {
        comRateTable_->setFocus();
        return;
    }
    accept();
}

SmrDialogEntries EntriesOf(const mortality::SmrRequest& r) {
    return {r.rateTable, r.pyTable, r.levelText, r.method, r.deathColumn, r.deathValueText};
}

void MenuComputeSmr(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    std::string project;
    main->runCommand([main, &project] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        const std::optional<std::string> name = mortality::BeginSmrProject(state, ui);
        if (!name) return;
        mortality::SmrRequest request;
        bool accepted = false;
        try {
            FrmSMRComp dialog(main, state, ui, *name);
            accepted = dialog.exec() == QDialog::Accepted;
            request = dialog.request();
        } catch (...) {
            // A dialog that could not load its lists gives the number back too.
            mortality::CancelSmrProject(state);
            throw;
        }
        if (!accepted) {
            mortality::CancelSmrProject(state);
            return;
        }
        state.SmrEntries = EntriesOf(request);
        // The view is cleared while the project is computed.
        ShowView(state, ViewName::Empty);
        main->refreshFromState();
        if (mortality::RunSmr(state, ui, request, true)) project = request.projectName;
    });
    // The new project's report on view.
    if (!project.empty()) main->openNode(QString::fromStdString(project + "_SMR"));
}

}  // namespace vdx
