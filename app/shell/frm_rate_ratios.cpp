#include "frm_rate_ratios.h"

#include <QCheckBox>
#include <QComboBox>
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
#include "mortality/cause_list.h"
#include "mortality/rate_ratio_run.h"
#include "mortality/smr_run.h"
#include "state/errors.h"

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QCheckBox* Check(QWidget* parent, const char* name, const char* caption, bool on) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(on);
    return box;
}

}  // namespace

FrmRateRatios::FrmRateRatios(QWidget* parent, const ProgramState& state, Interaction& ui,
                             const std::vector<std::string>& categories)
    : QDialog(parent), ui_(ui) {
    setObjectName("frmRateRatios");
    setWindowTitle("Rate Ratios by Exposure Category");
    setModal(true);
    mortality::SmrChoices choices;
    std::vector<std::string> lists;
    {
        BusyPointer busy(ui_);
        choices = mortality::ListSmrChoices(state);
        // The study's cause lists and the default one, each with its causes;
        // a list that does not read is not offered (Compute > SMR for a
        // cause list names its fault).
        std::vector<std::string> names;
        std::unique_ptr<db::Database> db;
        try {
            db = db::Database::open(state.WorkingCopyName);
            names = mortality::CauseListNames(*db);
        } catch (const VdxError&) {
        }
        names.emplace_back(mortality::kDefaultListName);
        for (const std::string& name : names) {
            try {
                const mortality::CauseList list = db ? mortality::CauseListNamed(*db, name) : mortality::CauseList{};
                std::vector<std::string> causes;
                for (const auto& cause : list.causes) causes.push_back(cause.name);
                if (!causes.empty()) causesOf_.emplace_back(name, std::move(causes));
            } catch (const VdxError&) {
            }
        }
        for (const auto& entry : causesOf_) lists.push_back(entry.first);
    }
    comDTH_ = NamedList(this, "comDTH", choices.deathColumns, -1);
    optCodes_ = new QRadioButton("Co&des:", this);
    optCodes_->setObjectName("optDeathCodes");
    optCodes_->setChecked(true);
    txtDeathValue_ = new QLineEdit(this);
    txtDeathValue_->setObjectName("txtDeathValue");
    txtDeathValue_->setToolTip("A code or a group of codes and ranges, as for the SMR: 162 or 160-165, 170.");
    optCause_ = new QRadioButton("Ca&use of a list:", this);
    optCause_->setObjectName("optDeathCause");
    optCause_->setEnabled(!lists.empty());
    comCauseList_ = NamedList(this, "comCauseList", lists, lists.empty() ? -1 : 0);
    comCause_ = NamedList(this, "comCause", {}, -1);
    comCause_->setToolTip("Its deaths read by ICD revision as Compute > SMR for a cause list reads them.");
    fillCauses();
    auto enable = [this] {
        txtDeathValue_->setEnabled(optCodes_->isChecked());
        comCauseList_->setEnabled(optCause_->isChecked());
        comCause_->setEnabled(optCause_->isChecked());
    };
    enable();
    connect(optCodes_, &QRadioButton::toggled, this, enable);
    connect(comCauseList_, &QComboBox::currentIndexChanged, this, &FrmRateRatios::fillCauses);
    chkAge_ = Check(this, "chkAdjustAge", "&Age class", true);
    chkCalendar_ = Check(this, "chkAdjustCalendar", "Calendar &period", true);
    // Sex only when the person-years are stratified by sex.
    const bool bySex = state.py.tableCount == 3;
    chkSex_ = Check(this, "chkAdjustSex", "S&ex", bySex);
    chkSex_->setEnabled(bySex);
    comReference_ = NamedList(this, "comReference", categories, categories.empty() ? -1 : 0);
    comLevel_ = NamedList(this, "comLevel", {"90", "95", "99"}, 1);
    txtName_ = new QLineEdit(this);
    txtName_->setObjectName("txtName");
    txtName_->setPlaceholderText("RateRatios1, RateRatios2, ...");

    auto* adjust = new QHBoxLayout;
    for (QCheckBox* box : {chkAge_, chkCalendar_, chkSex_}) adjust->addWidget(box);
    adjust->addStretch();
    auto* cause = new QHBoxLayout;
    cause->addWidget(comCauseList_);
    cause->addWidget(comCause_, 1);
    CaptionedRows rows(this);
    rows.add("Death &variable:", comDTH_);
    rows.add(optCodes_, txtDeathValue_);
    rows.add(optCause_, cause);
    rows.add(new QLabel("Adjusted for:", this), adjust);
    rows.add("&Reference category:", comReference_);
    rows.add("Confidence &level (%):", comLevel_);
    rows.add("&Name:", txtName_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows.grid());
    layout->addLayout(ComputeCancelRow(this, btnCompute_, btnCancel_));
    connect(btnCompute_, &QPushButton::clicked, this, &FrmRateRatios::compute);
    connect(btnCancel_, &QPushButton::clicked, this, &FrmRateRatios::reject);
}

