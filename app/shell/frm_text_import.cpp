#include "frm_text_import.h"


#include <QButtonGroup>
#include <QItemSelectionModel>
#include <algorithm>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QComboBox* List(QWidget* parent, const char* name, const std::vector<std::string>& entries) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    for (const auto& e : entries) combo->addItem(Q(e));
    combo->setCurrentIndex(-1);
    return combo;
}

// Selects an entry by its text; no selection for "".
void Select(QComboBox* combo, const std::string& text) {
    combo->setCurrentIndex(text.empty() ? -1 : combo->findText(Q(text)));
}

}  // namespace

FrmTextImport::FrmTextImport(QWidget* parent, ProgramState& state, Interaction& ui)
    : QDialog(parent), form_(std::make_unique<exchange::TextImportForm>(state, ui)) {
    setObjectName("frmTextImport");
    setWindowTitle(form_->isCsv() ? exchange::kCsvImportCaption : exchange::kTextImportCaption);
    setModal(true);

    grid_ = new QTableWidget(this);
    grid_->setObjectName("GridTextImport");
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectColumns);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);  // several columns take one type
    grid_->setMinimumSize(560, 240);

    chkHeaders_ = new QCheckBox("Column &headers in first row", this);
    chkHeaders_->setObjectName("chkHeaders");

    auto* typeFrame = new QGroupBox("&Type:", this);
    auto* typeLayout = new QVBoxLayout(typeFrame);
    auto* group = new QButtonGroup(this);
    for (const auto& type : exchange::kTextColumnTypes) {
        auto* option = new QRadioButton(Q(type), typeFrame);
        option->setObjectName(Q("opt" + type));
        group->addButton(option);
        typeLayout->addWidget(option);
        options_.emplace_back(type, option);
        connect(option, &QRadioButton::toggled, this, [this, type](bool on) { typeChosen(type, on); });
    }

    auto* formatFrame = new QGroupBox("&Format:", this);
    auto* formatLayout = new QGridLayout(formatFrame);
    comDateFormat_ = List(formatFrame, "comDateFormat", form_->dateLayouts());
    comDay_ = List(formatFrame, "comDay", exchange::TextImportDays());
    comMonth_ = List(formatFrame, "comMonth", exchange::TextImportMonths());
    formatLayout->addWidget(comDateFormat_, 0, 0, 1, 2);
    auto* dayLabel = new QLabel("&Day:", formatFrame);
    dayLabel->setBuddy(comDay_);
    auto* monthLabel = new QLabel("&Month:", formatFrame);
    monthLabel->setBuddy(comMonth_);
    formatLayout->addWidget(dayLabel, 1, 0);
    formatLayout->addWidget(comDay_, 1, 1);
    formatLayout->addWidget(monthLabel, 2, 0);
    formatLayout->addWidget(comMonth_, 2, 1);
    formatLayout->setRowStretch(3, 1);

    btnImport_ = new QPushButton("Import", this);
    btnImport_->setObjectName("btnImport");
    btnImport_->setDefault(true);
    btnCancel_ = new QPushButton("Cancel", this);
    btnCancel_->setObjectName("btnCancel");
    btnCancel_->setAutoDefault(false);

    auto* side = new QVBoxLayout;
    side->addWidget(typeFrame);
    side->addWidget(formatFrame);
    side->addStretch();
    side->addWidget(btnImport_);
    side->addWidget(btnCancel_);
    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    if (form_->isCsv()) {
        comSeparator_ = new QComboBox(this);
        comSeparator_->setObjectName("comSeparator");
        for (const auto& [text, separator] : separatorChoices()) {
            comSeparator_->addItem(text);
            if (separator == form_->separator()) comSeparator_->setCurrentIndex(comSeparator_->count() - 1);
        }
        auto* separatorLabel = new QLabel("&Separator:", this);
        separatorLabel->setBuddy(comSeparator_);
        auto* separatorRow = new QHBoxLayout;
        separatorRow->addWidget(separatorLabel);
        separatorRow->addWidget(comSeparator_);
        separatorRow->addStretch();
        left->addLayout(separatorRow);
        connect(comSeparator_, &QComboBox::activated, this, [this, &ui](int index) {
            if (index < 0) return;
            try {
                form_->setSeparator(separatorChoices()[static_cast<size_t>(index)].second);
            } catch (const VdxError& e) {
                // Not readable this way (a record of too many fields): the
                // dialog keeps the separator it had.
                ShowGeneralError(ui, e.number(), e.description());
                for (size_t i = 0; i < separatorChoices().size(); ++i)
                    if (separatorChoices()[i].second == form_->separator()) comSeparator_->setCurrentIndex(static_cast<int>(i));
                return;
            }
            showing_ = true;
            chkHeaders_->setChecked(form_->headers());
            showing_ = false;
            showGrid();
            showControls();
            showProposalNotice();
        });
    }
    left->addWidget(grid_, 1);
    // What the proposal of the types could not settle (values that are not dates).
    lblProposal_ = new QLabel(this);
    lblProposal_->setObjectName("lblProposal");
    lblProposal_->setWordWrap(true);
    lblProposal_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblProposal_->setStyleSheet("color: #a00000;");
    lblProposal_->hide();
    left->addWidget(lblProposal_);
    left->addWidget(chkHeaders_);
    top->addLayout(left, 1);
    top->addLayout(side);
    setLayout(top);

    // The dialog starts with what the data suggest; every choice stays the user's.
    form_->proposeFromData();
    chkHeaders_->setChecked(form_->headers());
    showProposalNotice();

    connect(chkHeaders_, &QCheckBox::toggled, this, [this](bool on) {
        if (showing_) return;
        form_->setHeaders(on);
        showGrid();
    });
    connect(grid_, &QTableWidget::cellClicked, this, [this](int, int column) { clickColumn(column + 1); });
    connect(grid_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { clickColumn(column + 1); });
    connect(grid_, &QTableWidget::itemSelectionChanged, this, &FrmTextImport::selectionChanged);
    connect(comDateFormat_, &QComboBox::activated, this, [this](int index) {
        if (index < 0) return;
        form_->chooseDateLayout(comDateFormat_->itemText(index).toStdString());
        showGrid();
        showControls();
    });
    connect(comDay_, &QComboBox::activated, this, [this](int index) {
        form_->chooseDay(comDay_->itemText(index).toStdString());
        showGrid();
    });
    connect(comMonth_, &QComboBox::activated, this, [this](int index) {
        form_->chooseMonth(comMonth_->itemText(index).toStdString());
        showGrid();
    });
    connect(btnImport_, &QPushButton::clicked, this, &FrmTextImport::importClicked);
    connect(btnCancel_, &QPushButton::clicked, this, &FrmTextImport::reject);

    showGrid();
    showControls();
}

