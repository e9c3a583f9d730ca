#include "frm_sex.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_buttons.h"
#include "py/py_comp.h"
#include "py/sex_lag.h"
#include "state/errors.h"

namespace vdx {

FrmSex::FrmSex(QWidget* parent, ProgramState& state, Interaction& ui) : QDialog(parent), state_(state), ui_(ui) {
    setObjectName("frmSex");
    setWindowTitle("Sex");
    setModal(true);

    comSex_ = new QComboBox(this);
    comSex_->setObjectName("comSex");
    comSex_->setEditable(true);
    for (const auto& f : state_.MainTableFields) comSex_->addItem(QString::fromStdString(f.name));
    comSex_->setCurrentIndex(-1);
    if (!state_.py.sexColumn.empty()) comSex_->setEditText(QString::fromStdString(state_.py.sexColumn));
    txtSexValues_ = new QLineEdit(QString::fromStdString(py::SexValuesText(state_.py)), this);
    txtSexValues_->setObjectName("txtSexValues");
    lblSexCodes_ = new QLabel(this);
    lblSexCodes_->setObjectName("lblSexCodes");
    lblSexCodes_->setWordWrap(true);
    lblSexCodes_->setMinimumWidth(320);
    const OkCancelButtons buttons = MakeOkCancelButtons(this);
    btnOk_ = buttons.ok;
    btnCancel_ = buttons.cancel;
    connect(btnOk_, &QPushButton::clicked, this, &FrmSex::ok);
    connect(btnCancel_, &QPushButton::clicked, this, &FrmSex::reject);

    auto* variable = new QGroupBox("Variable", this);
    auto* v = new QHBoxLayout(variable);
    auto* label = new QLabel("&Sex:", variable);
    label->setBuddy(comSex_);
    v->addWidget(label);
    v->addWidget(comSex_, 1);
    auto* values = new QGroupBox("&Values", this);  // the access key moves to the values box
    auto* w = new QHBoxLayout(values);
    w->addWidget(txtSexValues_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(variable);
    layout->addWidget(values);
    layout->addWidget(lblSexCodes_);
    layout->addLayout(buttons.row);

    connect(comSex_, &QComboBox::currentTextChanged, this, &FrmSex::columnChanged);
    connect(txtSexValues_, &QLineEdit::textChanged, this, &FrmSex::showHint);
    columnChanged();
}

// A column of the table is read for its codes once; while the values are
// unset ("0,0", two equal codes) or still the last proposal, the two most
// frequent codes are proposed.
void FrmSex::columnChanged() {
    const std::string column = comSex_->currentText().toStdString();
    if (py::IsMainTableColumn(state_, column) && !found_.count(column)) {
        try {
            BusyPointer busy(ui_);
            found_[column] = py::SexCodesFound(state_, column);
        } catch (const VdxError&) {
            found_[column] = {};  // the hint then names no codes; Ok still checks the column
        }
    }
    const auto codes = found_.find(column);
    const std::string values = txtSexValues_->text().toStdString();
    const size_t comma = values.find(',');
    const bool unset = comma != std::string::npos && values.substr(0, comma) == values.substr(comma + 1);
    if (codes != found_.end() && (unset || txtSexValues_->text() == proposed_)) {
        if (const auto proposal = py::ProposedSexValues(codes->second)) {
            proposed_ = QString::fromStdString(*proposal);
            txtSexValues_->setText(proposed_);
        }
    }
    showHint();
}

void FrmSex::showHint() {
    const std::string column = comSex_->currentText().toStdString();
    const auto codes = found_.find(column);
    if (!column.empty() && codes == found_.end()) {
        lblSexCodes_->setText(QString::fromStdString(py::NoColumnText(state_, column)));
        return;
    }
    lblSexCodes_->setText(QString::fromStdString(py::SexCodesHint(
        column, codes == found_.end() ? std::vector<py::SexCode>{} : codes->second, txtSexValues_->text().toStdString())));
}

void FrmSex::ok() {
    switch (py::SexOk(state_, ui_, comSex_->currentText().toStdString(), txtSexValues_->text().toStdString())) {
        case py::DefinitionOk::Confirmed: accept(); break;
        case py::DefinitionOk::StayOpen:
            // The column at fault, else the values.
            if (py::IsMainTableColumn(state_, comSex_->currentText().toStdString())) txtSexValues_->setFocus();
            else comSex_->setFocus();
            break;
    }
}

}  // namespace vdx
