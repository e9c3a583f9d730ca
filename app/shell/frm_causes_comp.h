// Compute > SMR for a cause list: the dialog frmCausesComp and the menu
// command; Tables > ICD revisions: the dialog frmRevisions. The dialogs only
// fill and read their controls; the run is mortality::RunCauses, the same
// request veldrix-cli causes fills.
#pragma once

#include <QDialog>
#include <QGroupBox>

#include "mortality/cause_list.h"
#include "state/interaction.h"
#include "state/state.h"

class QComboBox;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QRadioButton;

namespace vdx {

// How deaths are read in ICD revisions: the years each revision starts
// ("7:1958,8:1968,9:1979,10:1999"), or a column of the main table.
class RevisionBox : public QGroupBox {
    Q_OBJECT
public:
    RevisionBox(QWidget* parent, const mortality::RevisionRule& rule, const std::vector<std::string>& columns);
    // The rule shown; none (with the reason in `why`) for years that do not read.
    std::optional<mortality::RevisionRule> rule(std::string& why) const;

private:
    QRadioButton *optYears_, *optColumn_;
    QLineEdit* txtYears_;
    QComboBox* comColumn_;
};

class FrmCausesComp : public QDialog {
    Q_OBJECT
public:
    // Loads the lists (the study's cause lists and "default", the tables, the
    // study's revision rule).
    FrmCausesComp(QWidget* parent, const ProgramState& state, Interaction& ui);
    mortality::CausesRequest request() const;
    // Compute: revision years that do not read are refused (the dialog stays
    // open); otherwise the dialog closes accepted.
    void compute();

private:
    const ProgramState& state_;
    Interaction& ui_;
    QComboBox *comList_, *comDTH_, *comRateTable_, *comPyTable_, *comSigLevel_, *comMethod_;
    QLineEdit* txtName_;
    RevisionBox* revisions_;
    QPushButton *btnCompute_, *btnCancel_;
};

// Compute > SMR for a cause list (mnuComputeCauses): the dialog, the run,
// then the new analysis's table of causes on view.
void MenuComputeCauses(QMainWindow* window);

// Tables > ICD revisions (mnuTablesRevisions): the study's rule shown and,
// after Ok, kept in the project file.
void MenuRevisions(QMainWindow* window);

}  // namespace vdx