mortality::RateRatioRequest FrmRateRatios::request() const {
    mortality::RateRatioRequest r;
    r.deathColumn = comDTH_->currentText().toStdString();
    if (optCause_->isChecked()) {
        r.causeList = comCauseList_->currentText().toStdString();
        r.cause = comCause_->currentText().toStdString();
    } else {
        r.deathValueText = txtDeathValue_->text().trimmed().toStdString();
    }
    r.adjustAge = chkAge_->isChecked();
    r.adjustCalendar = chkCalendar_->isChecked();
    r.adjustSex = chkSex_->isEnabled() && chkSex_->isChecked();
    r.reference = comReference_->currentIndex() + 1;
    r.level = static_cast<int16_t>(comLevel_->currentText().toInt());
    r.name = txtName_->text().trimmed().toStdString();
    return r;
}

void FrmRateRatios::compute() {
    if (comDTH_->currentIndex() < 0) {
        ui_.message(Message(msg::NoDeathColumn), Buttons::Ok, Icon::Critical, "Error");
        comDTH_->setFocus();
        return;
    }
    if (optCause_->isChecked() && comCause_->currentIndex() < 0) {
        ui_.message("Choose the cause list and one of its causes.", Buttons::Ok, Icon::Critical, "Error");
        comCauseList_->setFocus();
        return;
    }
    if (optCodes_->isChecked() && txtDeathValue_->text().trimmed().isEmpty()) {
        ui_.message("Give the death value: a code or a group of codes and ranges (160-165, 170).", Buttons::Ok,
                    Icon::Critical, "Error");
        txtDeathValue_->setFocus();
        return;
    }
    accept();
}

void FrmRateRatios::fillCauses() {
    comCause_->clear();
    const int list = comCauseList_->currentIndex();
    if (list < 0 || list >= static_cast<int>(causesOf_.size())) return;
    for (const std::string& cause : causesOf_[static_cast<size_t>(list)].second) comCause_->addItem(Q(cause));
    comCause_->setCurrentIndex(0);
}

void MenuComputeRateRatios(QMainWindow* window) {
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
        const std::vector<std::string> categories = mortality::ExposureCategoryNames(state);
        if (categories.empty()) {
            ui.message(mortality::kNoExposureCategories, Buttons::Ok, Icon::Exclamation, kApplicationName);
            return;
        }
        FrmRateRatios dialog(main, state, ui, categories);
        if (dialog.exec() != QDialog::Accepted) return;
        const mortality::RateRatioRequest request = dialog.request();
        ShowView(state, ViewName::Empty);
        main->refreshFromState();
        if (!mortality::RunRateRatios(state, ui, request, &analysis)) {
            analysis.clear();
            return;
        }
        db::RebuildNavigator(state, ui);
    });
    if (!analysis.empty()) main->openNode(QString::fromStdString(analysis + "_Report"));
}

}  // namespace vdx
