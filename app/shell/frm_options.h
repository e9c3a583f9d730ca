// Tools > Options: the dialog frmOptions ("Options") with the tabs "SMR"
// (null value, the report heading, the SMR data export) and "Calculator"
// (the SMR calculator's default level and method), and the dialog
// frmOptionsSMRReport that sets the SMR report's heading.
#pragma once

#include <QDialog>

#include "settings_store.h"
#include "state/interaction.h"
#include "state/state.h"

class QComboBox;
class QMainWindow;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace vdx {


// The SMR calculator's defaults, kept in the settings (section "Calculator",
// keys "DefaultLevel" holding "90", "95" or "99" and "DefaultMethod" holding
// a method as shown, e.g. "Chi Square"). -1 where none is kept.
struct CalculatorDefaults {
    int levelIndex = -1;   // into mortality::kCalculatorLevels
    int methodIndex = -1;  // into kIntervalMethods
};
CalculatorDefaults ReadCalculatorDefaults(const SettingsStore& store);
// What the calculator starts with: the defaults kept, 95 % and Exact where
// none is kept.
CalculatorDefaults CalculatorStartValues(const CalculatorDefaults& kept);
void WriteCalculatorDefaults(SettingsStore& store, const CalculatorDefaults& defaults);

class FrmOptions : public QDialog {
    Q_OBJECT
public:
    FrmOptions(QWidget* parent, ProgramState& state, Interaction& ui, SettingsStore& settings);

    // Ok: the null value into the state, the calculator defaults into the
    // settings; closes the dialog.
    void ok();
    void openReportOptions();

private:
    ProgramState& state_;
    Interaction& ui_;
    SettingsStore& settings_;
    QTabWidget* tabs_;
    QRadioButton *optSMR1_, *optSMR100_;
    QPushButton *btnReport_, *btnDataExport_;
    QComboBox *cboDefaultLevelCalc_, *cboDefaultMethodCalc_;
};

class FrmOptionsSMRReport : public QDialog {
    Q_OBJECT
public:
    // Shows the heading stored in the working copy.
    FrmOptionsSMRReport(QWidget* parent, ProgramState& state, Interaction& ui);
    // Ok: stores the heading and closes; a failure shows the general error
    // message and leaves the dialog open.
    void ok();

private:
    ProgramState& state_;
    Interaction& ui_;
    QLineEdit* txtHeading_;
};

// Tools > Options (mnuToolsOptions). After Ok a report on view is built
// again with the new null value.
void MenuToolsOptions(QMainWindow* window);

}  // namespace vdx
