// The dialog frmPyComp ("Person-Years Computation") without its widgets:
// the settings snapshot it takes on loading and puts back on Cancel, the
// checks of its Compute button, and the preconditions of the menu command
// Compute > Person-Years. The dialog changes the settings in the program
// state directly while the user works; Cancel restores the snapshot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::py {

// The settings frmPyComp copies when it loads (varSexStatus and
// varLagStatus are not part of it).
struct PySettingsSnapshot {
    std::string varDOB, varEPS, varTPS, varSEX;
    int16_t varSex1 = 0, varSex2 = 0;
    bool blnSex = false;
    bool blnAgeSelfDefined = false, blnCalendarSelfDefined = false;
    int16_t varAgeFrom = 0, varAgeTo = 0, varAgeStep = 0;
    int16_t varCalendarFrom = 0, varCalendarTo = 0, varCalendarStep = 0;
    int16_t maxAgeClass = 0, maxYearClass = 0;
    bool blnLag = false;
    int16_t varLag = 0;
    std::string varDOH;
    std::vector<int16_t> AgeBounds, CalendarBounds;
    std::vector<FieldInfo> MainTableFields;
};

PySettingsSnapshot TakeSettingsSnapshot(const ProgramState& state);

// The dialog opens with what the user entered for a run that did not
// complete (PyEntries), when there is such an entry: it goes into the
// settings, where the dialog works on it (Cancel puts the snapshot back).
// blnPersonYears and intAnzahlTables stay. False when there was none.
bool PutBackEnteredSettings(ProgramState& state);

// Puts the snapshot back. The bound lists come back as they were; a count
// that the list does not hold (settings of a file saved before any run keep
// their counts but no bounds) is cut to the bounds there are, so that every
// count equals the size of its list.
void RestoreSettingsSnapshot(ProgramState& state, const PySettingsSnapshot& snapshot);

// Compute > Person-Years (mnuComputePY): message 16 without a project file,
// 17 without a main data table (exclamation icon, title "VELDRIX"). True
// when the dialog may open.
bool PersonYearsCommandAllowed(ProgramState& state, Interaction& ui);

// What the dialog holds when Compute is pressed. The check boxes chkAge and
// chkCalendar are the settings blnAgeSelfDefined and blnCalendarSelfDefined,
// which their click handlers keep up to date.
struct PyCompForm {
    std::string comDOB, comEPS, comTPS;
    std::string txtAgeFrom, txtAgeTo, txtAgeStep;
    std::string txtCalendarFrom, txtCalendarTo, txtCalendarStep;
};

enum class PyCompControl {
    None,
    comDOB,
    comEPS,
    comTPS,
    txtAgeFrom,
    txtAgeTo,
    txtAgeStep,
    txtCalendarFrom,
    txtCalendarTo,
    txtCalendarStep
};

// Calendar bounds are years of four digits at most and no earlier than 100:
// the range in which a year reads back as itself.
inline constexpr int kFirstCalendarYear = 100;
inline constexpr int kLastCalendarYear = 9999;

struct PyCompCheck {
    int message = 0;  // 0: every check passed
    PyCompControl focus = PyCompControl::None;
    bool ok() const { return message == 0; }
};

// Whether `name` is a column of the main data table; names compare as the
// database engine compares them (letters in either case are the same).
bool IsMainTableColumn(const ProgramState& state, const std::string& name);
bool SameColumnName(const std::string& a, const std::string& b);
// The message for a typed column name that the main data table lacks:
// "There is no column 'X' in the main data table 'T'. ..."
std::string NoColumnText(const ProgramState& state, const std::string& name);

// The checks of cmdCompute, in their order. A failure shows its numbered
// message (critical icon, title "Error") and returns it with the control
// that gets the focus; the values read before it stay in the settings.
// A typed date column that the main data table lacks is named (returned as
// message 5, 6 or 7 with the focus on its box). A From, To or Step box
// whose text does not begin with a digit is refused with its series'
// message (10 or 11) and the focus on it, never read as 0; one that holds a
// number that is not whole ("2.5") is refused with a text that says so
// (returned as 10 or 11): classes are whole years. The boxes of a
// self-defined list are greyed out in the dialog and neither read nor
// checked. Calendar bounds outside the years 100 to 9999 give message 11.
// On success the bound lists are ready for the run.
PyCompCheck CheckPyCompute(ProgramState& state, Interaction& ui, const PyCompForm& form);

// The texts the dialog shows on loading: the six From/To/Step boxes in
// decimal (so "0" when unset).
PyCompForm PyCompFormOnLoad(const ProgramState& state);

}  // namespace vdx::py