FrmTextImport::~FrmTextImport() = default;

void FrmTextImport::showProposalNotice() {
    lblProposal_->setText(Q(form_->proposalNotice()));
    lblProposal_->setVisible(!form_->proposalNotice().empty());
}

const std::vector<std::pair<const char*, char>>& FrmTextImport::separatorChoices() {
    static const std::vector<std::pair<const char*, char>> choices = {
        {"Comma", ','}, {"Semicolon", ';'}, {"Tab", '\t'}};
    return choices;
}

void FrmTextImport::showGrid() {
    const auto header = form_->headerRow();
    const auto rows = form_->rows();
    grid_->clear();
    grid_->setColumnCount(form_->columnCount());
    grid_->setRowCount(static_cast<int>(rows.size()));
    QStringList labels;
    for (const auto& h : header) labels << Q(h);
    grid_->setHorizontalHeaderLabels(labels);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < form_->columnCount(); ++c)
            grid_->setItem(r, c, new QTableWidgetItem(Q(rows[static_cast<size_t>(r)][static_cast<size_t>(c)])));
    grid_->resizeColumnsToContents();
    // The selected columns are shown selected from the first row to the last.
    showing_ = true;
    grid_->clearSelection();
    for (int c : form_->selectedColumns())
        grid_->selectionModel()->select(grid_->model()->index(0, c - 1),
                                        QItemSelectionModel::Select | QItemSelectionModel::Columns);
    showing_ = false;
}

void FrmTextImport::selectionChanged() {
    if (showing_) return;
    std::vector<int> columns;
    for (const QModelIndex& c : grid_->selectionModel()->selectedColumns()) columns.push_back(c.column() + 1);
    std::sort(columns.begin(), columns.end());
    if (columns.empty()) return;
    form_->selectColumns(columns);
    showControls();
}

void FrmTextImport::showControls() {
    const exchange::TextImportForm::Controls shown = form_->controls();
    showing_ = true;
    for (auto& [type, option] : options_) option->setChecked(type == shown.type);
    comDateFormat_->setEnabled(shown.layoutEnabled);
    Select(comDateFormat_, shown.layout);
    comDay_->setEnabled(shown.dayMonthEnabled);
    comMonth_->setEnabled(shown.dayMonthEnabled);
    Select(comDay_, shown.day);
    Select(comMonth_, shown.month);
    showing_ = false;
}

void FrmTextImport::typeChosen(const std::string& type, bool on) {
    if (showing_ || !on || form_->columnCount() == 0) return;
    form_->chooseType(type);
    showGrid();  // the preview shows the fields as the new type stores them
    showControls();
}

void FrmTextImport::clickColumn(int c) {
    if (c < 1 || c > form_->columnCount()) return;
    // Ctrl or Shift adds to the selection; selectionChanged has taken it.
    if (QGuiApplication::keyboardModifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) return;
    form_->clickColumn(c);
    showGrid();
    showControls();
}

void FrmTextImport::importClicked() {
    if (form_->import()) accept();
}

void FrmTextImport::reject() {
    form_->cancel();
    QDialog::reject();
}

}  // namespace vdx
