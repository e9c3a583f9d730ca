// The dialogs frmSex (the stratification by sex) and frmLag (the lag after
// the date of hire) without their widgets. Each has an Ok button and is
// closed either by a successful Ok or by the window's close box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::py {

enum class DefinitionOk {
    Confirmed,  // the definition is complete; the dialog closes
    StayOpen,   // a message was shown; the dialog stays open
};

// frmSex's values box on loading: sexCode1 "," sexCode2 ("0,0" for a new file).
std::string SexValuesText(const PySettings& py);

// The codes of a sex column and how many rows hold each, the most frequent
// first (equal counts: the smaller code first). Only whole numbers from 0
// to 32767 count as codes; empty values and others are left out.
struct SexCode {
    int code = 0;
    int64_t rows = 0;
    bool operator==(const SexCode&) const = default;
};
std::vector<SexCode> SexCodesFound(const ProgramState& state, const std::string& column);

// What frmSex proposes for a column whose codes are `found`: the two most
// frequent codes, the smaller first ("1,2"); nullopt with fewer than two.
std::optional<std::string> ProposedSexValues(const std::vector<SexCode>& found);

// The hint below the values: the codes found and which table each code
// makes ("1 (120 rows), 2 (80 rows). The first code makes the table
// Age*Calendar*Sex=1, the second Age*Calendar*Sex=2.").
std::string SexCodesHint(const std::string& column, const std::vector<SexCode>& found,
                         const std::string& valuesText);

// frmSex's Ok: sexColumn takes the column. No column chosen is refused with a
// message that says so; a name that is no column of the main data table is
// named; the column must be numeric (message 25); the values text must hold
// two numbers from 0 to 32767 separated by a comma, and they must differ
// (messages 24 to 27). Every message has the critical icon and the title
// "Error"; the dialog then stays open.
DefinitionOk SexOk(ProgramState& state, Interaction& ui, const std::string& column,
                   const std::string& codesText);

// What frmSex (frmLag) changes, taken when it opens: Cancel, Escape and the
// close box put it back and leave the check box and its status as they were.
struct SubDialogEntries {
    std::string column;
    int16_t first = 0, second = 0;  // the sex codes; the lag in `first`
};
SubDialogEntries TakeSexEntries(const PySettings& py);
SubDialogEntries TakeLagEntries(const PySettings& py);

// frmSex closes: confirmed during this opening sets sexDefined; otherwise
// sexColumn, sexCode1 and sexCode2 return to what they were on opening and the
// stratification by sex (bySex, sexDefined) stays as it was.
void SexDialogClosed(ProgramState& state, bool confirmed, const SubDialogEntries& onOpening);

// frmLag's Ok: hireColumn takes the column, which must be chosen (a message
// says so), be a column of the main data table (named otherwise) and a
// date column (message 14); the lag must be a number that rounds to
// 0 .. 100 years (message 15).
DefinitionOk LagOk(ProgramState& state, Interaction& ui, const std::string& column,
                   const std::string& yearsText);

// frmLag closes: as SexDialogClosed with hireColumn, lagYears and lagDefined.
void LagDialogClosed(ProgramState& state, bool confirmed, const SubDialogEntries& onOpening);

}  // namespace vdx::py
