#include "frm_causes_comp.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "compute_rows.h"
#include "db/database.h"
#include "db/navigator_commands.h"
#include "main_window.h"
#include "mortality/smr_run.h"

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The "rate table" entry that takes each cause's table from the list.
constexpr const char* kListRates = "(each cause's table, column 'rate' of the list)";

}  // namespace

RevisionBox::RevisionBox(QWidget* parent, const mortality::RevisionRule& rule, const std::vector<std::string>& columns)
    : QGroupBox("ICD revisions", parent) {
    setObjectName("fraRevisions");
    optYears_ = new QRadioButton("&Years each revision starts (revision:year):", this);
    optYears_->setObjectName("optRevisionYears");
    txtYears_ = new QLineEdit(Q(mortality::RevisionYearsText(rule.years)), this);
    txtYears_->setObjectName("txtRevisionYears");
    txtYears_->setToolTip("A death is read in the revision in force on 1 January of the year it starts, "
                          "for example 7:1958,8:1968,9:1979,10:1999.");
    optColumn_ = new QRadioButton("Revision of each death in the &column:", this);
    optColumn_->setObjectName("optRevisionColumn");
    comColumn_ = NamedList(this, "comRevisionColumn", columns, -1);
    if (!rule.column.empty()) {
        const int at = comColumn_->findText(Q(rule.column));
        comColumn_->setCurrentIndex(at);
    }
    (rule.column.empty() ? optYears_ : optColumn_)->setChecked(true);
    auto* grid = new QGridLayout(this);
    grid->addWidget(optYears_, 0, 0);
    grid->addWidget(txtYears_, 0, 1);
    grid->addWidget(optColumn_, 1, 0);
    grid->addWidget(comColumn_, 1, 1);
    grid->setColumnStretch(1, 1);
}

std::optional<mortality::RevisionRule> RevisionBox::rule(std::string& why) const {
    mortality::RevisionRule rule;
    if (optColumn_->isChecked()) {
        rule.column = comColumn_->currentText().toStdString();
        if (rule.column.empty()) {
            why = "Choose the column of the main data table that names the ICD revision of each death.";
            return std::nullopt;
        }
        return rule;
    }
    const auto years = mortality::ParseRevisionYears(txtYears_->text().toStdString(), why);
    if (!years) {
        why = "The years the ICD revisions start ('" + txtYears_->text().toStdString() + "') cannot be read: " + why;
        return std::nullopt;
    }
    rule.years = *years;
    return rule;
}

FrmCausesComp::FrmCausesComp(QWidget* parent, const ProgramState& state, Interaction& ui)
    : QDialog(parent), state_(state), ui_(ui) {
    setObjectName("frmCausesComp");
    setWindowTitle("SMR for a Cause List");
    setModal(true);
    mortality::SmrChoices choices;
    std::vector<std::string> lists;
    mortality::RevisionRule rule;
    {
        BusyPointer busy(ui_);
        choices = mortality::ListSmrChoices(state_);
        auto db = db::Database::open(state_.WorkingCopyName);
        lists = mortality::CauseListNames(*db);
        rule = mortality::ReadRevisionRule(*db);
    }
    lists.emplace_back(mortality::kDefaultListName);
    std::vector<std::string> rates{kListRates};
    rates.insert(rates.end(), choices.rateTables.begin(), choices.rateTables.end());

    comList_ = NamedList(this, "comCauseList", lists, 0);
    comDTH_ = NamedList(this, "comDTH", choices.deathColumns, -1);
    comRateTable_ = NamedList(this, "comRateTable", rates, choices.rateTables.empty() ? 0 : 1);
    // Rates by sex (a long table with a sex column): each person at the rates
    // of the sex in this column, proposed from the person-years run.
    comSexColumn_ = NamedList(this, "comSexColumn", choices.deathColumns, -1);
    if (state_.py.bySex) comSexColumn_->setCurrentIndex(comSexColumn_->findText(Q(state_.py.sexColumn)));
    comPyTable_ = NamedList(this, "comPyTable", choices.pyTables, 0);
    comSigLevel_ = SignificanceLevelList(this, choices);
    comMethod_ = MethodList(this, choices);
    txtName_ = new QLineEdit(this);
    txtName_->setObjectName("txtName");
    txtName_->setPlaceholderText("Causes1, Causes2, ...");
    revisions_ = new RevisionBox(this, rule, choices.deathColumns);

    CaptionedRows rows(this);
    rows.add("Cause &list:", comList_);
    rows.add("Death &variable:", comDTH_);
    rows.add("&Rate table:", comRateTable_);
    QLabel* sexLabel = rows.add("Se&x variable:", comSexColumn_);
    auto showSex = [this, sexLabel] {
        const bool bySex = comRateTable_->currentIndex() > 0 &&
                           mortality::RatesBySex(state_, comRateTable_->currentText().toStdString());
        sexLabel->setVisible(bySex);
        comSexColumn_->setVisible(bySex);
    };
    connect(comRateTable_, &QComboBox::currentTextChanged, this, showSex);
    showSex();
    rows.add("&Person-Years table:", comPyTable_);
    rows.add("&Significance level:", comSigLevel_);
    rows.add("&Method:", comMethod_);
    rows.add("&Name:", txtName_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows.grid());
    layout->addWidget(revisions_);
    layout->addLayout(ComputeCancelRow(this, btnCompute_, btnCancel_));
    connect(btnCompute_, &QPushButton::clicked, this, &FrmCausesComp::compute);
    connect(btnCancel_, &QPushButton::clicked, this, &FrmCausesComp::reject);
}

