#include "frm_sex.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "py/sex_lag.h"

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
    if (!state_.py.varSEX.empty()) comSex_->setEditText(QString::fromStdString(state_.py.varSEX));
    txtSexValues_ = new QLineEdit(QString::fromStdString(py::SexValuesText(state_.py)), this);
    txtSexValues_->setObjectName("txtSexValues");
    btnOk_ = new QPushButton("Ok", this);
    btnOk_->setObjectName("btnOk");
    btnOk_->setDefault(true);
    connect(btnOk_, &QPushButton::clicked, this, &FrmSex::ok);

    auto* variable = new QGroupBox("Variable", this);
    auto* v = new QHBoxLayout(variable);
    auto* label = new QLabel("&Sex:", variable);
    label->setBuddy(comSex_);
    v->addWidget(label);
    v->addWidget(comSex_, 1);
    auto* values = new QGroupBox("&Values", this);  // the access key moves to the values box
    auto* w = new QHBoxLayout(values);
    w->addWidget(txtSexValues_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(variable);
    layout->addWidget(values);
    layout->addLayout(buttons);
}

void FrmSex::ok() {
    switch (py::SexOk(state_, ui_, comSex_->currentText().toStdString(), txtSexValues_->text().toStdString())) {
        case py::DefinitionOk::Confirmed: accept(); break;
        case py::DefinitionOk::ClosedUnconfirmed: reject(); break;
        case py::DefinitionOk::StayOpen: txtSexValues_->setFocus(); break;
    }
}

}  // namespace vdx
