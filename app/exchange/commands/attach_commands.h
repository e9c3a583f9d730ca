// Tables > Main table / Rate table > Add: bringing a table of an Access
// database, an Excel workbook, a dBase, Paradox or ASCII file or an ODBC data
// source into the project file. The table is copied row for row into the
// working copy under its own name, registered in VdxSystemMain or
// VdxSystemRateTables and added to the navigator; the columns of a main
// data table are classified for the analysis dialogs.
//
// The commands ask the user through the Interaction (messages, the file
// dialog, the hourglass) and through AttachDialogs for the table chooser,
// the ODBC dialogs and the ASCII import dialog; the main window implements
// these with its dialogs, the tests and veldrix-cli with scripted answers.
//
// The rows go from the source's reader straight into the new table of the
// working copy, in one transaction: a failed addition leaves the working
// copy as it was, no new table, nothing registered.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/rate_layouts.h"
#include "exchange/formats/odbc/odbc_reader.h"
#include "exchange/io/file_formats.h"
#include "state/errors.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::exchange {

inline constexpr const char* kSelectMainTableTitle = "Select main data table...";
inline constexpr const char* kSelectRateTableTitle = "Select rate data table...";

// The dialogs of the attach commands besides the file dialog.
class AttachDialogs {
public:
    virtual ~AttachDialogs() = default;
    // frmSelectExternalTable: the table chosen among the source's tables,
    // "" for Cancel (and for Ok on an empty list).
    virtual std::string selectExternalTable(const std::vector<std::string>& tables) = 0;
    // The data-source chooser of the ODBC commands: an ODBC connection string
    // ("DSN=name" for a listed source, or one typed in full); nullopt when
    // cancelled.
    virtual std::optional<std::string> selectOdbcDataSource(const std::vector<OdbcDataSource>& sources) = 0;
    // frmSelectExternalODBCTable: its Ok calls copy with the chosen table;
    // copy shows its own message and returns false when the copy failed, and
    // the dialog then stays open. True when a table was copied.
    virtual bool selectExternalOdbcTable(const std::vector<std::string>& tables,
                                         const std::function<bool(const std::string&)>& copy) = 0;
    // frmTextImport for the file and table named in state (see
    // text_import_command.h), for ASCII and CSV files; true when it created
    // the table.
    virtual bool textImport(ProgramState& state, Interaction& ui) = 0;
    // Asked of a rate table once its rows are in (its columns listed):
    // a grid (age classes as rows, periods as columns; nullopt inside the
    // answer) or long, with the columns of age, year, sex, cause and rate
    // (the unit is the one already answered). The outer nullopt is Cancel.
    // Without a dialog of its own, a rate table is a grid.
    virtual std::optional<std::optional<db::RateLayout>> rateTableLayout(const std::string& table,
                                                                         const std::vector<std::string>& columns,
                                                                         double unit) {
        (void)table, (void)columns, (void)unit;
        return std::optional<db::RateLayout>();
    }
};

// Names in the project file.
// "Cohort$" -> "Cohort": every "$" removed (Excel sheet names end in one).
std::string WithoutDollars(const std::string& name);
// "dbo.Cohort" -> "Cohort", "a.b.c" -> "b.c": the part after the first ".".
std::string WithoutOwner(const std::string& name);
// Shows the file dialog and, for Access and Excel, the table chooser; fills
// ExternalDatabaseName, ExternalFileTitle, ExternalConnect and
// ExternalTableName, or leaves all four empty when the user cancels.
void SelectExternalTable(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const std::string& title,
                         const FileFormat& format);

// How the new table is named.
struct NewTableNaming {
    std::string name;  // the name it gets; "" takes the source's (the sheet, the file less its extension)
    // What to say when the study holds a table of that name already:
    // "" asks for another name (the window); a text refuses, saying it after
    // "Table X already exist!" (veldrix-cli: how to give another name).
    std::string whenTaken;
};

// The name the new table gets, settled before anything is asked or read:
// `sourceName` (or naming.name) made valid UTF-8 (ValidTableName, with a
// message when it changed), and, when a table of that name exists, another
// one the user types (proposed: the name with the first free number added).
// nullopt when the user cancels or naming.whenTaken refuses.
std::optional<std::string> NameForNewTable(const ProgramState& state, Interaction& ui, const std::string& sourceName,
                                           const NewTableNaming& naming);
// A name from outside (a file name, a sheet) as valid UTF-8: as it is when
// it is valid; else its bytes read as Windows-1252, as a file that is not
// UTF-8 is read, with control characters as "_".
std::string ValidTableName(const std::string& name);

// The menu commands, for the format of an Add entry (file_formats.h; the
// ODBC entry goes to the ODBC commands below); each returns true when it
// added a table. The name is settled first (NameForNewTable). The rate table
// commands then ask for the unit of the rates (AskRateUnit, after the source
// is chosen; for ODBC before the data source) and store rates given per
// 1,000 or 100,000 person-years divided down to per person-year, saying so
// in a message.
bool AddMainTable(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const FileFormat& format,
                  const NewTableNaming& naming = {});
bool AddRateTable(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const FileFormat& format,
                  const NewTableNaming& naming = {});
// Tables > Cause list > Add: the table comes in as a rate table does (no
// unit question) and `registerList` checks it and registers it in the
// working copy (in the copy's transaction: a list that does not read leaves
// the study as it was, its message naming row, column and value).
bool AddCauseList(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const FileFormat& format,
                  const std::function<void(db::Database&, const std::string&)>& registerList,
                  const NewTableNaming& naming = {});
bool AddMainTableODBC(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const NewTableNaming& naming = {});
bool AddRateTableODBC(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const NewTableNaming& naming = {});

// Tables > Work history > Add: a table of periods of employment, one row
// each: person id, start and end date (both days included), optional
// exposure intensity per year (1 when absent) and optional job code. The
// table is copied like a main table and registered in VdxWorkHistories
// (created when first needed) with the columns chosen for each role. A role
// left "" takes the first column whose name says it (id; start, begin, from;
// end, stop, to; intensity, exposure, level; job, department, dept, code);
// id, start and end must be found, or nothing is added.
inline constexpr const char* kVdxWorkHistories = "VdxWorkHistories";
struct WorkHistoryColumns {
    std::string id, start, end, intensity, job;
};
bool AddWorkHistory(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const FileFormat& format,
                    const WorkHistoryColumns& columns = {}, const NewTableNaming& naming = {});
// The columns registered for a work history; nullopt when it is none.
std::optional<WorkHistoryColumns> ReadWorkHistoryColumns(db::Database& wc, const std::string& name);

// Shows the message of a failed addition: 3010 (and 3012 for rate tables)
// "Table <name> already exist!", 3011 "Table <name> not found!", 3274
// "Table <name> has wrong format!" with the reason on the next line (see
// WrongFormatText), the general error message otherwise.
void ShowAttachError(Interaction& ui, const VdxError& error, const std::string& tableName, bool rateTable);
// "Table <name> has wrong format!", and on the next line what is wrong (the
// reader's words: the limit, the row, the value), when it says.
std::string WrongFormatText(const std::string& tableName, const std::string& why);

}  // namespace vdx::exchange
