#include "frm_smr_calculator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>
#include <optional>

#include "report/report_output.h"
#include "main_window.h"
#include "report_font.h"
#include "report_printer.h"
#include "state/errors.h"
#include "state/messages.h"

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const QColor kValueColour(0, 0, 255);

int LevelIndexOfAlpha(const std::string& alpha) {
    if (alpha == "0.10") return mortality::CalculatorLevelIndex("90");
    if (alpha == "0.05") return mortality::CalculatorLevelIndex("95");
    if (alpha == "0.01") return mortality::CalculatorLevelIndex("99");
    return -1;
}

// Whether byte k of the result's text is one of its coloured values.
bool IsBlue(const mortality::CalculatorResult& r, size_t k) {
    for (const auto& range : r.blue)
        if (k >= range.start && k < range.start + range.length) return true;
    return false;
}

}  // namespace

FrmSMRCalculator::FrmSMRCalculator(QWidget* parent, const ProgramState& state, Interaction& ui,
                                   const CalculatorDefaults& defaults)
    : QDialog(parent), state_(state), ui_(ui), printer_(QPrinter::HighResolution) {
    setObjectName("frmSMRCalculator");
    setWindowTitle("SMR Calculator");
    setModal(true);

    txtObserved_ = new QLineEdit(this);
    txtObserved_->setObjectName("txtObserved");
    txtExpected_ = new QLineEdit(this);
    txtExpected_->setObjectName("txtExpected");
    cmboCI_ = new QComboBox(this);
    cmboCI_->setObjectName("cmboCI");
    for (int level : mortality::kCalculatorLevels) cmboCI_->addItem(QString::number(level));
    auto* observedLabel = new QLabel("&Observed number:", this);
    observedLabel->setBuddy(txtObserved_);
    auto* expectedLabel = new QLabel("&Expected number:", this);
    expectedLabel->setBuddy(txtExpected_);
    auto* levelLabel = new QLabel("% &CI", this);
    levelLabel->setBuddy(cmboCI_);

    auto* methods = new QGroupBox("Method:", this);
    auto* methodColumn = new QVBoxLayout(methods);
    for (size_t m = 0; m < kIntervalMethods.size(); ++m) {
        const QString name = IntervalMethodName(kIntervalMethods[m]);
        auto* box = new QCheckBox(name, methods);
        box->setObjectName("chk" + QString(name).remove(' '));
        methodColumn->addWidget(box);
        methodBoxes_[m] = box;
    }

    cmdCalculate_ = new QPushButton("C&alculate", this);
    cmdCalculate_->setObjectName("cmdCalculate");
    cmdCalculate_->setDefault(true);
    cmdPrint_ = new QPushButton("&Print", this);
    cmdPrint_->setObjectName("cmdPrint");
    cmdPrint_->setAutoDefault(false);
    cmdSave_ = new QPushButton("&Save", this);
    cmdSave_->setObjectName("cmdSave");
    cmdSave_->setAutoDefault(false);

    txtOutput_ = new QTextEdit(this);
    txtOutput_->setObjectName("txtOutput");
    txtOutput_->setReadOnly(true);
    txtOutput_->setFont(ReportFont());
    txtOutput_->setMinimumSize(540, 300);

    auto* inputs = new QGridLayout;
    inputs->addWidget(observedLabel, 0, 0);
    inputs->addWidget(txtObserved_, 0, 1);
    inputs->addWidget(expectedLabel, 1, 0);
    inputs->addWidget(txtExpected_, 1, 1);
    inputs->addWidget(levelLabel, 2, 0);
    inputs->addWidget(cmboCI_, 2, 1);
    inputs->setRowStretch(3, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdCalculate_);
    buttons->addWidget(cmdPrint_);
    buttons->addWidget(cmdSave_);
    buttons->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(inputs, 1);
    top->addWidget(methods);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(txtOutput_, 1);

    // The start values.
    const MortalityResults& shown = state_.mortality;
    int level = -1, method = -1;
    if (state_.CurrentResult == "Smr") {
        txtExpected_->setText(Q(shown.ShownExpected));
        txtObserved_->setText(Q(shown.ShownObserved));
        level = LevelIndexOfAlpha(shown.ShownAlpha);
        method = mortality::CalculatorMethodIndex(shown.ShownMethod);
    } else {
        const CalculatorDefaults start = CalculatorStartValues(defaults);
        level = start.levelIndex;
        method = start.methodIndex;
    }
    cmboCI_->setCurrentIndex(level);
    if (method >= 0) methodBoxes_[method]->setChecked(true);

    connect(cmdCalculate_, &QPushButton::clicked, this, &FrmSMRCalculator::calculate);
    connect(cmdPrint_, &QPushButton::clicked, this, &FrmSMRCalculator::print);
    connect(cmdSave_, &QPushButton::clicked, this, &FrmSMRCalculator::save);
}

