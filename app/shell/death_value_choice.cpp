#include "death_value_choice.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>

#include <memory>
#include <utility>
#include <vector>

#include "compute_rows.h"
#include "db/database.h"
#include "mortality/cause_list.h"
#include "state/errors.h"

namespace vdx {

namespace {

// The causes of each offered list, in the lists' order.
using CausesOfLists = std::vector<std::pair<std::string, std::vector<std::string>>>;

CausesOfLists ReadCausesOfLists(const ProgramState& state) {
    CausesOfLists out;
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
            if (!causes.empty()) out.emplace_back(name, std::move(causes));
        } catch (const VdxError&) {
        }
    }
    return out;
}

}  // namespace

DeathValueChoice::DeathValueChoice(QWidget* parent, const ProgramState& state) {
    const auto causesOf = std::make_shared<const CausesOfLists>(ReadCausesOfLists(state));
    std::vector<std::string> lists;
    for (const auto& entry : *causesOf) lists.push_back(entry.first);

    codes_ = new QRadioButton("Co&des:", parent);
    codes_->setObjectName("optDeathCodes");
    codes_->setChecked(true);
    text_ = new QLineEdit(parent);
    text_->setObjectName("txtDeathValue");
    text_->setPlaceholderText("162 or 160-165, 170 or C33-C34, C45");
    text_->setToolTip("A code or a group of codes and ranges, as for the SMR: 162 or 160-165, 170.");
    cause_ = new QRadioButton("Ca&use of a list:", parent);
    cause_->setObjectName("optDeathCause");
    cause_->setEnabled(!lists.empty());
    lists_ = NamedList(parent, "comCauseList", lists, lists.empty() ? -1 : 0);
    causes_ = NamedList(parent, "comCause", {}, -1);
    causes_->setToolTip("Its deaths read by ICD revision as Compute > SMR for a cause list reads them.");
    causeRow_ = new QHBoxLayout;
    causeRow_->addWidget(lists_);
    causeRow_->addWidget(causes_, 1);

    // The widgets and the lists' causes are captured, not this object: the
    // dialog may outlive it.
    auto fillCauses = [lists = lists_, causes = causes_, causesOf] {
        causes->clear();
        const int list = lists->currentIndex();
        if (list < 0 || list >= static_cast<int>(causesOf->size())) return;
        for (const std::string& cause : (*causesOf)[static_cast<size_t>(list)].second)
            causes->addItem(QString::fromStdString(cause));
        causes->setCurrentIndex(0);
    };
    fillCauses();
    auto enable = [codes = codes_, cause = cause_, text = text_, lists = lists_, causes = causes_] {
        text->setEnabled(codes->isChecked());
        lists->setEnabled(cause->isChecked());
        causes->setEnabled(cause->isChecked());
    };
    enable();
    QObject::connect(codes_, &QRadioButton::toggled, codes_, enable);
    QObject::connect(lists_, &QComboBox::currentIndexChanged, lists_, fillCauses);
}

void DeathValueChoice::read(std::string& deathValueText, std::string& causeList, std::string& cause) const {
    deathValueText.clear();
    causeList.clear();
    cause.clear();
    if (cause_->isChecked()) {
        causeList = lists_->currentText().toStdString();
        cause = causes_->currentText().toStdString();
    } else {
        deathValueText = text_->text().trimmed().toStdString();
    }
}

bool DeathValueChoice::refusedAsIncomplete(Interaction& ui) const {
    if (cause_->isChecked() && causes_->currentIndex() < 0) {
        ui.message("Choose the cause list and one of its causes.", Buttons::Ok, Icon::Critical, "Error");
        lists_->setFocus();
        return true;
    }
    if (codes_->isChecked() && text_->text().trimmed().isEmpty()) {
        ui.message("Give the death value: a code or a group of codes and ranges (160-165, 170).", Buttons::Ok,
                   Icon::Critical, "Error");
        text_->setFocus();
        return true;
    }
    return false;
}

}  // namespace vdx
