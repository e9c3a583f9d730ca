#include "frm_lag.h"

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

namespace vdx {

FrmLag::FrmLag(QWidget* parent, ProgramState& state, Interaction& ui) : QDialog(parent), state_(state), ui_(ui) {
    setObjectName("frmLag");
    setWindowTitle("Lag");
    setModal(true);

    comLag_ = new QComboBox(this);
    comLag_->setObjectName("comLag");
    comLag_->setEditable(true);
    for (const auto& f : state_.MainTableFields) comLag_->addItem(QString::fromStdString(f.name));
    comLag_->setCurrentIndex(-1);
    if (!state_.py.hireColumn.empty()) comLag_->setEditText(QString::fromStdString(state_.py.hireColumn));
    txtLagValue_ = new QLineEdit(QString::number(state_.py.lagYears), this);
    txtLagValue_->setObjectName("txtLagValue");
    const OkCancelButtons buttons = MakeOkCancelButtons(this);
    btnOk_ = buttons.ok;
    connect(btnOk_, &QPushButton::clicked, this, &FrmLag::ok);
    connect(buttons.cancel, &QPushButton::clicked, this, &FrmLag::reject);

    auto* variable = new QGroupBox("Variable", this);
    auto* v = new QHBoxLayout(variable);
    auto* label = new QLabel("&Date-of-hire:", variable);
    label->setBuddy(comLag_);
    v->addWidget(label);
    v->addWidget(comLag_, 1);
    auto* years = new QGroupBox("&Lag years", this);  // the access key moves to the years box
    auto* w = new QHBoxLayout(years);
    w->addWidget(txtLagValue_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(variable);
    layout->addWidget(years);
    layout->addLayout(buttons.row);
}

void FrmLag::ok() {
    switch (py::LagOk(state_, ui_, comLag_->currentText().toStdString(), txtLagValue_->text().toStdString())) {
        case py::DefinitionOk::Confirmed: accept(); break;
        case py::DefinitionOk::StayOpen: {
            // The column at fault (none, no column, not a date), else the years.
            const std::string column = comLag_->currentText().toStdString();
            bool dateColumn = false;
            for (const auto& f : state_.MainTableFields)
                if (py::SameColumnName(f.name, column)) dateColumn = f.type == "date";
            if (dateColumn) txtLagValue_->setFocus();
            else comLag_->setFocus();
            break;
        }
    }
}

}  // namespace vdx
