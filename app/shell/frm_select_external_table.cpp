#include "frm_select_external_table.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_buttons.h"

namespace vdx {

FrmSelectExternalTable::FrmSelectExternalTable(QWidget* parent, const std::vector<std::string>& tables)
    : QDialog(parent) {
    setObjectName("frmSelectExternalTable");
    setWindowTitle("Select table");
    setModal(true);
    label1_ = new QLabel("Please select the &table you want to add:", this);
    label1_->setObjectName("Label1");
    comTable_ = new QComboBox(this);
    label1_->setBuddy(comTable_);
    comTable_->setObjectName("comTable");
    comTable_->setMinimumWidth(260);
    for (const auto& t : tables) comTable_->addItem(QString::fromStdString(t));
    comTable_->setCurrentIndex(tables.empty() ? -1 : 0);
    const OkCancelButtons buttons = MakeOkCancelButtons(this);
    btnOk_ = buttons.ok;
    btnCancel_ = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1_);
    layout->addWidget(comTable_);
    layout->addLayout(buttons.row);

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
