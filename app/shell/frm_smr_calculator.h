// Tools > SMR Calculator: the dialog frmSMRCalculator ("SMR Calculator").
// It reads its controls into mortality::CalculateSmr and shows the text it
// returns, the banner centred and the values blue; Print and Save send that
// text to a printer or to an RTF or text file.
#pragma once

#include <QDialog>
#include <QPrinter>
#include <array>

#include "frm_options.h"
#include "mortality/smr_calculator.h"
#include "state/interaction.h"
#include "state/state.h"

class QCheckBox;
class QComboBox;
class QMainWindow;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace vdx {


class FrmSMRCalculator : public QDialog {
    Q_OBJECT
public:
    // With an SMR report on view the dialog starts with its numbers, level
    // and method; otherwise with the defaults of the Options dialog, and
    // without them 95 % and Exact.
    FrmSMRCalculator(QWidget* parent, const ProgramState& state, Interaction& ui,
                     const CalculatorDefaults& defaults);

    mortality::CalculatorInput input() const;
    const mortality::CalculatorResult& result() const { return result_; }
    // The printer Print uses; it keeps the choices of the print dialog.
    QPrinter& printer() { return printer_; }

    void calculate();
    void print();
    void save();

private:
    void showResult();

    const ProgramState& state_;
    Interaction& ui_;
    mortality::CalculatorResult result_;
    QPrinter printer_;

    QLineEdit *txtObserved_, *txtExpected_;
    QComboBox* cmboCI_;
    std::array<QCheckBox*, 5> methodBoxes_{};
    QPushButton *cmdCalculate_, *cmdPrint_, *cmdSave_;
    QTextEdit* txtOutput_;
};

// Tools > SMR Calculator (mnuToolsSMRCalculator); works without a project file.
void MenuToolsSMRCalculator(QMainWindow* window);

}  // namespace vdx
