#include "frm_lag.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

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
    if (!state_.py.varDOH.empty()) comLag_->setEditText(QString::fromStdString(state_.py.varDOH));
    txtLagValue_ = new QLineEdit(QString::number(state_.py.varLag), this);
    txtLagValue_->setObjectName("txtLagValue");
    btnOk_ = new QPushButton("Ok", this);
    btnOk_->setObjectName("btnOk");
    btnOk_->setDefault(true);
    connect(btnOk_, &QPushButton::clicked, this, &FrmLag::ok);

    auto* variable = new QGroupBox("Variable", this);
    auto* v = new QHBoxLayout(variable);
    auto* label = new QLabel("&Date-of-hire:", variable);
    label->setBuddy(comLag_);
    v->addWidget(label);
    v->addWidget(comLag_, 1);
    auto* years = new QGroupBox("&Lag years", this);  // the access key moves to the years box
    auto* w = new QHBoxLayout(years);
    w->addWidget(txtLagValue_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(variable);
    layout->addWidget(years);
    layout->addLayout(buttons);
}

void FrmLag::ok() {
    switch (py::LagOk(state_, ui_, comLag_->currentText().toStdString(), txtLagValue_->text().toStdString())) {
        case py::DefinitionOk::Confirmed: accept(); break;
        case py::DefinitionOk::ClosedUnconfirmed: reject(); break;
        case py::DefinitionOk::StayOpen: txtLagValue_->setFocus(); break;
    }
}

}  // namespace vdx
