#include "frm_self_defined.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "dialog_buttons.h"
#include "py/self_defined.h"

namespace vdx {

namespace {

// The edit box over the current cell: a line edit named txtInput.
class SelfDefinedDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* box = new QLineEdit(parent);
        box->setObjectName("txtInput");
        box->setFrame(false);
        return box;
    }
};

// The grid: the read-only "Classes" column is never the current cell. Tab,
// Shift+Tab and the arrow keys pass over it, a click on it goes to the row's
// Begin, and typing never searches it for a class number.
class SelfDefinedTable : public QTableWidget {
public:
    using QTableWidget::QTableWidget;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
        const QModelIndex next = QTableWidget::moveCursor(action, modifiers);
        if (!next.isValid() || next.column() != 0) return next;
        const QModelIndex current = currentIndex();
        switch (action) {
            case MovePrevious:  // from Begin back to the End of the row above
                return next.row() > 0 ? model()->index(next.row() - 1, py::kEndColumn) : current;
            case MoveLeft: return current;
            default: return model()->index(next.row(), py::kBeginColumn);
        }
    }
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
        QTableWidget::currentChanged(current, previous);
        if (current.isValid() && current.column() == 0) {
            const int row = current.row();
            QMetaObject::invokeMethod(this, [this, row] { setCurrentCell(row, py::kBeginColumn); }, Qt::QueuedConnection);
        }
    }
    void keyboardSearch(const QString&) override {}
};

}  // namespace

FrmSelfDefined::FrmSelfDefined(QWidget* parent, ProgramState& state, Interaction& ui, bool calendar)
    : QDialog(parent), state_(state), ui_(ui), calendar_(calendar) {
    setObjectName("frmSelfDefined");
    setWindowTitle(QString::fromStdString(py::SelfDefinedCaption(calendar)));
    setModal(true);

    grid_ = new SelfDefinedTable(py::kSelfDefinedRows, 3, this);
    grid_->setObjectName("SdFGrid");
    // The headers of the format string, all left-aligned.
    QStringList headers;
    for (const QString& part : QString::fromStdString(py::SelfDefinedFormat(calendar)).split('|'))
        headers << part.mid(1);
    grid_->setHorizontalHeaderLabels(headers);
    grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid_->verticalHeader()->setVisible(false);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::AnyKeyPressed |
                           QAbstractItemView::DoubleClicked);
    grid_->setItemDelegate(new SelfDefinedDelegate(grid_));
    const py::SelfDefinedGrid shown = py::LoadSelfDefined(state_, calendar);
    for (int r = 1; r <= py::kSelfDefinedRows; ++r) {
        auto* number = new QTableWidgetItem(QString::number(r));
        number->setFlags(Qt::ItemIsEnabled);  // the class numbers are not edited
        grid_->setItem(r - 1, 0, number);
        for (int c = py::kBeginColumn; c <= py::kEndColumn; ++c)
            grid_->setItem(r - 1, c, new QTableWidgetItem(QString::fromStdString(shown.cell(r, c))));
    }
    grid_->resizeColumnsToContents();
    grid_->horizontalHeader()->setStretchLastSection(true);

    // Return belongs to the cell editor, so Ok is no default button.
    const OkCancelButtons buttons = MakeOkCancelButtons(this, false);
    btnOk_ = buttons.ok;
    btnCancel_ = buttons.cancel;
    connect(btnOk_, &QPushButton::clicked, this, &FrmSelfDefined::ok);
    connect(btnCancel_, &QPushButton::clicked, this, &FrmSelfDefined::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addLayout(buttons.row);
    resize(380, 420);
    grid_->setCurrentCell(0, py::kBeginColumn);
}

QLineEdit* FrmSelfDefined::editBox() const {
    return qobject_cast<QLineEdit*>(grid_->indexWidget(grid_->currentIndex()));
}

void FrmSelfDefined::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QTableWidgetItem* item = grid_->currentItem(); item && !editBox()) grid_->editItem(item);
}

void FrmSelfDefined::ok() {
    // The text of the open edit box goes into its cell first.
    if (QLineEdit* box = editBox()) grid_->currentItem()->setText(box->text());
    py::SelfDefinedGrid texts;
    for (int r = 1; r <= py::kSelfDefinedRows; ++r)
        for (int c = py::kBeginColumn; c <= py::kEndColumn; ++c)
            texts.cell(r, c) = grid_->item(r - 1, c)->text().trimmed().toStdString();
    const py::SelfDefinedCheck check = py::SelfDefinedOk(state_, ui_, calendar_, texts);
    if (check.ok()) {
        accept();
        return;
    }
    if (check.column == 0) return;
    // The cell at fault, with the edit box open over it.
    QTableWidgetItem* item = grid_->item(check.row - 1, check.column);
    grid_->setCurrentItem(item);
    grid_->scrollToItem(item);
    if (!editBox()) grid_->editItem(item);
    if (QLineEdit* box = editBox()) {
        box->setText(item->text());
        box->setFocus();
    }
}

}  // namespace vdx
