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

// The settings frmPyComp copies when it loads (sexDefined and
// lagDefined are not part of it).
struct PySettingsSnapshot {
    std::string birthColumn, entryColumn, exitColumn, sexColumn;
    int16_t sexCode1 = 0, sexCode2 = 0;
    bool bySex = false;
    bool ageSelfDefined = false, calendarSelfDefined = false;
    int16_t ageFrom = 0, ageTo = 0, ageStep = 0;
    int16_t calendarFrom = 0, calendarTo = 0, calendarStep = 0;
    int16_t ageBoundCount = 0, calendarBoundCount = 0;
    bool withLag = false;
    int16_t lagYears = 0;
    std::string hireColumn;
    std::vector<int16_t> AgeBounds, CalendarBounds;
    std::vector<FieldInfo> MainTableFields;
};

PySettingsSnapshot TakeSettingsSnapshot(const ProgramState& state);

// The dialog opens with what the user entered for a run that did not
// complete (PyEntries), when there is such an entry: it goes into the
// settings, where the dialog works on it (Cancel puts the snapshot back).
// computed and tableCount stay. False when there was none.
bool PutBackEnteredSettings(ProgramState& state);

// Puts the snapshot back. The bound lists come back as they were; a count
// that the list does not hold (settings of a file saved before any run keep
// their counts but no bounds) is cut to the bounds there are, so that every
// count equals the size of its list.
void RestoreSettingsSnapshot(ProgramState& state, const PySettingsSnapshot& snapshot);

// Compute > Person-Years: message 16 without a project file,
// 17 without a main data table (exclamation icon, title "VELDRIX"). True
// when the dialog may open.
bool PersonYearsCommandAllowed(ProgramState& state, Interaction& ui);

// A person-years run as asked for: the three date columns, and From, To
// and Step of each regular class series as typed. The dialog fills it from
// its boxes when Compute is pressed, veldrix-cli pyears from its arguments.
// Whether a series is self-defined, and the stratification by sex and the
// lag, are settings (ageSelfDefined, calendarSelfDefined, bySex, withLag)
// that the check boxes and the Sex, Lag and self-defined dialogs set.
struct PyRequest {
    std::string birthColumn, entryColumn, exitColumn;
    std::string ageFrom, ageTo, ageStep;
    std::string calendarFrom, calendarTo, calendarStep;
};

// The entry of a refused request that gets the focus.
enum class PyField {
    None,
    BirthColumn,
    EntryColumn,
    ExitColumn,
    AgeFrom,
    AgeTo,
    AgeStep,
    CalendarFrom,
    CalendarTo,
    CalendarStep
};

// Calendar bounds are years of four digits at most and no earlier than 100:
// the range in which a year reads back as itself.
inline constexpr int kFirstCalendarYear = 100;
inline constexpr int kLastCalendarYear = 9999;

struct PyCheck {
    int message = 0;  // 0: every check passed
    PyField focus = PyField::None;
    bool ok() const { return message == 0; }
};

// Whether `name` is a column of the main data table; names compare as the
// database engine compares them (letters in either case are the same).
bool IsMainTableColumn(const ProgramState& state, const std::string& name);
bool SameColumnName(const std::string& a, const std::string& b);
// The message for a typed column name that the main data table lacks:
// "There is no column 'X' in the main data table 'T'. ..."
std::string NoColumnText(const ProgramState& state, const std::string& name);

// The checks of Compute, in their order; they take the request into the
// settings. A failure shows its numbered message (critical icon, title
// "Error") and returns it with the entry that gets the focus; the values
// read before it stay in the settings.
// A typed date column that the main data table lacks is named (returned as
// message 5, 6 or 7 with the focus on its box). A From, To or Step box
// whose text does not begin with a digit is refused with its series'
// message (10 or 11) and the focus on it, never read as 0; one that holds a
// number that is not whole ("2.5") is refused with a text that says so
// (returned as 10 or 11): classes are whole years. The boxes of a
// self-defined list are greyed out in the dialog and neither read nor
// checked. Calendar bounds outside the years 100 to 9999 give message 11.
// On success the bound lists are ready for the run.
PyCheck CheckPyRequest(ProgramState& state, Interaction& ui, const PyRequest& request);

// The request the dialog shows on loading: the settings' columns, and the
// six From/To/Step values in decimal (so "0" when unset).
PyRequest PyRequestOnLoad(const ProgramState& state);

}  // namespace vdx::py
