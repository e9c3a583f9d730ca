#include "compute_rows.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace vdx {

QComboBox* NamedList(QWidget* parent, const char* name, const std::vector<std::string>& entries, int selected) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setMinimumWidth(170);
    for (const auto& e : entries) combo->addItem(QString::fromStdString(e));
    combo->setCurrentIndex(selected);
    return combo;
}

QLabel* BuddyLabel(QWidget* parent, const char* caption, QWidget* buddy) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

CaptionedRows::CaptionedRows(QWidget* parent, QGridLayout* grid)
    : parent_(parent), grid_(grid ? grid : new QGridLayout) {
    grid_->setColumnStretch(1, 1);
}

QLabel* CaptionedRows::add(const char* caption, QWidget* widget) {
    QLabel* label = BuddyLabel(parent_, caption, widget);
    add(label, widget);
    return label;
}

void CaptionedRows::add(QWidget* caption, QWidget* widget) {
    grid_->addWidget(caption, row_, 0);
    grid_->addWidget(widget, row_++, 1);
}

void CaptionedRows::add(QWidget* caption, QLayout* layout) {
    grid_->addWidget(caption, row_, 0);
    grid_->addLayout(layout, row_++, 1);
}

QComboBox* SignificanceLevelList(QWidget* parent, const mortality::SmrChoices& choices) {
    return NamedList(parent, "comSigLevel", choices.levels, choices.defaultLevel);
}

QComboBox* MethodList(QWidget* parent, const mortality::SmrChoices& choices) {
    return NamedList(parent, "comMethod", choices.methods, choices.defaultMethod);
}

QHBoxLayout* ComputeCancelRow(QWidget* dialog, QPushButton*& compute, QPushButton*& cancel, const char* caption) {
    compute = new QPushButton(caption, dialog);
    compute->setObjectName("btnCompute");
    compute->setDefault(true);
    cancel = new QPushButton("Cancel", dialog);
    cancel->setObjectName("btnCancel");
    cancel->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(compute);
    row->addWidget(cancel);
    return row;
}

}  // namespace vdx
