// veldrix-cli's commands that bring tables into a project file, as
// Tables > Main table / Rate table > Add does: import reads a semicolon ASCII
// file through the import dialog's logic, attach copies a table of an
// Access, Excel, dBase or Paradox file or an ODBC data source. Both register
// the table and save the project file; a failure saves nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/commands/attach_commands.h"
#include "exchange/io/file_formats.h"
#include "state/state.h"

namespace vdx::cli {

int RunImport(const std::vector<std::string>& args);
int RunAttach(const std::vector<std::string>& args);
// Whether attach --format takes a format: one with a reader, except ASCII,
// which import brings in.
bool AttachableFromCli(const exchange::FileFormat& format);
// The index among exchange::kRateUnits of a --rate-unit ("1", "1000",
// "100000"); nullopt for another text.
std::optional<int> RateUnitChoice(const std::string& unit);
// How import and attach name the new table: --name or the source's name; a
// name the study holds already is refused with a message naming --name.
exchange::NewTableNaming CliTableNaming(const std::optional<std::string>& name);
// Tables > Main table / Rate table > Remove; saves the project file.
int RunRemove(const std::vector<std::string>& args);
// Tables > Save as...: a result written to a file of another format.
int RunExport(const std::vector<std::string>& args);

// Prints the added table on stdout: its name, kind and number of rows, and
// for the main data table its columns with their classification.
void PrintAddedTable(const ProgramState& state, const std::string& table, bool main);

}  // namespace vdx::cli
