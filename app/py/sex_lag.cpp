#include "py/sex_lag.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "db/database.h"
#include "db/field_number.h"
#include "db/table_stream.h"
#include "py/py_comp.h"

#include "state/errors.h"
#include "state/messages.h"
#include "state/text_values.h"

namespace vdx::py {

using db::TableStream;

namespace {

DefinitionOk StayOpen(Interaction& ui, const std::string& text) {
    ui.message(text, Buttons::Ok, Icon::Critical, "Error");
    return DefinitionOk::StayOpen;
}

DefinitionOk StayOpen(Interaction& ui, int message) { return StayOpen(ui, Message(message)); }

// The type of the column of the main data table named `name` ("" when the
// table has no such column).
std::optional<std::string> ColumnType(const ProgramState& state, const std::string& name) {
    for (const auto& f : state.MainTableFields)
        if (SameColumnName(f.name, name)) return f.type;
    return std::nullopt;
}

// One sex code: not numeric gives message 26, outside 0..32767 message 27.
DefinitionOk ReadSexCode(Interaction& ui, const std::string& text, int16_t& code) {
    const auto number = ReadNumber(text);
    if (!number) return StayOpen(ui, msg::SexValuesNotNumeric);
    if (*number < 0 || *number > 32767) return StayOpen(ui, msg::SexValuesOutOfRange);
    code = RoundToInt16(*number);
    return DefinitionOk::Confirmed;
}

}  // namespace

std::string SexValuesText(const PySettings& py) {
    return std::to_string(py.sexCode1) + "," + std::to_string(py.sexCode2);
}

std::vector<SexCode> SexCodesFound(const ProgramState& state, const std::string& column) {
    std::vector<SexCode> found;
    if (state.WorkingCopyName.empty() || state.MainTableName.empty() || !IsMainTableColumn(state, column))
        return found;
    auto db = db::Database::open(state.WorkingCopyName);
    TableStream rows(*db, state.MainTableName, {column});
    std::map<int, int64_t> counts;
    while (rows.next()) {
        const auto code = db::FieldNumber(rows, 0);
        if (code && *code >= 0 && *code <= 32767 && *code == std::floor(*code)) ++counts[static_cast<int>(*code)];
    }
    for (const auto& [code, n] : counts) found.push_back({code, n});
    std::stable_sort(found.begin(), found.end(), [](const SexCode& a, const SexCode& b) { return a.rows > b.rows; });
    return found;
}

std::optional<std::string> ProposedSexValues(const std::vector<SexCode>& found) {
    if (found.size() < 2) return std::nullopt;
    const int a = std::min(found[0].code, found[1].code), b = std::max(found[0].code, found[1].code);
    return std::to_string(a) + "," + std::to_string(b);
}

std::string SexCodesHint(const std::string& column, const std::vector<SexCode>& found, const std::string& valuesText) {
    if (column.empty()) return "Choose the column that holds the sex codes.";
    std::string hint;
    if (found.empty()) {
        hint = "The column '" + column + "' holds no codes (whole numbers from 0 to 32767).";
    } else {
        constexpr size_t kShown = 6;
        hint = "Codes in '" + column + "': ";
        for (size_t i = 0; i < found.size() && i < kShown; ++i)
            hint += (i ? ", " : "") + std::to_string(found[i].code) + " (" + std::to_string(found[i].rows) +
                    (found[i].rows == 1 ? " row)" : " rows)");
        if (found.size() > kShown) hint += " and " + std::to_string(found.size() - kShown) + " more";
        hint += ".";
    }
    const size_t comma = valuesText.find(',');
    if (comma != std::string::npos) {
        auto trimmed = [](std::string t) {
            t.erase(0, t.find_first_not_of(' '));
            t.erase(t.find_last_not_of(' ') + 1);
            return t;
        };
        const std::string first = trimmed(valuesText.substr(0, comma)), second = trimmed(valuesText.substr(comma + 1));
        if (!first.empty() && !second.empty())
            hint += " The first code makes the table Age*Calendar*Sex=" + first + ", the second Age*Calendar*Sex=" +
                    second + "; persons with neither code are in no table.";
    }
    return hint;
}

DefinitionOk SexOk(ProgramState& state, Interaction& ui, const std::string& column,
                   const std::string& codesText) {
    PySettings& p = state.py;
    p.sexColumn = column;
    if (p.sexColumn.empty())
        return StayOpen(ui, "Choose the column that holds the sex codes, or press Cancel and untick Sex.");
    const auto type = ColumnType(state, column);
    if (!type) return StayOpen(ui, NoColumnText(state, column));
    const auto comma = codesText.find(',');
    if (comma == std::string::npos) return StayOpen(ui, msg::TwoSexValues);
    if (*type != "numeric") return StayOpen(ui, msg::SexColumnNotNumeric);
    if (ReadSexCode(ui, codesText.substr(0, comma), p.sexCode1) != DefinitionOk::Confirmed)
        return DefinitionOk::StayOpen;
    if (ReadSexCode(ui, codesText.substr(comma + 1), p.sexCode2) != DefinitionOk::Confirmed)
        return DefinitionOk::StayOpen;
    if (p.sexCode1 == p.sexCode2) return StayOpen(ui, msg::SexValuesOutOfRange);
    return DefinitionOk::Confirmed;
}

SubDialogEntries TakeSexEntries(const PySettings& py) { return {py.sexColumn, py.sexCode1, py.sexCode2}; }

SubDialogEntries TakeLagEntries(const PySettings& py) { return {py.hireColumn, py.lagYears, 0}; }

void SexDialogClosed(ProgramState& state, bool confirmed, const SubDialogEntries& onOpening) {
    if (confirmed) {
        state.py.sexDefined = true;
        return;
    }
    state.py.sexColumn = onOpening.column;
    state.py.sexCode1 = onOpening.first;
    state.py.sexCode2 = onOpening.second;
}

DefinitionOk LagOk(ProgramState& state, Interaction& ui, const std::string& column,
                   const std::string& yearsText) {
    PySettings& p = state.py;
    p.hireColumn = column;
    if (p.hireColumn.empty())
        return StayOpen(ui, "Choose the column that holds the date of hire, or press Cancel and untick Lag.");
    const auto type = ColumnType(state, column);
    if (!type) return StayOpen(ui, NoColumnText(state, column));
    if (*type != "date") return StayOpen(ui, msg::HireNotDate);
    const auto number = ReadNumber(yearsText);
    if (!number) return StayOpen(ui, msg::LagOutOfRange);
    int16_t lag = 0;
    try {
        lag = RoundToInt16(*number);
    } catch (const VdxError&) {
        return StayOpen(ui, msg::LagOutOfRange);  // beyond 16 bits: out of range as well
    }
    p.lagYears = lag;
    if (lag < 0 || lag > 100) return StayOpen(ui, msg::LagOutOfRange);
    return DefinitionOk::Confirmed;
}

void LagDialogClosed(ProgramState& state, bool confirmed, const SubDialogEntries& onOpening) {
    if (confirmed) {
        state.py.lagDefined = true;
        return;
    }
    state.py.hireColumn = onOpening.column;
    state.py.lagYears = onOpening.first;
}

}  // namespace vdx::py
