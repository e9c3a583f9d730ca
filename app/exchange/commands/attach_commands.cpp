#include "exchange/commands/attach_commands.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>

#include "db/database.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "db/work_history_stream.h"
#include "exchange/commands/rate_units.h"
#include "exchange/io/table_copy.h"
#include "exchange/io/text_encoding.h"
#include "state/messages.h"

namespace vdx::exchange {

namespace {


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
    ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, kApplicationName);
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

// Copies a source table into the working copy as `name`, row by row from
// the reader into the new table.
void CopyFromReader(db::Database& wc, TableReader& reader, const std::string& sourceTable, const std::string& name) {
    CopyReaderTable(reader, sourceTable, wc, TableDefOf(reader, sourceTable, name));
}

// Copies the chosen source (ExternalDatabaseName) of a file format as `name`.
void CopyChosenSource(const ProgramState& state, const FileFormat& format, db::Database& wc,
                      const std::string& sourceTable, const std::string& name) {
    const std::unique_ptr<TableReader> reader = format.reader(state.ExternalDatabaseName);
    CopyFromReader(wc, *reader, sourceTable, name);
}

// The key/value rows of VdxSystemMain are reached by position: the second
// row holds MainTable, the third the count of rate tables.
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

// A rate table given per 1,000 or 100,000 person-years is divided down to
// per person-year before it is registered; the columns divided are kept for
// the message after the commit.
// A long table (one row per sex x age x year) is not divided: its unit is
// recorded with its layout and applied when the rates are used. The layout
// is asked once the rows are in, with the table's columns.
struct RateUnitConversion {
    double unit = 1;
    std::vector<std::string> columns;
    AttachDialogs* dialogs = nullptr;
    bool longTable = false;
    void apply(db::Database& wc, const std::string& name) {
        if (dialogs) {
            std::vector<std::string> names;
            {
                auto rs = wc.openRecordset(name);
                for (int k = 0; k < rs->fieldCount(); ++k) names.push_back(rs->field(k).name);
            }
            const auto answer = dialogs->rateTableLayout(name, names, unit);
            if (!answer) throw VdxError(err::DialogCancelled, "The rate table's layout was not chosen.");
            if (*answer) {
                db::CheckLongRateTable(wc, name, **answer);
                db::WriteRateLayout(wc, name, **answer);
                longTable = true;
                return;
            }
        }
        if (unit != 1) columns = ConvertRatesToPerPersonYear(wc, name, unit);
    }
    void report(Interaction& ui, const std::string& name) const {
        if (unit != 1 && !longTable)
            ui.message(RatesConvertedText(name, unit, columns), Buttons::Ok, Icon::Information, kApplicationName);
    }
};

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
        throw VdxError(err::Overflow, "Overflow: the project file holds the most rate tables it can count.");
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

bool ImportText(ProgramState& state, Interaction& ui, AttachDialogs& dialogs) {
    state.TextImportDone = dialogs.textImport(state, ui);
    return state.TextImportDone;
}

// The ODBC commands up to the copy: the data-source chooser, the tables of
// the source and frmSelectExternalODBCTable, whose Ok copies the chosen
// table and registers it with `reg`. True when a table was added.
template <typename Register>
bool CopyFromOdbc(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const NewTableNaming& naming,
                  Register&& reg) {
    const FileFormat& odbc = FormatNamed("odbc");
    state.ExternalConnect = odbc.connect;
    const std::optional<std::string> source = dialogs.selectOdbcDataSource(ListOdbcDataSources());
    if (!source || source->empty()) {  // the cancelled data-source prompt
        state.ExternalTableName.clear();
        return false;
    }
    // A bare name is a data source name.
    const std::string connection = source->find('=') == std::string::npos ? "DSN=" + *source : *source;
    std::unique_ptr<TableReader> reader;
    std::vector<std::string> tables;
    {
        BusyPointer busy(ui);
        reader = odbc.reader(connection);
        tables = reader->tableNames();
    }
    const bool copied = dialogs.selectExternalOdbcTable(tables, [&](const std::string& chosen) {
        const std::optional<std::string> name = NameForNewTable(state, ui, WithoutOwner(chosen), naming);
        if (!name) return false;
        state.ExternalTableName = *name;
        try {
            BusyPointer busy(ui);
            WorkingCopyTransaction t(state.WorkingCopyName);
            // The chosen table is read under its full name; only the copy
            // drops the owner prefix.
            CopyFromReader(t.db(), *reader, chosen, state.ExternalTableName);
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

std::string ValidTableName(const std::string& name) {
    if (IsValidUtf8(name)) return name;
    const std::string decoded = Windows1252ToUtf8(name);
    std::string out;
    for (size_t i = 0; i < decoded.size(); ++i) {
        const auto b = static_cast<unsigned char>(decoded[i]);
        // C0 controls and DEL; C1 controls are U+0080..U+009F, "\xC2\x80".."\xC2\x9F".
        if (b < 0x20 || b == 0x7F) {
            out += '_';
        } else if (b == 0xC2 && i + 1 < decoded.size() && static_cast<unsigned char>(decoded[i + 1]) <= 0x9F) {
            out += '_';
            ++i;
        } else {
            out += decoded[i];
        }
    }
    return out;
}

std::optional<std::string> NameForNewTable(const ProgramState& state, Interaction& ui, const std::string& sourceName,
                                           const NewTableNaming& naming) {
    const std::string given = naming.name.empty() ? sourceName : naming.name;
    std::string name = ValidTableName(given);
    if (name != given)
        ui.message("The source's name is not valid UTF-8: its bytes were read as Windows-1252, and the table is named " +
                       name + ".",
                   Buttons::Ok, Icon::Information, kApplicationName);
    auto wc = db::Database::open(state.WorkingCopyName);
    auto taken = [&](const std::string& n) { return wc->tableExists(n); };
    while (taken(name)) {
        if (!naming.whenTaken.empty()) {
            ui.message("Table " + name + " already exist!\r\n" + naming.whenTaken, Buttons::Ok, Icon::Critical, "Error");
            return std::nullopt;
        }
        std::string proposal;
        for (int n = 2; proposal.empty() || taken(proposal); ++n) proposal = name + std::to_string(n);
        const std::optional<std::string> typed =
            ui.input("The study holds a table named " + name + " already. Name of the new table:", "Table name", proposal);
        if (!typed) return std::nullopt;
        const size_t b = typed->find_first_not_of(' ');
        const std::string trimmed = b == std::string::npos ? std::string() : typed->substr(b, typed->find_last_not_of(' ') - b + 1);
        if (!trimmed.empty()) name = ValidTableName(trimmed);
    }
    return name;
}

std::string WrongFormatText(const std::string& tableName, const std::string& why) {
    std::string text = "Table " + tableName + " has wrong format!";
    if (!why.empty()) text += "\r\n" + why;
    return text;
}

void ShowAttachError(Interaction& ui, const VdxError& error, const std::string& tableName, bool rateTable) {
    std::string text;
    switch (error.number()) {
        case err::TableExists: text = "Table " + tableName + " already exist!"; break;
        case err::ObjectExists:
            if (rateTable) text = "Table " + tableName + " already exist!";
            break;
        case err::ObjectNotFound: text = "Table " + tableName + " not found!"; break;
        case err::NotExpectedFormat: text = WrongFormatText(tableName, error.description()); break;
        default: break;
    }
    if (text.empty()) text = GeneralErrorText(error.number(), error.description());
    ui.message(text, Buttons::Ok, Icon::Critical, "Error");
}

void SelectExternalTable(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const std::string& title,
                         const FileFormat& format) {
    FileDialogRequest request;
    request.title = title;
    request.initialDirectory = CurrentDirectory();
    request.fileName = format.initialFileName();
    request.filter = format.attachFilter();
    request.filterIndex = 1;
    request.defaultExtension = "*";
    request.flags = file_dialog::FileMustExist | file_dialog::HideReadOnly | file_dialog::NoReadOnlyReturn;
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

    if (format.layout == TableLayout::SingleFile && !format.viaTextImport) {
        // One table per file: the file is the database, the table named
        // after the file less its extension.
        state.ExternalDatabaseName = path;
        state.ExternalFileTitle = fileTitle;
        const size_t dot = fileTitle.find_last_of('.');
        state.ExternalTableName = dot == std::string::npos || dot == 0 ? fileTitle : fileTitle.substr(0, dot);
        return;
    }
    if (format.layout == TableLayout::Database) {
        // Access and Excel: the file is the database; the user picks a table.
        state.ExternalDatabaseName = path;
        state.ExternalFileTitle.clear();
        state.ExternalTableName.clear();
        const std::vector<std::string> tables = format.reader(path)->tableNames();
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

namespace {

// Asks for the external table (`title`) and the new table's name, then copies
// the table into the working copy, or imports the text file, and registers it
// with `registerTable` (in the copy's transaction). The new table's name;
// none when the user ends either question or the import. Errors are thrown.
std::optional<std::string> CopyInChosenTable(
    ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const std::string& title,
    const FileFormat& format, const NewTableNaming& naming,
    const std::function<void(db::Database&, const std::string&)>& registerTable) {
    SelectExternalTable(state, ui, dialogs, title, format);
    if (state.ExternalTableName.empty()) return std::nullopt;
    const std::string source = state.ExternalTableName;
    const std::optional<std::string> chosenName = NameForNewTable(state, ui, WithoutDollars(source), naming);
    if (!chosenName) {
        ClearExternalSource(state);
        return std::nullopt;
    }
    if (!format.viaTextImport) {
        BusyPointer busy(ui);
        WorkingCopyTransaction t(state.WorkingCopyName);
        CopyChosenSource(state, format, t.db(), source, *chosenName);
        registerTable(t.db(), *chosenName);
        t.commit();
        return chosenName;
    }
    state.ExternalTableName = *chosenName;  // the table the import creates
    if (!ImportText(state, ui, dialogs)) return std::nullopt;
    const std::string imported = state.ExternalTableName;  // the name the import dialog settled on
    RegisterImportedTable(state.WorkingCopyName, imported, [&](db::Database& wc) { registerTable(wc, imported); });
    return imported;
}

}  // namespace

bool AddMainTable(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const FileFormat& format,
                  const NewTableNaming& naming) {
    if (format.layout == TableLayout::DataSource) return AddMainTableODBC(state, ui, dialogs, naming);
    if (!ProjectIsOpen(state, ui)) return false;
    if (!state.MainTableName.empty()) {
        ui.message(Message(msg::MainTableExists), Buttons::Ok, Icon::Exclamation, kApplicationName);
        return false;
    }
    try {
        const auto name =
            CopyInChosenTable(state, ui, dialogs, kSelectMainTableTitle, format, naming, RegisterMainTable);
        if (!name) return false;
        MainTableAdded(state, ui, *name);
        return true;
    } catch (const VdxError& e) {
        ShowAttachError(ui, e, NameForMessage(state), false);
        state.ExternalTableName.clear();
        return false;
    }
}

bool AddRateTable(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const FileFormat& format,
                  const NewTableNaming& naming) {
    if (format.layout == TableLayout::DataSource) return AddRateTableODBC(state, ui, dialogs, naming);
    if (!ProjectIsOpen(state, ui)) return false;
    try {
        SelectExternalTable(state, ui, dialogs, kSelectRateTableTitle, format);
        if (state.ExternalTableName.empty()) return false;
        const int16_t count = NextRateTableCount(state);
        // The name before the unit question and the import dialog: a name
        // taken is asked for again at once, not refused after both.
        const std::string source = state.ExternalTableName;
        const std::optional<std::string> name = NameForNewTable(state, ui, WithoutDollars(source), naming);
        if (!name) {
            ClearExternalSource(state);
            return false;
        }
        state.ExternalTableName = *name;
        RateUnitConversion conversion;
        conversion.dialogs = &dialogs;
        if (const auto unit = AskRateUnit(ui, *name)) {
            conversion.unit = *unit;
        } else {
            ClearExternalSource(state);
            return false;
        }
        if (!format.viaTextImport) {
            BusyPointer busy(ui);
            WorkingCopyTransaction t(state.WorkingCopyName);
            CopyChosenSource(state, format, t.db(), source, state.ExternalTableName);
            conversion.apply(t.db(), state.ExternalTableName);
            RegisterRateTable(t.db(), state.ExternalTableName, count);
            t.commit();
        } else {
            if (!ImportText(state, ui, dialogs)) return false;
            const std::string imported = state.ExternalTableName;
            RegisterImportedTable(state.WorkingCopyName, imported, [&](db::Database& wc) {
                conversion.apply(wc, imported);
                RegisterRateTable(wc, imported, count);
            });
        }
        RateTableAdded(state, state.ExternalTableName);
        conversion.report(ui, state.ExternalTableName);
        return true;
    } catch (const VdxError& e) {
        if (e.number() != err::DialogCancelled) ShowAttachError(ui, e, NameForMessage(state), true);
        state.ExternalTableName.clear();
        return false;
    }
}

bool AddCauseList(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const FileFormat& format,
                  const std::function<void(db::Database&, const std::string&)>& registerList,
                  const NewTableNaming& naming) {
    if (!ProjectIsOpen(state, ui)) return false;
    try {
        const auto name = CopyInChosenTable(state, ui, dialogs, "Select cause list...", format, naming, registerList);
        if (!name) return false;
        state.ExternalTableName = *name;
        state.ProjectChanged = true;
        return true;
    } catch (const DataError& e) {
        ui.message(e.description(), Buttons::Ok, Icon::Critical, "Error");
        state.ExternalTableName.clear();
        return false;
    } catch (const VdxError& e) {
        ShowAttachError(ui, e, NameForMessage(state), false);
        state.ExternalTableName.clear();
        return false;
    }
}

bool AddMainTableODBC(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const NewTableNaming& naming) {
    if (!ProjectIsOpen(state, ui)) return false;
    if (!state.MainTableName.empty()) {
        ui.message(Message(msg::MainTableExists), Buttons::Ok, Icon::Exclamation, kApplicationName);
        return false;
    }
    try {
        if (!CopyFromOdbc(state, ui, dialogs, naming, RegisterMainTable)) return false;
        MainTableAdded(state, ui, state.ExternalTableName);
        return true;
    } catch (const VdxError& e) {
        ShowAttachError(ui, e, state.ExternalTableName, false);
        state.ExternalTableName.clear();
        return false;
    }
}

bool AddRateTableODBC(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const NewTableNaming& naming) {
    if (!ProjectIsOpen(state, ui)) return false;
    try {
        const int16_t count = NextRateTableCount(state);
        // No file to choose first: the unit is asked before the data source.
        RateUnitConversion conversion;
        conversion.dialogs = &dialogs;
        if (const auto unit = AskRateUnit(ui, "")) conversion.unit = *unit;
        else return false;
        auto reg = [&](db::Database& wc, const std::string& name) {
            conversion.apply(wc, name);
            RegisterRateTable(wc, name, count);
        };
        if (!CopyFromOdbc(state, ui, dialogs, naming, reg)) return false;
        RateTableAdded(state, state.ExternalTableName);
        conversion.report(ui, state.ExternalTableName);
        return true;
    } catch (const VdxError& e) {
        if (e.number() != err::DialogCancelled) ShowAttachError(ui, e, state.ExternalTableName, true);
        state.ExternalTableName.clear();
        return false;
    }
}

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The column given, checked, or the first whose name says the role.
std::string ChooseColumn(const db::TableDef& def, const std::string& given, std::initializer_list<const char*> words,
                         bool required, const char* role) {
    if (!given.empty()) {
        for (const db::FieldDef& f : def.fields)
            if (Lower(f.name) == Lower(given)) return f.name;
        throw VdxError(err::NotExpectedFormat, "The work history " + def.name + " has no column " + given + ".");
    }
    for (const char* word : words)
        for (const db::FieldDef& f : def.fields)
            if (Lower(f.name) == word) return f.name;
    for (const char* word : words)
        for (const db::FieldDef& f : def.fields)
            if (Lower(f.name).find(word) != std::string::npos) return f.name;
    if (required)
        throw VdxError(err::NotExpectedFormat, "The work history " + def.name + " has no column for the " + role +
                                                 "; name it (veldrix-cli: --" + role + " COLUMN).");
    return "";
}

void RegisterWorkHistory(db::Database& wc, const std::string& name, const WorkHistoryColumns& given) {
    const db::TableDef def = wc.tableDef(name);
    WorkHistoryColumns c;
    c.id = ChooseColumn(def, given.id, {"id", "personid", "person"}, true, "id");
    c.start = ChooseColumn(def, given.start, {"start", "begin", "from"}, true, "start");
    c.end = ChooseColumn(def, given.end, {"end", "stop", "to"}, true, "end");
    c.intensity = ChooseColumn(def, given.intensity, {"intensity", "exposure", "level"}, false, "intensity");
    c.job = ChooseColumn(def, given.job, {"job", "department", "dept", "code"}, false, "job");
    if (!wc.tableExists(kVdxWorkHistories)) {
        auto text = [](const char* n, bool zero) { return db::FieldDef{n, FieldType::Text, 255, zero}; };
        wc.createTable({kVdxWorkHistories, 0,
                        {text("Name", false), text("IdColumn", false), text("StartColumn", false),
                         text("EndColumn", false), text("IntensityColumn", true), text("JobColumn", true)}});
    }
    auto rs = wc.openRecordset(kVdxWorkHistories);
    rs->addNew();
    rs->setValue("Name", Value::text(name));
    rs->setValue("IdColumn", Value::text(c.id));
    rs->setValue("StartColumn", Value::text(c.start));
    rs->setValue("EndColumn", Value::text(c.end));
    rs->setValue("IntensityColumn", Value::text(c.intensity));
    rs->setValue("JobColumn", Value::text(c.job));
    rs->update();
    rs.reset();
    db::IndexWorkHistory(wc, name);
}

}  // namespace

std::optional<WorkHistoryColumns> ReadWorkHistoryColumns(db::Database& wc, const std::string& name) {
    if (!wc.tableExists(kVdxWorkHistories)) return std::nullopt;
    auto rs = wc.openRecordset(kVdxWorkHistories);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        if (rs->value(rs->fieldIndex("Name")).asText() != name) continue;
        auto get = [&](const char* column) { return rs->value(rs->fieldIndex(column)).asText(); };
        return WorkHistoryColumns{get("IdColumn"), get("StartColumn"), get("EndColumn"), get("IntensityColumn"),
                                  get("JobColumn")};
    }
    return std::nullopt;
}

bool AddWorkHistory(ProgramState& state, Interaction& ui, AttachDialogs& dialogs, const FileFormat& format,
                    const WorkHistoryColumns& columns, const NewTableNaming& naming) {
    if (!ProjectIsOpen(state, ui)) return false;
    try {
        const auto name =
            CopyInChosenTable(state, ui, dialogs, "Select work history table...", format, naming,
                              [&](db::Database& wc, const std::string& table) { RegisterWorkHistory(wc, table, columns); });
        if (!name) return false;
        state.ExternalTableName = *name;
        state.ProjectChanged = true;
        return true;
    } catch (const VdxError& e) {
        ShowAttachError(ui, e, NameForMessage(state), false);
        state.ExternalTableName.clear();
        return false;
    }
}

}  // namespace vdx::exchange
