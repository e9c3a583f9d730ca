// The dialogs frmSex (the stratification by sex) and frmLag (the lag after
// the date of hire) without their widgets. Each has an Ok button and is
// closed either by a successful Ok or by the window's close box.
#pragma once

#include <string>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::py {

enum class DefinitionOk {
    Confirmed,          // the definition is complete; the dialog closes
    ClosedUnconfirmed,  // Ok with no column chosen; the dialog closes
    StayOpen,           // a message was shown; the dialog stays open
};

// frmSex's values box on loading: varSex1 "," varSex2 ("0,0" for a new file).
std::string SexValuesText(const PySettings& py);

// frmSex's Ok: varSEX takes the column, which must be a numeric column of
// the main data table (message 25, also for a name that is no column); the
// values text must hold two numbers from 0 to 32767 separated by a comma,
// and they must differ (messages 24 to 27, critical icon, title "Error").
DefinitionOk SexOk(ProgramState& state, Interaction& ui, const std::string& comSex,
                   const std::string& txtSexValues);

// frmSex closes: confirmed during this opening sets varSexStatus; otherwise
// the stratification by sex is switched off (chkSex unchecked, blnSex
// false) and varSexStatus becomes false.
void SexDialogClosed(ProgramState& state, bool confirmed);

// frmLag's Ok: varDOH takes the column, which must be a date column of the
// main data table (message 14, also for a name that is no column); the lag
// must be a number that rounds to 0 .. 100 years (message 15).
DefinitionOk LagOk(ProgramState& state, Interaction& ui, const std::string& comLag,
                   const std::string& txtLagValue);

// frmLag closes: as SexDialogClosed with blnLag and varLagStatus.
void LagDialogClosed(ProgramState& state, bool confirmed);

}  // namespace vdx::py
