#include "exchange/attach_commands.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>

#include "db/database.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "exchange/foreign_registration.h"
#include "state/messages.h"

namespace vdx::exchange {

namespace {

constexpr int kInvalidArgument = 5;
constexpr int kOverflow = 6;
constexpr const char* kTextConnect = "Text;";
constexpr const char* kOdbcConnect = "ODBC;";

// Flags of the open-file dialog: the file must exist, the read-only check
// box is hidden, a read-only file is not accepted.
constexpr int kHideReadOnly = 0x4;
constexpr int kFileMustExist = 0x1000;
constexpr int kNoReadOnlyReturn = 0x8000;

const char* kAccessFilter = "Access (*.mdb)|*.mdb|All files (*.*)|*.*";
const char* kExcelFilter = "Excel (*.xls)|*.xls|All files (*.*)|*.*";
const char* kDBaseFilter = "dBase (*.dbf)|*.dbf|All files (*.*)|*.*";
const char* kParadoxFilter = "Paradox (*.db)|*.db|All files (*.*)|*.*";
const char* kAsciiFilter = "ASCII (*.txt)|*.txt|All files (*.*)|*.*";

const SourceFormat kFormats[] = {
    {kSourceAccess, "", "*.mdb", kAccessFilter},
    {kSourceExcel30, "Excel 3.0;", "*.xls", kExcelFilter},
    {kSourceExcel40, "Excel 4.0;", "*.xls", kExcelFilter},
    {kSourceExcel50, "Excel 5.0;", "*.xls", kExcelFilter},
    {kSourceExcel80, "Excel 8.0;", "*.xls", kExcelFilter},
    {kSourceDBase3, "dBASE III;", "*.dbf", kDBaseFilter},
    {kSourceDBase4, "dBASE IV;", "*.dbf", kDBaseFilter},
    {kSourceDBase5, "dBase 5.0;", "*.dbf", kDBaseFilter},
    {kSourceParadox3, "Paradox 3.x;", "*.db", kParadoxFilter},
    {kSourceParadox4, "Paradox 4.x;", "*.db", kParadoxFilter},
    {kSourceParadox5, "Paradox 5.x;", "*.db", kParadoxFilter},
    {kSourceAscii, kTextConnect, "*.txt", kAsciiFilter},
    {kSourceXlsx, "Excel 12.0 Xml;", "*.xlsx", "Excel 2007+ (*.xlsx)|*.xlsx|All files (*.*)|*.*"},
    {kSourceStata, "Stata;", "*.dta", "Stata (*.dta)|*.dta|All files (*.*)|*.*"},
    {kSourceSas, "SAS;", "*.sas7bdat", "SAS (*.sas7bdat)|*.sas7bdat|All files (*.*)|*.*"},
    {kSourceSasTransport, "SAS Transport;", "*.xpt", "SAS transport (*.xpt)|*.xpt|All files (*.*)|*.*"},
    {kSourceSpss, "SPSS;", "*.sav", "SPSS (*.sav;*.zsav)|*.sav;*.zsav|All files (*.*)|*.*"},
    {kSourceCsv, "CSV;", "*.csv", "CSV (*.csv)|*.csv|All files (*.*)|*.*"},
};

std::string CurrentDirectory() {
    std::error_code ec;
    auto dir = std::filesystem::current_path(ec);
    return ec ? std::string() : dir.string();
}

void ClearExternalSource(ProgramState& state) {
    state.ExternalConnect.clear();
    state.ExternalDatabaseName.clear();
    state.ExternalFileTitle.clear();
    state.ExternalTableName.clear();
}

bool ProjectIsOpen(const ProgramState& state, Interaction& ui) {
    if (state.ProjectOpen) return true;
    ui.message(Message(16), Buttons::Ok, Icon::Exclamation, kApplicationName);
    return false;
}

// The name a message gives a failure: the table, or, when it failed before
// a table was chosen (a source that cannot be read at all), the file.
std::string NameForMessage(const ProgramState& state) {
    if (!state.ExternalTableName.empty()) return state.ExternalTableName;
    const std::string& path = state.ExternalDatabaseName;
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The working copy in one transaction: rolled back unless committed, so a
// failing step leaves no half table and no registration behind.
class WorkingCopyTransaction {
public:
    explicit WorkingCopyTransaction(const std::string& path) : db_(db::Database::open(path)) {
        db_->beginTransaction();
    }
    ~WorkingCopyTransaction() {
        if (committed_) return;
        try {
            db_->rollback();
        } catch (const VdxError&) {
            // Closing the database below drops the transaction anyway.
        }
    }
    WorkingCopyTransaction(const WorkingCopyTransaction&) = delete;
    WorkingCopyTransaction& operator=(const WorkingCopyTransaction&) = delete;

    db::Database& db() { return *db_; }
    void commit() {
        db_->commit();
        committed_ = true;
    }

private:
    std::unique_ptr<db::Database> db_;
    bool committed_ = false;
};

// Copies a source table into the working copy as `name` through the
// temporary link "_" + name, which is gone afterwards whatever happened.
void CopyThroughLink(db::Database& wc, const std::string& connect, const std::string& sourceTable,
                     const std::string& name) {
    const std::string link = "_" + name;
    // Names are bracketed so that names with blanks copy too; a name the
    // project file cannot hold fails here with error 3125.
    const std::string sql = "SELECT * INTO " + db::BracketName(name) + " FROM " + db::BracketName(link) + ";";
    wc.createAttachedTable(link, connect, sourceTable);
    try {
        wc.execute(sql);
    } catch (...) {
        wc.deleteTable(link);
        throw;
    }
    wc.deleteTable(link);
}

// The key/value rows of VdxSystemMain are reached by position: the second
// row holds MainTable, the third intRateTablesAnzahl.
void SetSystemMainRow(db::Database& wc, int row, const std::string& value) {
    auto rs = wc.openRecordset(db::kVdxSystemMain);
    rs->moveFirst();
    for (int i = 1; i < row && !rs->eof(); ++i) rs->moveNext();
    if (rs->eof()) throw VdxError(err::NoCurrentRecord, std::string(db::kVdxSystemMain) + " has fewer than " +
                                                            std::to_string(row) + " rows.");
    rs->edit();
    rs->setValue("Value", Value::text(value));
    rs->update();
}

void RegisterMainTable(db::Database& wc, const std::string& name) { SetSystemMainRow(wc, 2, name); }

void RegisterRateTable(db::Database& wc, const std::string& name, int16_t newCount) {
    SetSystemMainRow(wc, 3, std::to_string(newCount));
    auto rs = wc.openRecordset(db::kVdxSystemRateTables);
    rs->addNew();
    rs->setValue("RateTables", Value::text(name));
    rs->update();
}

// Registers a table that the ASCII import created already; when the
// registration fails, the table goes again.
template <typename Register>
void RegisterImportedTable(const std::string& workingCopy, const std::string& name, Register&& reg) {
    auto t = std::make_unique<WorkingCopyTransaction>(workingCopy);
    try {
        reg(t->db());
        t->commit();
    } catch (...) {
        t.reset();
        try {
            db::Database::open(workingCopy)->deleteTable(name);
        } catch (const VdxError&) {
        }
        throw;
    }
}

int16_t NextRateTableCount(const ProgramState& state) {
    if (state.RateTableCount == std::numeric_limits<int16_t>::max())
        throw VdxError(kOverflow, "Overflow: the project file holds the most rate tables it can count.");
    return static_cast<int16_t>(state.RateTableCount + 1);
}

// The steps after the main data table is registered: state, tree node and
// the column classification. A classification that fails leaves the table
// registered, with no column types.
void MainTableAdded(ProgramState& state, Interaction& ui, const std::string& name) {
    BusyPointer busy(ui);
    state.MainTableName = name;
    db::AddMainTableEntry(state, name);
    state.ProjectChanged = true;
    try {
        auto wc = db::Database::open(state.WorkingCopyName);
        state.MainTableFields = db::ClassifyColumns(*wc, name);
    } catch (const VdxError& e) {
        state.MainTableFields.clear();
        ShowGeneralError(ui, e.number(), e.description());
    }
}

void RateTableAdded(ProgramState& state, const std::string& name) {
    state.RateTableCount = NextRateTableCount(state);
    db::AddRateTableEntry(state, name);
    state.ProjectChanged = true;
}

// ASCII and CSV files come in through the text import dialog.
bool ThroughTextImport(const ProgramState& state) {
    return state.ExternalConnect == kTextConnect || state.ExternalConnect == SourceFormatOf(kSourceCsv).connect;
}

bool ImportText(ProgramState& state, Interaction& ui, AttachDialogs& dialogs) {
    state.TextImportDone = dialogs.textImport(state, ui);
    return state.TextImportDone;
}

// The ODBC commands up to the copy: the data-source chooser, the tables of
// the source and frmSelectExternalODBCTable, whose Ok copies the chosen
// table and registers it with `reg`. True when a table was added.
template <typename Register>
bool CopyFromOdbc(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, Register&& reg) {
    state.ExternalConnect = kOdbcConnect;
    const std::optional<std::string> source = dialogs.selectOdbcDataSource(ListOdbcDataSources());
    if (!source || source->empty()) {  // the cancelled data-source prompt
        state.ExternalTableName.clear();
        return false;
    }
    // A bare name is a data source name.
    const std::string connection = source->find('=') == std::string::npos ? "DSN=" + *source : *source;
    std::vector<std::string> tables;
    {
        BusyPointer busy(ui);
        tables = db::ListForeignTables(kOdbcConnect + connection);
    }
    const bool copied = dialogs.selectExternalOdbcTable(tables, [&](const std::string& chosen) {
        state.ExternalTableName = WithoutOwner(chosen);
        try {
            BusyPointer busy(ui);
            WorkingCopyTransaction t(state.WorkingCopyName);
            // The chosen table is read under its full name; only the copy
            // drops the owner prefix.
            CopyThroughLink(t.db(), kOdbcConnect + connection, chosen, state.ExternalTableName);
            reg(t.db(), state.ExternalTableName);
            t.commit();
            return true;
        } catch (const VdxError& e) {
            ShowAttachError(ui, e, state.ExternalTableName, false);
            return false;
        }
    });
    if (!copied) state.ExternalTableName.clear();
    return copied;
}

}  // namespace

const SourceFormat& SourceFormatOf(int code) {
    for (const SourceFormat& f : kFormats)
        if (f.code == code) return f;
    throw VdxError(kInvalidArgument, "Invalid procedure call or argument: no source format " + std::to_string(code) + ".");
}

std::string WithoutDollars(const std::string& name) {
    std::string out;
    for (char c : name)
        if (c != '$') out += c;
    return out;
}

std::string WithoutOwner(const std::string& name) {
    const size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

std::string LinkConnect(const std::string& prefix, const std::string& database) {
    return prefix + ";DATABASE=" + database;
}

void ShowAttachError(Interaction& ui, const VdxError& error, const std::string& tableName, bool rateTable) {
    std::string text;
    switch (error.number()) {
        case err::TableExists: text = "Table " + tableName + " already exist!"; break;
        case err::ObjectExists:
            if (rateTable) text = "Table " + tableName + " already exist!";
            break;
        case err::ObjectNotFound: text = "Table " + tableName + " not found!"; break;
        case err::NotExpectedFormat: text = "Table " + tableName + " has wrong format!"; break;
        default: break;
    }
    if (text.empty()) text = GeneralErrorText(error.number(), error.description());
    ui.message(text, Buttons::Ok, Icon::Critical, "Error");
}

void SelectExternalTable(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const std::string& title,
                         int code) {
    const SourceFormat& format = SourceFormatOf(code);
    RegisterExchangeFormats();
    FileDialogRequest request;
    request.title = title;
    request.initialDirectory = CurrentDirectory();
    request.fileName = format.fileName;
    request.filter = format.filter;
    request.filterIndex = 1;
    request.defaultExtension = "*";
    request.flags = kFileMustExist | kHideReadOnly | kNoReadOnlyReturn;
    const std::optional<FileDialogResult> chosen = ui.openFile(request);
    if (!chosen || chosen->path.empty()) {
        ClearExternalSource(state);
        return;
    }

    auto busy = std::make_unique<BusyPointer>(ui);
    ShowView(state, ViewName::Empty);
    const std::string& path = chosen->path;
    const size_t slash = path.find_last_of('/');
    const std::string fileTitle = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    state.ExternalConnect = format.connect;

    if (IsSingleTableFile(code) && code != kSourceCsv) {
        // One table per file: the file is the database, the table named
        // after the file less its extension.
        state.ExternalDatabaseName = path;
        state.ExternalFileTitle = fileTitle;
        const size_t dot = fileTitle.find_last_of('.');
        state.ExternalTableName = dot == std::string::npos || dot == 0 ? fileTitle : fileTitle.substr(0, dot);
        return;
    }
    if (code <= kSourceExcel80 || code == kSourceXlsx) {
        // Access and Excel: the file is the database; the user picks a table.
        state.ExternalDatabaseName = path;
        state.ExternalFileTitle.clear();
        state.ExternalTableName.clear();
        const std::vector<std::string> tables = db::ListForeignTables(LinkConnect(format.connect, path));
        busy.reset();  // the chooser shows the normal pointer
        state.ExternalTableName = dialogs.selectExternalTable(tables);
        if (state.ExternalTableName.empty()) ClearExternalSource(state);
        return;
    }
    // dBase, Paradox, ASCII and CSV: the folder is the database, the file one
    // table named by the file's name less its extension (".dbf", ".db",
    // ".txt", ".csv" — whatever extension the chosen file has).
    state.ExternalDatabaseName = directory;
    state.ExternalFileTitle = fileTitle;
    const size_t dot = fileTitle.find_last_of('.');
    state.ExternalTableName = dot == std::string::npos || dot == 0 ? fileTitle : fileTitle.substr(0, dot);
}

bool AddMainTable(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, int code) {
    if (!ProjectIsOpen(state, ui)) return false;
    if (!state.MainTableName.empty()) {
        ui.message(Message(20), Buttons::Ok, Icon::Exclamation, kApplicationName);
        return false;
    }
    RegisterExchangeFormats();
    try {
        SelectExternalTable(state, ui, dialogs, kSelectMainTableTitle, code);
        if (state.ExternalTableName.empty()) return false;
        std::string name;
        if (!ThroughTextImport(state)) {
            name = WithoutDollars(state.ExternalTableName);
            BusyPointer busy(ui);
            WorkingCopyTransaction t(state.WorkingCopyName);
            CopyThroughLink(t.db(), LinkConnect(state.ExternalConnect, state.ExternalDatabaseName),
                            state.ExternalTableName, name);
            RegisterMainTable(t.db(), name);
            t.commit();
        } else {
            if (!ImportText(state, ui, dialogs)) return false;
            name = WithoutDollars(state.ExternalTableName);  // the table the import created
            RegisterImportedTable(state.WorkingCopyName, name, [&](db::Database& wc) { RegisterMainTable(wc, name); });
        }
        MainTableAdded(state, ui, name);
        return true;
    } catch (const VdxError& e) {
        ShowAttachError(ui, e, NameForMessage(state), false);
        state.ExternalTableName.clear();
        return false;
    }
}

bool AddRateTable(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, int code) {
    if (!ProjectIsOpen(state, ui)) return false;
    RegisterExchangeFormats();
    try {
        SelectExternalTable(state, ui, dialogs, kSelectRateTableTitle, code);
        if (state.ExternalTableName.empty()) return false;
        const int16_t count = NextRateTableCount(state);
        if (!ThroughTextImport(state)) {
            const std::string source = state.ExternalTableName;
            state.ExternalTableName = WithoutDollars(source);
            BusyPointer busy(ui);
            WorkingCopyTransaction t(state.WorkingCopyName);
            CopyThroughLink(t.db(), LinkConnect(state.ExternalConnect, state.ExternalDatabaseName), source,
                            state.ExternalTableName);
            RegisterRateTable(t.db(), state.ExternalTableName, count);
            t.commit();
        } else {
            if (!ImportText(state, ui, dialogs)) return false;
            const std::string name = state.ExternalTableName;
            RegisterImportedTable(state.WorkingCopyName, name,
                                  [&](db::Database& wc) { RegisterRateTable(wc, name, count); });
        }
        RateTableAdded(state, state.ExternalTableName);
        return true;
    } catch (const VdxError& e) {
        ShowAttachError(ui, e, NameForMessage(state), true);
        state.ExternalTableName.clear();
        return false;
    }
}

bool AddMainTableODBC(ProgramState& state, Interaction& ui, AttachDialogs& dialogs) {
    if (!ProjectIsOpen(state, ui)) return false;
    if (!state.MainTableName.empty()) {
        ui.message(Message(20), Buttons::Ok, Icon::Exclamation, kApplicationName);
        return false;
    }
    RegisterExchangeFormats();
    try {
        if (!CopyFromOdbc(state, ui, dialogs, RegisterMainTable)) return false;
        MainTableAdded(state, ui, state.ExternalTableName);
        return true;
    } catch (const VdxError& e) {
        ShowAttachError(ui, e, state.ExternalTableName, false);
        state.ExternalTableName.clear();
        return false;
    }
}

bool AddRateTableODBC(ProgramState& state, Interaction& ui, AttachDialogs& dialogs) {
    if (!ProjectIsOpen(state, ui)) return false;
    RegisterExchangeFormats();
    try {
        const int16_t count = NextRateTableCount(state);
        auto reg = [count](db::Database& wc, const std::string& name) { RegisterRateTable(wc, name, count); };
        if (!CopyFromOdbc(state, ui, dialogs, reg)) return false;
        RateTableAdded(state, state.ExternalTableName);
        return true;
    } catch (const VdxError& e) {
        ShowAttachError(ui, e, state.ExternalTableName, true);
        state.ExternalTableName.clear();
        return false;
    }
}

}  // namespace vdx::exchange
