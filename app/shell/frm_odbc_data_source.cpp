#include "frm_odbc_data_source.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_buttons.h"

namespace vdx {

FrmOdbcDataSource::FrmOdbcDataSource(QWidget* parent, const std::vector<exchange::OdbcDataSource>& sources)
    : QDialog(parent) {
    setObjectName("frmOdbcDataSource");
    setWindowTitle("Select data source");
    setModal(true);
    lstDataSources_ = new QListWidget(this);
    lstDataSources_->setObjectName("lstDataSources");
    for (const auto& s : sources) {
        auto* item = new QListWidgetItem(QString::fromStdString(s.name + (s.description.empty() ? "" : "  (" + s.description + ")")),
                                         lstDataSources_);
        item->setData(Qt::UserRole, QString::fromStdString(s.name));
    }
    txtConnect_ = new QLineEdit(this);
    txtConnect_->setObjectName("txtConnect");
    txtConnect_->setPlaceholderText("DSN=name;UID=user  or  DRIVER={driver};DATABASE=...");
    const OkCancelButtons buttons = MakeOkCancelButtons(this);
    btnOk_ = buttons.ok;
    btnCancel_ = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    auto* sourcesLabel = new QLabel("Please select the ODBC &data source:", this);
    sourcesLabel->setBuddy(lstDataSources_);
    auto* connectLabel = new QLabel("Co&nnection string:", this);
    connectLabel->setBuddy(txtConnect_);
    layout->addWidget(sourcesLabel);
    layout->addWidget(lstDataSources_);
    layout->addWidget(connectLabel);
    layout->addWidget(txtConnect_);
    layout->addLayout(buttons.row);
    resize(420, 320);

    auto updateOk = [this] { btnOk_->setEnabled(!txtConnect_->text().trimmed().isEmpty()); };
    connect(lstDataSources_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item) txtConnect_->setText("DSN=" + item->data(Qt::UserRole).toString());
    });
    connect(lstDataSources_, &QListWidget::itemDoubleClicked, this, [this] { ok(); });
    connect(txtConnect_, &QLineEdit::textChanged, this, updateOk);
    connect(btnOk_, &QPushButton::clicked, this, &FrmOdbcDataSource::ok);
    connect(btnCancel_, &QPushButton::clicked, this, &FrmOdbcDataSource::reject);
    if (lstDataSources_->count() > 0) lstDataSources_->setCurrentRow(0);
    updateOk();
}

void FrmOdbcDataSource::ok() {
    const QString text = txtConnect_->text().trimmed();
    if (text.isEmpty()) return;
    chosen_ = text.toStdString();
    accept();
}

void FrmOdbcDataSource::reject() {
    chosen_.reset();
    QDialog::reject();
}

}  // namespace vdx
