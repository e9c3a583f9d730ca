// The death value of the dialogs that count the deaths of one value (Rate
// ratios, SMR by category): a code or a group of codes (optDeathCodes,
// txtDeathValue) or a cause of a cause list (optDeathCause, comCauseList,
// comCause), its deaths read by ICD revision as Compute > SMR for a cause
// list reads them.
#pragma once

#include <string>

#include "state/interaction.h"
#include "state/state.h"

class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QRadioButton;
class QWidget;

namespace vdx {

class DeathValueChoice {
public:
    // Offers the study's cause lists and the default one; a list that does
    // not read, or has no cause, is not offered (Compute > SMR for a cause
    // list names its fault).
    DeathValueChoice(QWidget* parent, const ProgramState& state);

    // The two rows of a dialog: the codes' button and text, the cause's
    // button and its row (the list, the cause).
    QRadioButton* codesButton() const { return codes_; }
    QLineEdit* codesText() const { return text_; }
    QRadioButton* causeButton() const { return cause_; }
    QHBoxLayout* causeRow() const { return causeRow_; }

    // The choice in a request's fields: the code text, or the list and the
    // cause (the other left empty).
    void read(std::string& deathValueText, std::string& causeList, std::string& cause) const;
    // Says what is missing, with the focus on it, and answers true; false
    // when the choice is complete.
    bool refusedAsIncomplete(Interaction& ui) const;

private:
    QRadioButton *codes_, *cause_;
    QLineEdit* text_;
    QComboBox *lists_, *causes_;
    QHBoxLayout* causeRow_;
};

}  // namespace vdx