mortality::CausesRequest FrmCausesComp::request() const {
    mortality::CausesRequest r;
    r.name = txtName_->text().trimmed().toStdString();
    r.list = comList_->currentText().toStdString();
    r.deathColumn = comDTH_->currentText().toStdString();
    r.rateTable = comRateTable_->currentIndex() <= 0 ? std::string() : comRateTable_->currentText().toStdString();
    if (comSexColumn_->isVisibleTo(this)) r.sexColumn = comSexColumn_->currentText().toStdString();
    r.pyTable = comPyTable_->currentText().toStdString();
    r.levelText = comSigLevel_->currentText().toStdString();
    r.method = comMethod_->currentText().toStdString();
    std::string why;
    r.revisions = revisions_->rule(why);
    return r;
}

void FrmCausesComp::compute() {
    std::string why;
    if (!revisions_->rule(why)) {
        ui_.message(why, Buttons::Ok, Icon::Critical, "Error");
        return;
    }
    if (comDTH_->currentIndex() < 0) {
        ui_.message(Message(msg::NoDeathColumn), Buttons::Ok, Icon::Critical, "Error");
        comDTH_->setFocus();
        return;
    }
    accept();
}

void MenuComputeCauses(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    std::string analysis;
    main->runCommand([main, &analysis] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        if (!state.ProjectOpen) {
            ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, kApplicationName);
            return;
        }
        if (!state.py.computed) {
            ui.message(Message(msg::PersonYearsFirst), Buttons::Ok, Icon::Exclamation, kApplicationName);
            return;
        }
        FrmCausesComp dialog(main, state, ui);
        if (dialog.exec() != QDialog::Accepted) return;
        const mortality::CausesRequest request = dialog.request();
        ShowView(state, ViewName::Empty);
        main->refreshFromState();
        const auto result = mortality::RunCauses(state, ui, request);
        if (!result) return;
        analysis = result->name;
        db::RebuildNavigator(state, ui);
        std::string summary;
        for (const std::string& line : mortality::CausesSummary(*result)) summary += (summary.empty() ? "" : "\n\n") + line;
        ui.message(summary, Buttons::Ok, Icon::Information, "SMR for a Cause List");
    });
    if (!analysis.empty()) main->openNode(QString::fromStdString(analysis + "_Causes"));
}

void MenuRevisions(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    main->runCommand([main] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        if (!state.ProjectOpen) {
            ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, kApplicationName);
            return;
        }
        auto db = db::Database::open(state.WorkingCopyName);
        QDialog dialog(main);
        dialog.setObjectName("frmRevisions");
        dialog.setWindowTitle("ICD Revisions");
        std::vector<std::string> columns;
        for (const auto& f : state.MainTableFields) columns.push_back(f.name);
        auto* box = new RevisionBox(&dialog, mortality::ReadRevisionRule(*db), columns);
        QPushButton *ok = nullptr, *cancel = nullptr;
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(box);
        layout->addLayout(ComputeCancelRow(&dialog, ok, cancel, "&Ok"));
        ok->setObjectName("btnOk");
        std::optional<mortality::RevisionRule> rule;
        QObject::connect(ok, &QPushButton::clicked, &dialog, [&] {
            std::string why;
            rule = box->rule(why);
            if (!rule) ui.message(why, Buttons::Ok, Icon::Critical, "Error");
            else dialog.accept();
        });
        QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
        if (dialog.exec() != QDialog::Accepted || !rule) return;
        db->beginTransaction();
        mortality::WriteRevisionRule(*db, *rule);
        db->commit();
        state.ProjectChanged = true;
    });
}

}  // namespace vdx
