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
#include "death_value_choice.h"
#include "db/database.h"
#include "db/navigator_commands.h"
#include "main_window.h"
#include "mortality/rate_ratio_run.h"
#include "mortality/smr_run.h"
#include "state/errors.h"

namespace vdx {

namespace {

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
    {
        BusyPointer busy(ui_);
        choices = mortality::ListSmrChoices(state);
        deathValue_ = std::make_unique<DeathValueChoice>(this, state);
    }
    comDTH_ = NamedList(this, "comDTH", choices.deathColumns, -1);
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
    CaptionedRows rows(this);
    rows.add("Death &variable:", comDTH_);
    rows.add(deathValue_->codesButton(), deathValue_->codesText());
    rows.add(deathValue_->causeButton(), deathValue_->causeRow());
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
    deathValue_->read(r.deathValueText, r.causeList, r.cause);
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
    if (deathValue_->refusedAsIncomplete(ui_)) return;
    accept();
}

void MenuComputeRateRatios(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    std::string analysis;
    main->runStudyCommand([main, &analysis](ProgramState& state, Interaction& ui) {
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
