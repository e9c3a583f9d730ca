// Tables > Save as...: the result the main window shows (a person-years
// table, a project's deaths table or its SMR result) written into a file of
// another format, and the choice of the SMR figures that go with it (the
// settings section "Exports"). Widget-free: the menu entry, veldrix-cli
// export and the tests call the same functions.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/navigator_commands.h"
#include "exchange/io/file_formats.h"
#include "state/interaction.h"
#include "state/settings_access.h"
#include "state/state.h"

namespace vdx::exchange {

// ---- The SMR figures exported ------------------------------------------------

inline constexpr int kSmrExportVariables = 18;

struct SmrExportChoice {
    std::string name;
    bool exported = false;
    bool operator==(const SmrExportChoice&) const = default;
};
using SmrExportChoices = std::array<SmrExportChoice, kSmrExportVariables>;

// The eighteen names with the first seven (SMR .. Expected Cases) exported.
SmrExportChoices DefaultSmrExportChoices();
// Section "Exports", keys "0".."17", values "name 1" / "name 0"; a missing
// key reads as its default.
SmrExportChoices ReadSmrExportChoices(const SettingsAccess& settings);
void WriteSmrExportChoices(SettingsAccess& settings, const SmrExportChoices& choices);
// The choices from a list of variable numbers ("0,1,2,..."); nullopt when an
// entry is not a number from 0 to 17.
std::optional<SmrExportChoices> SmrExportChoicesFromList(const std::string& list);

// ---- Export formats ------------------------------------------------------------

// The save dialog's choices: ExportFormats() (file_formats.h): the eighteen
// formats of old, then CSV, Excel 2007+ (.xlsx) and Stata (.dta).
// The save dialog's filter list, "ASCII files (*.txt)|*.txt|...|HTML (*.htm)|*.htm|".
std::string ExportFilter();
// The filter index (from 1) of a CLI format name; 0 when unknown.
int ExportFormatIndex(const std::string& cliName);

// Where a choice writes: the file and the name of the table inside it.
struct ExportTarget {
    const FileFormat* format = nullptr;  // an entry with a writer
    std::string path;
    std::string tableName;
};
// What a name with the extension of another export format than the one
// chosen does ("py.xlsx" with "ASCII files" chosen).
enum class OtherExtension {
    ChoosesFormat,  // the save dialog: the type follows the name (.xls, .dbf, .db: the newest version)
    Refused,        // veldrix-cli export: --format and the name must agree
};
// The target for the path chosen with filter `filterIndex`. The file written
// is the one named: a name ending in one of the format's extensions (any
// case; .htm or .html for HTML) as it is, any other name with the extension added
// ("noext" -> "noext.dbf", "results.dat" -> "results.dat.txt"); never cut.
// The table is named after the file less that extension. Throws VdxError
// for a format that cannot be written, a name that leaves no table name, and
// (Refused) a name of another format.
ExportTarget ExportTargetFor(int filterIndex, const std::string& chosenPath,
                             OtherExtension otherExtension = OtherExtension::Refused);

// ---- The table -------------------------------------------------------------------

struct ExportTable {
    std::vector<ColumnSpec> columns;
    std::vector<std::vector<Value>> rows;
};

// The table of the result shown (state.CurrentResult): for "PersonYears" and
// "Deaths" the grid's cells under calendar columns "1970-1974" and age
// labels " 40- 44" (with ExportValues::Stored the person-years of the table
// shown, state.CurrentResultTable, as stored: days / 365.25); for "Strata"
// the stratum table shown (age class, period, the numbers, the totals row);
// for "Smr" the chosen figures of state.CurrentSMRTable; for "StoredTable"
// the table state.CurrentResultTable as stored (a cause list, a table of
// causes).
// Throws VdxError when the SMR table cannot be read; an empty table (no
// columns) for any other result.
ExportTable BuildExportTable(const ProgramState& state, const db::ResultGridText& shownGrid,
                             const SmrExportChoices& choices, ExportValues values = ExportValues::AsShown);

// Hands rows to the writer of the target one at a time, showing the progress
// window with its Cancel button: `next` fills the next row and returns true,
// or returns false after the last of `rowCount` rows. False when the user
// cancelled: nothing is written then, and an existing file stays as it was;
// throws VdxError when writing fails, with the same guarantee.
using NextExportRow = std::function<bool(std::vector<Value>& row)>;
bool WriteExportRows(Interaction& ui, const std::vector<ColumnSpec>& columns, uint64_t rowCount,
                     const NextExportRow& next, const ExportTarget& target);

// Writes the result shown to the target (see WriteExportRows), replacing an
// existing file; a read-only file is refused (VdxError 70). An .xlsx sheet is
// named after the result (state.CurrentResultTable), the tables of the other
// formats after the file; the figures are those the format takes (its
// ExportValues). False when cancelled or when nothing is shown.
bool ExportShownResult(ProgramState& state, Interaction& ui, const db::ResultGridText& shownGrid,
                       const SmrExportChoices& choices, const ExportTarget& target);

// Tables > Save as...: the save dialog, then the export. The type follows a
// known extension of the name typed (OtherExtension::ChoosesFormat); before
// an existing file is replaced the user is asked (the file written, which
// may have an extension the dialog did not show). Failures show the general
// error message; a cancelled dialog or a No ends silently. True when a file
// was written.
bool SaveTableAs(ProgramState& state, Interaction& ui, const db::ResultGridText& shownGrid,
                 const SettingsAccess& settings);

}  // namespace vdx::exchange
