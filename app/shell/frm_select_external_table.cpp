#include "frm_select_external_table.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vdx {

FrmSelectExternalTable::FrmSelectExternalTable(QWidget* parent, const std::vector<std::string>& tables)
    : QDialog(parent) {
    setObjectName("frmSelectExternalTable");
    setWindowTitle("Select table");
    setModal(true);
    label1_ = new QLabel("Please select the table you want to add:", this);
    label1_->setObjectName("Label1");
    comTable_ = new QComboBox(this);
    comTable_->setObjectName("comTable");
    comTable_->setMinimumWidth(260);
    for (const auto& t : tables) comTable_->addItem(QString::fromStdString(t));
    comTable_->setCurrentIndex(tables.empty() ? -1 : 0);
    btnOk_ = new QPushButton("Ok", this);
    btnOk_->setObjectName("btnOk");
    btnOk_->setDefault(true);
    btnCancel_ = new QPushButton("Cancel", this);
    btnCancel_->setObjectName("btnCancel");
    btnCancel_->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk_);
    buttons->addWidget(btnCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1_);
    layout->addWidget(comTable_);
    layout->addLayout(buttons);

    connect(btnOk_, &QPushButton::clicked, this, [this] { ok(); });
    connect(btnCancel_, &QPushButton::clicked, this, &FrmSelectExternalTable::reject);
}

std::string FrmSelectExternalTable::selected() const {
    return comTable_->currentIndex() < 0 ? std::string() : comTable_->currentText().toStdString();
}

void FrmSelectExternalTable::ok() {
    chosen_ = selected();
    if (chosen_.empty())
        QDialog::reject();  // nothing to choose: as Cancel
    else
        accept();
}

void FrmSelectExternalTable::reject() {
    chosen_.clear();
    QDialog::reject();
}

}  // namespace vdx
