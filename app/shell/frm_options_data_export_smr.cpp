#include "frm_options_data_export_smr.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_buttons.h"

namespace vdx {

namespace {

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

FrmOptionsDataExportSMR::FrmOptionsDataExportSMR(QWidget* parent, SettingsAccess& settings)
    : QDialog(parent), settings_(settings), choices_(exchange::ReadSmrExportChoices(settings)) {
    setObjectName("frmOptionsDataExportSMR");
    setWindowTitle("Data Export Options for the SMR");
    lstVariables_ = new QListWidget(this);
    lstVariables_->setObjectName("lstVariables");
    lstSelected_ = new QListWidget(this);
    lstSelected_->setObjectName("lstSelected");

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    QPushButton* select = Button(this, "btnSelect", ">");
    QPushButton* unselect = Button(this, "btnUnselect", "<");
    QPushButton* selectAll = Button(this, "btnSelectAll", ">>");
    QPushButton* unselectAll = Button(this, "btnUnselectAll", "<<");
    for (QPushButton* b : {select, unselect, selectAll, unselectAll}) middle->addWidget(b);
    middle->addStretch();

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Avaliable Variables:", this), 0, 0);
    grid->addWidget(new QLabel("Selected Variables:", this), 0, 2);
    grid->addWidget(lstVariables_, 1, 0);
    grid->addLayout(middle, 1, 1);
    grid->addWidget(lstSelected_, 1, 2);

    QPushButton* byDefault = Button(this, "btnDefault", "Default");
    OkCancelButtons buttons = MakeOkCancelButtons(this);
    buttons.row->insertWidget(0, byDefault);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons.row);

    connect(select, &QPushButton::clicked, this, [this] { move(lstVariables_, true); });
    connect(unselect, &QPushButton::clicked, this, [this] { move(lstSelected_, false); });
    connect(selectAll, &QPushButton::clicked, this, [this] { setAll(true); });
    connect(unselectAll, &QPushButton::clicked, this, [this] { setAll(false); });
    connect(byDefault, &QPushButton::clicked, this, [this] {
        choices_ = exchange::DefaultSmrExportChoices();
        refill();
    });
    connect(buttons.ok, &QPushButton::clicked, this, &FrmOptionsDataExportSMR::ok);
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
    refill();
}

void FrmOptionsDataExportSMR::refill() {
    lstVariables_->clear();
    lstSelected_->clear();
    for (const auto& c : choices_)
        (c.exported ? lstSelected_ : lstVariables_)->addItem(QString::fromStdString(c.name));
}

void FrmOptionsDataExportSMR::move(QListWidget* from, bool exported) {
    const QList<QListWidgetItem*> selected = from->selectedItems();
    if (selected.isEmpty()) return;
    QListWidgetItem* item = selected.front();
    const std::string name = item->text().toStdString();
    for (auto& c : choices_)
        if (c.name == name) c.exported = exported;
    delete from->takeItem(from->row(item));
    (exported ? lstSelected_ : lstVariables_)->addItem(QString::fromStdString(name));
}

void FrmOptionsDataExportSMR::setAll(bool exported) {
    for (auto& c : choices_) c.exported = exported;
    refill();
}

void FrmOptionsDataExportSMR::ok() {
    exchange::WriteSmrExportChoices(settings_, choices_);
    accept();
}

}  // namespace vdx
