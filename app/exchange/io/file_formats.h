// The formats tables come in from and go out to, one entry each: how the
// Tables > Main table / Rate table > Add menus, the attach file dialog, the
// Save as... dialog and veldrix-cli attach / export name it, and how its
// tables are read and written. Everything that lists formats reads this
// table; a new format is one more entry.
//
// Views of the table:
// - the entries with a menu entry, in menu order; each Add entry passes its
//   entry to the attach commands;
// - the save dialog's filter indexes 1 to 18, and after them the formats
//   written later (exportIndex);
// - the CLI names: the first is the one the help shows, the others are
//   accepted as well; the program names the entries it needs by them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exchange/io/table_reader.h"
#include "exchange/io/table_writer.h"

namespace vdx::exchange {

// How the chosen file holds the tables of a source.
enum class TableLayout {
    None,         // nothing to attach (written only)
    Database,     // several tables; the user picks one (Access, Excel, .xlsx)
    FolderTable,  // the folder is the database, the file one table named by the file (dBase, Paradox, ASCII)
    SingleFile,   // the file is the database and its one table (Stata, SAS, SPSS, CSV)
    DataSource,   // an ODBC data source, no file
};

// Opens the reader of a source: the database is the file (Access, Excel,
// single-table files), the folder (dBase, Paradox, ASCII) or the ODBC
// connection string.
using ReaderFactory = std::unique_ptr<TableReader> (*)(const std::string& database);
// Makes the writer of a table. targetPath is the file to write (for dBase and
// Paradox the table's file, for ASCII and HTML the final name, for Access the
// database); tableName names the table inside the file where the format has
// such a name (sheet, page title, Paradox table name, Access table).
using WriterFactory = std::unique_ptr<TableWriter> (*)(const std::string& targetPath, const std::string& tableName);

// What an export writes of a result's figures.
enum class ExportValues {
    AsShown,  // as the grid shows them (person-years with two decimals): the layouts of old
    Stored,   // as stored, every digit (person-years to the day, days / 365.25): for programs that compute with them
};

// One format. Entries are written with designated initializers; what an
// entry leaves out is not offered (no menu entry, not read, not written).
struct FileFormat {
    // ---- Tables > Main table / Rate table > Add
    const char* subMenu = "";          // the Add sub-menu with its access key ("&Excel"); "" for an entry of Add itself
    const char* menuName = nullptr;    // object name suffix, "Excel70" -> mnuTablesMainTableAddExcel70; nullptr: no entry
    const char* menuCaption = nullptr; // "&7.0..."
    const char* connect = "";          // ExternalConnect: the connect prefix with its own ";" ("" for Access)
    // ---- Files
    const char* filterName = "";       // the attach dialog's filter description ("Excel")
    const char* patterns = "";         // "*.xls"; the first one is the dialogs' initial file name
    TableLayout layout = TableLayout::None;
    bool viaTextImport = false;        // the file goes to the text import dialog (ASCII, CSV) instead of a reader
    ReaderFactory reader = nullptr;    // nullptr: not read
    // ---- Tables > Save as...
    int exportIndex = 0;               // the save dialog's filter index, from 1; 0: not offered
    const char* exportCaption = nullptr;  // "Excel 7.0" -> "Excel 7.0 (*.xls)|*.xls|"
    WriterFactory writer = nullptr;    // nullptr: offered but not written yet
    bool sheetNamedAfterResult = false;  // the table inside is named after the result, not the file (.xlsx)
    ExportValues values = ExportValues::AsShown;
    // ---- veldrix-cli --format
    std::vector<std::string> cliNames;

    bool hasMenuEntry() const { return menuName != nullptr; }
    // The attach dialog's filter, "Excel (*.xls)|*.xls|All files (*.*)|*.*".
    std::string attachFilter() const;
    // The initial file name of the attach dialog, "*.xls".
    std::string initialFileName() const;
    // The pattern the save dialog offers, "*.xls".
    std::string exportPattern() const { return initialFileName(); }
    // The extensions of the patterns without "*.": "htm" and "html".
    std::vector<std::string> extensions() const;
};

// Every format, the entries with a menu entry in the order of the Add menu.
const std::vector<FileFormat>& FileFormats();

// The format of a connect string's type ("Excel 5.0;;DATABASE=..." -> Excel
// 5.0, "" -> Access, "ODBC;DSN=x" -> ODBC); VdxError 3170 ("Could not find
// installable ISAM.") for a type no entry has.
const FileFormat& FormatOfConnect(const std::string& connect);
// The format a CLI name names; nullptr when none does.
const FileFormat* FormatOfCliName(const std::string& name);
// The format the program names by one of its CLI names ("csv", "odbc"); a
// name no entry has is a fault of the program (std::logic_error).
const FileFormat& FormatNamed(const std::string& name);

// The save dialog's choices in filter order (index - 1).
std::vector<const FileFormat*> ExportFormats();

}  // namespace vdx::exchange
