#include "py/sex_lag.h"

#include <algorithm>
#include <cctype>

#include "state/errors.h"
#include "state/messages.h"
#include "state/text_values.h"

namespace vdx::py {

namespace {

DefinitionOk StayOpen(Interaction& ui, int message) {
    ui.message(Message(message), Buttons::Ok, Icon::Critical, "Error");
    return DefinitionOk::StayOpen;
}

// Column names compare as the database engine compares them: letters in
// either case are the same.
bool SameColumnName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The column is no column of the main data table, or one not of this type.
// A name that is no column is caught here, in its dialog, rather than by
// the run after Compute.
bool NamesColumnNotOfType(const ProgramState& state, const std::string& name, const char* type) {
    for (const auto& f : state.MainTableFields)
        if (SameColumnName(f.name, name)) return f.type != type;
    return true;
}

// One sex code: not numeric gives message 26, outside 0..32767 message 27.
DefinitionOk ReadSexCode(Interaction& ui, const std::string& text, int16_t& code) {
    const auto number = ReadNumber(text);
    if (!number) return StayOpen(ui, 26);
    if (*number < 0 || *number > 32767) return StayOpen(ui, 27);
    code = RoundToInt16(*number);
    return DefinitionOk::Confirmed;
}

}  // namespace

std::string SexValuesText(const PySettings& py) {
    return std::to_string(py.varSex1) + "," + std::to_string(py.varSex2);
}

DefinitionOk SexOk(ProgramState& state, Interaction& ui, const std::string& comSex,
                   const std::string& txtSexValues) {
    PySettings& p = state.py;
    p.varSEX = comSex;
    if (p.varSEX.empty()) return DefinitionOk::ClosedUnconfirmed;
    const auto comma = txtSexValues.find(',');
    if (comma == std::string::npos) return StayOpen(ui, 24);
    if (NamesColumnNotOfType(state, comSex, "numeric")) return StayOpen(ui, 25);
    if (ReadSexCode(ui, txtSexValues.substr(0, comma), p.varSex1) != DefinitionOk::Confirmed)
        return DefinitionOk::StayOpen;
    if (ReadSexCode(ui, txtSexValues.substr(comma + 1), p.varSex2) != DefinitionOk::Confirmed)
        return DefinitionOk::StayOpen;
    if (p.varSex1 == p.varSex2) return StayOpen(ui, 27);
    return DefinitionOk::Confirmed;
}

void SexDialogClosed(ProgramState& state, bool confirmed) {
    state.py.varSexStatus = confirmed;
    if (!confirmed) state.py.blnSex = false;
}

DefinitionOk LagOk(ProgramState& state, Interaction& ui, const std::string& comLag,
                   const std::string& txtLagValue) {
    PySettings& p = state.py;
    p.varDOH = comLag;
    if (p.varDOH.empty()) return DefinitionOk::ClosedUnconfirmed;
    if (NamesColumnNotOfType(state, comLag, "date")) return StayOpen(ui, 14);
    const auto number = ReadNumber(txtLagValue);
    if (!number) return StayOpen(ui, 15);
    int16_t lag = 0;
    try {
        lag = RoundToInt16(*number);
    } catch (const VdxError&) {
        return StayOpen(ui, 15);  // beyond 16 bits: out of range as well
    }
    p.varLag = lag;
    if (lag < 0 || lag > 100) return StayOpen(ui, 15);
    return DefinitionOk::Confirmed;
}

void LagDialogClosed(ProgramState& state, bool confirmed) {
    state.py.varLagStatus = confirmed;
    if (!confirmed) state.py.blnLag = false;
}

}  // namespace vdx::py
