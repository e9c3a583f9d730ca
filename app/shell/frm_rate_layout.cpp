#include "frm_rate_layout.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialog_buttons.h"

namespace vdx {

namespace {

constexpr const char* kNone = "(none)";

// A column list, the first column whose name contains one of `hints`
// (case ignored) selected; optional lists start with "(none)".
QComboBox* ColumnList(QWidget* parent, const char* name, const std::vector<std::string>& columns,
                      std::initializer_list<const char*> hints, bool optional) {
    auto* com = new QComboBox(parent);
    com->setObjectName(name);
    if (optional) com->addItem(kNone);
    for (const auto& c : columns) com->addItem(QString::fromStdString(c));
    for (const char* hint : hints) {
        const int found = com->findText(hint, Qt::MatchContains);
        if (found >= 0) {
            com->setCurrentIndex(found);
            break;
        }
    }
    return com;
}

std::string Chosen(const QComboBox* com) {
    const QString text = com->currentText();
    return text == kNone ? std::string() : text.toStdString();
}

}  // namespace

FrmRateLayout::FrmRateLayout(QWidget* parent, const std::string& table, const std::vector<std::string>& columns,
                             double unit)
    : QDialog(parent), unit_(unit) {
    setObjectName("frmRateLayout");
    setWindowTitle("Rate table");
    auto* layout = new QVBoxLayout(this);
    auto* lbl = new QLabel(QString::fromStdString("How does the table '" + table + "' hold its rates?"), this);
    layout->addWidget(lbl);
    optGrid_ = new QRadioButton("&Grid: age classes as rows, calendar periods as columns", this);
    optGrid_->setObjectName("optLayoutGrid");
    optLong_ = new QRadioButton("&Long: one row per age, year (and sex)", this);
    optLong_->setObjectName("optLayoutLong");
    optGrid_->setChecked(true);
    layout->addWidget(optGrid_);
    layout->addWidget(optLong_);
    auto* form = new QFormLayout;
    comAge_ = ColumnList(this, "comAge", columns, {"age", "Age", "AGE"}, false);
    comYear_ = ColumnList(this, "comYear", columns, {"year", "Year", "YEAR", "yr", "YR"}, false);
    comSex_ = ColumnList(this, "comSex", columns, {"sex", "Sex", "SEX"}, true);
    comCause_ = ColumnList(this, "comCause", columns, {"cause", "Cause", "CAUSE", "icd", "ICD"}, true);
    comRate_ = ColumnList(this, "comRate", columns, {"rate", "Rate", "RATE"}, false);
    form->addRow("&Age (start of the class, years):", comAge_);
    form->addRow("&Year (start of the period):", comYear_);
    form->addRow("&Sex:", comSex_);
    form->addRow("&Cause:", comCause_);
    form->addRow("&Rate:", comRate_);
    layout->addLayout(form);
    auto* lblUnit = new QLabel(QString::fromStdString(
                                   unit == 1 ? std::string("Rates per person-year.")
                                             : "Rates per " + std::string(unit == 1000 ? "1,000" : "100,000") +
                                                   " person-years (kept as they are; divided when used)."),
                               this);
    lblUnit->setObjectName("lblUnit");
    layout->addWidget(lblUnit);
    const OkCancelButtons buttons = MakeOkCancelButtons(this);
    layout->addLayout(buttons.row);
    connect(buttons.ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(optLong_, &QRadioButton::toggled, this, &FrmRateLayout::layoutChanged);
    layoutChanged();
}

void FrmRateLayout::layoutChanged() {
    for (QComboBox* com : {comAge_, comYear_, comSex_, comCause_, comRate_}) com->setEnabled(optLong_->isChecked());
}

std::optional<db::RateLayout> FrmRateLayout::layout() const {
    if (!optLong_->isChecked()) return std::nullopt;
    return db::RateLayout{Chosen(comAge_), Chosen(comYear_), Chosen(comSex_), Chosen(comCause_), Chosen(comRate_),
                          unit_};
}

}  // namespace vdx