mortality::CalculatorInput FrmSMRCalculator::input() const {
    mortality::CalculatorInput in;
    in.observed = txtObserved_->text().toStdString();
    in.expected = txtExpected_->text().toStdString();
    in.levelIndex = cmboCI_->currentIndex();
    for (size_t m = 0; m < methodBoxes_.size(); ++m) in.methods[m] = methodBoxes_[m]->isChecked();
    in.nullValue = state_.SmrNullValue;
    return in;
}

void FrmSMRCalculator::calculate() {
    mortality::CalculatorResult r;
    std::optional<VdxError> failure;
    {
        BusyPointer busy(ui_);
        try {
            r = mortality::CalculateSmr(input());
        } catch (const VdxError& e) {
            failure = e;
        }
    }
    // The pointer is back to normal before a message shows.
    if (failure) return ShowGeneralError(ui_, failure->number(), failure->description());
    if (r.message) return void(ui_.message(r.messageText(), Buttons::Ok, Icon::Critical, "Error"));
    result_ = std::move(r);
    showResult();
}

void FrmSMRCalculator::showResult() {
    // One paragraph per line; the banner's paragraphs centred, the values blue.
    const std::string& text = result_.text;
    txtOutput_->clear();
    QTextCursor cursor(txtOutput_->document());
    QTextCharFormat plain;
    plain.setFont(ReportFont());
    QTextCharFormat blue = plain;
    blue.setForeground(kValueColour);
    size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        QTextBlockFormat block;
        block.setAlignment(start < mortality::CalculatorResult::kCentredChars ? Qt::AlignHCenter : Qt::AlignLeft);
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block);
        first = false;
        for (size_t k = start; k < end;) {
            const bool isBlue = IsBlue(result_, k);
            size_t runEnd = k;
            while (runEnd < end && IsBlue(result_, runEnd) == isBlue) ++runEnd;
            cursor.insertText(Q(text.substr(k, runEnd - k)), isBlue ? blue : plain);
            k = runEnd;
        }
        if (end == text.size()) break;
        start = end + 2;
    }
}

void FrmSMRCalculator::print() {
    QtReportPrinter printer(this, printer_, *txtOutput_->document());
    report::PrintReport(ui_, printer);
}

void FrmSMRCalculator::save() {
    report::ReportText report{result_.text, mortality::CalculatorResult::kCentredChars, {}};
    for (const auto& range : result_.blue) report.spans.push_back({range.start, range.length, rtf::kBlue});
    report::SaveReportAs(ui_, "*.rtf", report);
}

void MenuToolsSMRCalculator(QMainWindow* mainWindow) {
    auto* window = qobject_cast<MainWindow*>(mainWindow);
    if (!window) return;
    FrmSMRCalculator dialog(window, window->state(), window->ui(), ReadCalculatorDefaults(window->settings()));
    dialog.exec();
}

}  // namespace vdx
