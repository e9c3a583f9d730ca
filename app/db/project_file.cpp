#include "db/project_file.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <variant>

#include "db/database.h"
#include "db/exposure_tables.h"
#include "db/file_io.h"
#include "db/navigator_entries.h"
#include "db/table_stream.h"
#include "db/working_copy_lock.h"
#include "state/text_values.h"

namespace vdx::db {

namespace {

// The value a key/value or list row holds, as text (Null reads as "").
std::string TextOf(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: return {};
        case Value::Kind::Text: return v.asText();
        case Value::Kind::Boolean: return BooleanText(v.asBool());
        case Value::Kind::Integer: return std::to_string(v.asInteger());
        case Value::Kind::Double: return NumberText(v.asDouble());
        case Value::Kind::Date: return FormatDate(v.asDouble());
    }
    return {};
}

[[noreturn]] void Mismatch(const std::string& key, const std::string& text, const char* type) {
    throw VdxError(err::TypeMismatch, "Type mismatch: the setting " + key + " holds '" + text +
                                          "', which is not " + type + ".");
}

int16_t IntegerSetting(const std::string& key, const std::string& text) {
    auto n = ReadNumber(text);
    if (!n) Mismatch(key, text, "a number");
    return RoundToInt16(*n);
}

bool BooleanSetting(const std::string& key, const std::string& text) {
    auto b = ReadBoolean(text);
    if (!b) Mismatch(key, text, "True or False");
    return *b;
}

// Steps through the first rows of a key/value table and sets `Value`.
void WriteRows(Database& db, const std::string& table, const std::vector<std::string>& values) {
    auto rs = db.openRecordset(table);
    rs->moveFirst();
    for (const auto& v : values) {
        if (rs->eof()) throw VdxError(err::NoCurrentRecord, "No current record: " + table + " has too few rows.");
        rs->edit();
        rs->setValue("Value", Value::text(v));
        rs->update();
        rs->moveNext();
    }
}

void AddRows(Database& db, const std::string& table, const std::vector<int64_t>& values) {
    auto rs = db.openRecordset(table);
    for (int64_t v : values) {
        rs->addNew();
        rs->setValue(0, Value::integer(v));
        rs->update();
    }
}

// The person-years value tables: one column of whole numbers each.
TableDef AgeClassValuesTable() { return {kVdxAgeClassValues, 0, {{"AgeClass", FieldType::Integer, 0}}}; }
TableDef YearClassValuesTable() { return {kVdxYearClassValues, 0, {{"YearClass", FieldType::Integer, 0}}}; }
TableDef PyValuesTable() { return {kVdxPyValues, 0, {{"PersonYears", FieldType::Long, 0}}}; }

[[noreturn]] void SubscriptOutOfRange(const std::string& what) {
    throw VdxError(err::SubscriptOutOfRange, "Subscript out of range: " + what + ".");
}

// The 24 rows of VdxSystemPY in their stored order: the key of each row and
// the setting it holds. The keys are the file's; the program knows the
// settings by their members.
using SettingMember = std::variant<bool PySettings::*, int16_t PySettings::*, std::string PySettings::*>;
struct PySettingRow {
    const char* key;
    SettingMember member;
};
const std::array<PySettingRow, 24> kPySettingRows{{
    {"blnPersonYears", &PySettings::computed},
    {"intAnzahlTables", &PySettings::tableCount},
    {"varDOB", &PySettings::birthColumn},
    {"varEPS", &PySettings::entryColumn},
    {"varTPS", &PySettings::exitColumn},
    {"varSEX", &PySettings::sexColumn},
    {"blnAgeSelfDefined", &PySettings::ageSelfDefined},
    {"maxAgeClass", &PySettings::ageBoundCount},
    {"varAgeFrom", &PySettings::ageFrom},
    {"varAgeTo", &PySettings::ageTo},
    {"varAgeStep", &PySettings::ageStep},
    {"blnCalendarSelfDefined", &PySettings::calendarSelfDefined},
    {"maxYearClass", &PySettings::calendarBoundCount},
    {"varCalendarFrom", &PySettings::calendarFrom},
    {"varCalendarTo", &PySettings::calendarTo},
    {"varCalendarStep", &PySettings::calendarStep},
    {"blnSex", &PySettings::bySex},
    {"varSexStatus", &PySettings::sexDefined},
    {"varSex1", &PySettings::sexCode1},
    {"varSex2", &PySettings::sexCode2},
    {"blnLag", &PySettings::withLag},
    {"varLag", &PySettings::lagYears},
    {"varLagStatus", &PySettings::lagDefined},
    {"varDOH", &PySettings::hireColumn},
}};

// The setting of one row as its stored text, and back (error 13 for a text
// that is not of the setting's type).
std::string SettingText(const PySettings& py, const PySettingRow& row) {
    return std::visit(
        [&](auto member) -> std::string {
            const auto& value = py.*member;
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, bool>) return BooleanText(value);
            else if constexpr (std::is_same_v<std::decay_t<decltype(value)>, int16_t>) return std::to_string(value);
            else return value;
        },
        row.member);
}

void ReadSetting(PySettings& py, const PySettingRow& row, const std::string& text) {
    std::visit(
        [&](auto member) {
            auto& value = py.*member;
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, bool>) value = BooleanSetting(row.key, text);
            else if constexpr (std::is_same_v<std::decay_t<decltype(value)>, int16_t>) value = IntegerSetting(row.key, text);
            else value = text;
        },
        row.member);
}

// The row (from 0) of a setting.
size_t SettingRow(SettingMember member) {
    for (size_t i = 0; i < kPySettingRows.size(); ++i)
        if (kPySettingRows[i].member == member) return i;
    throw std::logic_error("a setting without a row");
}

// The rows 2 to 4 of VdxSystemMain.
void ReadMainRows(ProgramState& state, Database& db) {
    auto rows = ReadRows(db, kVdxSystemMain, "Value", 4);
    state.MainTableName = rows[1];
    state.RateTableCount = IntegerSetting("intRateTablesAnzahl", rows[2]);
    state.ProjectCount = IntegerSetting("intProjectAnzahl", rows[3]);
}

std::vector<std::string> ProjectNames(Database& db, const ProgramState& state) {
    if (state.ProjectCount < 1) return {};
    return ReadRows(db, kVdxSystemProjects, "Projects", state.ProjectCount);
}

// A value table of a computed study that does not match its settings.
struct DamagedTable {
    std::string description;
};

// The first column of a value table, when it holds exactly `count` rows of
// whole numbers from `low` to `high`. The rows are counted before anything
// is sized, so a count read from a damaged file allocates nothing.
std::vector<int64_t> ReadValueColumn(Database& db, const char* table, int64_t count, int64_t low, int64_t high) {
    auto damaged = [&](const std::string& what) { throw DamagedTable{std::string(table) + " " + what}; };
    if (!db.tableExists(table)) damaged("is missing");
    const TableDef def = db.tableDef(table);
    if (def.fields.empty()) damaged("has no column");
    TableStream rows(db, def.name, {def.fields[0].name});
    if (rows.rowCount() != count)
        damaged("has " + std::to_string(rows.rowCount()) + " rows where the settings need " + std::to_string(count));
    std::vector<int64_t> values;
    values.reserve(static_cast<size_t>(count));
    while (rows.next()) {
        const auto storage = rows.storage(0);
        const bool integer = storage == TableStream::Storage::Integer;
        const double d = integer || storage == TableStream::Storage::Real ? rows.real(0) : std::nan("");
        // Checked before it is converted: a real outside the 64-bit range
        // (2^63 and beyond) or no number at all has no whole value to take.
        if (!(d == std::floor(d)) || d < static_cast<double>(low) || d > static_cast<double>(high) ||
            (!integer && d >= 0x1p63))
            damaged("holds no valid whole number in row " + std::to_string(rows.position()));
        values.push_back(integer ? rows.value(0).asInteger() : static_cast<int64_t>(d));
    }
    return values;
}

// The class bounds and cells of a computed study, checked against the
// settings as a whole before the state takes any of them.
void LoadPersonYears(ProgramState& state, Database& db) {
    const PySettings& p = state.py;
    if (p.tableCount != 1 && p.tableCount != 3)
        throw DamagedTable{"VdxSystemPY holds " + std::to_string(p.tableCount) +
                           " person-years tables where 1 or 3 are possible"};
    if (p.ageBoundCount < 0 || p.calendarBoundCount < 0)
        throw DamagedTable{"VdxSystemPY holds a negative number of class bounds"};
    auto bounds = [&](const char* table, int count) {
        const auto rows = ReadValueColumn(db, table, count, INT16_MIN, INT16_MAX);
        std::vector<int16_t> out(1, 0);
        for (int64_t v : rows) out.push_back(static_cast<int16_t>(v));
        return out;
    };
    auto ageBounds = bounds(kVdxAgeClassValues, p.ageBoundCount);
    auto calendarBounds = bounds(kVdxYearClassValues, p.calendarBoundCount);
    const int tables = p.tableCount;
    const int ages = p.ageClassCount();
    const int periods = p.periodCount();
    const int64_t cellCount = int64_t{tables} * ages * periods;
    // Cells are whole days; they are written as 64-bit integers.
    const auto cells = ReadValueColumn(db, kVdxPyValues, cellCount, INT64_MIN, INT64_MAX);
    state.AgeBounds = std::move(ageBounds);
    state.CalendarBounds = std::move(calendarBounds);
    state.PyValues.resize(tables, ages, periods);
    size_t k = 0;
    for (int t = 1; t <= tables; ++t)
        for (int a = 1; a <= ages; ++a)
            for (int c = 1; c <= periods; ++c) state.PyValues.at(t, a, c) = cells[k++];
}

// The end of LoadProject and of UpgradeVersion2: the state and the navigator
// from the working copy's tables. Person-years tables that do not match
// their settings open as not computed, with a warning naming the table:
// the data tables and the settings stay usable, and a new run repairs them.
void LoadState(ProgramState& state, Database& db, Interaction& ui) {
    if (!state.MainTableName.empty()) {
        if (!db.tableExists(state.MainTableName))
            throw VdxError(err::ObjectNotFound, "Could not find the main data table '" +
                                                    state.MainTableName + "'.");
        AddMainTableEntry(state, state.MainTableName);
        state.MainTableFields = ClassifyColumns(db, state.MainTableName);
    }
    if (state.RateTableCount >= 1)
        for (const auto& name : ReadRows(db, kVdxSystemRateTables, "RateTables", state.RateTableCount))
            AddRateTableEntry(state, name);
    for (const auto& name : ProjectNames(db, state)) AddProjectEntry(state, name, IsSmrProject(db, name));

    state.py = PySettingsFromTexts(ReadRows(db, kVdxSystemPY, "Value", 24));

    if (state.py.computed) {
        try {
            LoadPersonYears(state, db);
            LoadExposureTables(db, state);
            AddPersonYearsEntries(state);
        } catch (const DamagedTable& d) {
            state.py.computed = false;
            state.AgeBounds.assign(1, 0);
            state.CalendarBounds.assign(1, 0);
            state.PyValues.clear();
            ui.message(state.ProjectFileName + ": the person-years tables are damaged (" + d.description +
                           "). The study is opened with person-years not computed; compute them again.",
                       Buttons::Ok, Icon::Exclamation, "Warning");
        }
    }
    AddPlotEntries(state);
    AddAnalysisEntries(state, db);
}

// Shows what stopped LoadProject or a conversion.
void ReportLoadError(const ProgramState& state, Interaction& ui, const VdxError& e) {
    if (e.number() == err::UnrecognizedDatabase)
        ui.message(NotAVeldrixFileText(state.ProjectFileName, e), Buttons::Ok, Icon::Critical, "Error");
    else
        ShowGeneralError(ui, e.number(), e.description());
}

// Opens the working copy; a database without the program's system table is
// not a project file either.
std::unique_ptr<Database> OpenWorkingCopy(const ProgramState& state) {
    auto db = Database::open(state.WorkingCopyName);
    if (!db->tableExists(kVdxSystemMain))
        throw VdxError(err::UnrecognizedDatabase,
                       "'" + state.ProjectFileName + "' holds no VdxSystemMain table.");
    return db;
}

void WrongConversionVersion(Interaction& ui) {
    ui.message(Message(msg::NotAFormerVersionFile), Buttons::Ok, Icon::Critical, "Error");
}

}  // namespace

std::string NotAVeldrixFileText(const std::string& path, const VdxError& e) {
    std::string text = path + " is not a VELDRIX file!";
    // A Jet file is a database all the same: what stopped the reading.
    if (IsJetDatabaseFile(path)) text += "\r\n" + e.description();
    return text;
}

const std::vector<std::string>& SystemMainKeys() {
    static const std::vector<std::string> keys{"Version", "MainTable", "intRateTablesAnzahl",
                                               "intProjectAnzahl", "SMRReportHeading"};
    return keys;
}

const std::vector<std::string>& SystemPyKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k;
        for (const auto& row : kPySettingRows) k.emplace_back(row.key);
        return k;
    }();
    return keys;
}

void CreateSystemTables(Database& db) {
    auto text = [](const char* name, bool allowZeroLength) {
        return FieldDef{name, FieldType::Text, 255, allowZeroLength};
    };
    db.beginTransaction();
    try {
        db.createTable({kVdxSystemMain, 0, {text("Typ", false), text("Value", true)}});
        db.createTable({kVdxSystemPY, 0, {text("Typ", false), text("Value", true)}});
        db.createTable({kVdxSystemRateTables, 0, {text("RateTables", false)}});
        db.createTable(PyValuesTable());
        db.createTable(AgeClassValuesTable());
        db.createTable(YearClassValuesTable());
        db.createTable({kVdxSystemProjects, 0, {text("Projects", false)}});

        auto rs = db.openRecordset(kVdxSystemMain);
        for (const auto& key : SystemMainKeys()) {
            rs->addNew();
            rs->setValue("Typ", Value::text(key));
            if (key == "SMRReportHeading") rs->setValue("Value", Value::text(kSmrReportHeadingDefault));
            rs->update();
        }
        rs = db.openRecordset(kVdxSystemPY);
        for (const auto& key : SystemPyKeys()) {
            rs->addNew();
            rs->setValue("Typ", Value::text(key));
            rs->update();
        }
        rs.reset();
        db.commit();
    } catch (...) {
        db.rollback();
        throw;
    }
}

void RecreateValueTables(Database& db) {
    for (const TableDef& def : {AgeClassValuesTable(), YearClassValuesTable(), PyValuesTable()}) {
        if (db.tableExists(def.name)) db.deleteTable(def.name);
        db.createTable(def);
    }
}

std::vector<std::string> PySettingTexts(const PySettings& py) {
    std::vector<std::string> texts;
    for (const auto& row : kPySettingRows) texts.push_back(SettingText(py, row));
    return texts;
}

PySettings PySettingsFromTexts(const std::vector<std::string>& texts) {
    if (texts.size() < kPySettingRows.size())
        throw VdxError(err::NoCurrentRecord, "No current record: too few settings rows.");
    PySettings py;
    for (size_t i = 0; i < kPySettingRows.size(); ++i) ReadSetting(py, kPySettingRows[i], texts[i]);
    return py;
}

std::vector<std::string> ReadRows(Database& db, const std::string& table, const std::string& column,
                                  int count) {
    std::vector<std::string> out;
    auto rs = db.openRecordset(table);
    const int index = rs->fieldIndex(column);
    rs->moveFirst();
    for (int i = 0; i < count; ++i) {
        if (rs->eof())
            throw VdxError(err::NoCurrentRecord, "No current record: " + table + " has " +
                                                     std::to_string(i) + " rows, " +
                                                     std::to_string(count) + " are needed.");
        out.push_back(TextOf(rs->value(index)));
        rs->moveNext();
    }
    return out;
}

void WriteProjectState(ProgramState& state, Database& db) {
    db.beginTransaction();
    try {
        WriteRows(db, kVdxSystemMain,
                  {state.FormatVersion, state.MainTableName, std::to_string(state.RateTableCount),
                   std::to_string(state.ProjectCount)});
        WriteRows(db, kVdxSystemPY, PySettingTexts(state.py));
        const PySettings& py = state.py;
        if (py.computed) {
            // All three go before any is made again, as files have always
            // been written (the run recreates them one by one).
            const TableDef valueTables[] = {AgeClassValuesTable(), YearClassValuesTable(), PyValuesTable()};
            for (const TableDef& def : valueTables)
                if (db.tableExists(def.name)) db.deleteTable(def.name);
            for (const TableDef& def : valueTables) db.createTable(def);

            auto bounds = [](const std::vector<int16_t>& b, int count, const char* what) {
                if (count > 0 && static_cast<size_t>(count) >= b.size()) SubscriptOutOfRange(what);
                return std::vector<int64_t>(b.begin() + 1, b.begin() + 1 + std::max(count, 0));
            };
            AddRows(db, kVdxAgeClassValues, bounds(state.AgeBounds, py.ageBoundCount, "age class bounds"));
            AddRows(db, kVdxYearClassValues,
                    bounds(state.CalendarBounds, py.calendarBoundCount, "calendar class bounds"));
            const int tables = py.tableCount;
            const int ages = py.ageClassCount();
            const int periods = py.periodCount();
            if (tables > state.PyValues.tables() || ages > state.PyValues.ageClasses() ||
                periods > state.PyValues.periods())
                SubscriptOutOfRange("person-years cells");
            std::vector<int64_t> cells;
            for (int t = 1; t <= tables; ++t)
                for (int a = 1; a <= ages; ++a)
                    for (int c = 1; c <= periods; ++c) cells.push_back(state.PyValues.at(t, a, c));
            // Cells are written as 64-bit integers: a cell beyond 2^31 - 1 days
            // is kept whole rather than refused or wrapped.
            AppendIntegerRows(db, kVdxPyValues, "PersonYears", cells);
        }
        db.commit();
    } catch (...) {
        db.rollback();
        throw;
    }
}

void StoreProject(ProgramState& state) {
    // The rename that replaces the project file needs no permission on the
    // file itself: a file its owner made read-only is refused here, and so
    // is a study opened read-only (on a medium that cannot be written).
    if (IsReadOnlyFile(state.ProjectFileName) || WorksOnReadOnlyCopy(state))
        throw VdxError(err::PathAccess, "Path/File access error. " + state.ProjectFileName +
                                            " is read-only; it was not overwritten.");
    {
        auto db = Database::open(state.WorkingCopyName);
        WriteProjectState(state, *db);
        db->close();  // closed before it is copied
    }
    if (state.SaveFormat == ProjectFormat::Jet) {
        WriteJetProjectFile(state.WorkingCopyName, state.ProjectFileName);
        return;
    }
    // A Jet file saved in our format: the Jet original stays beside it, for
    // colleagues still on the earlier program.
    if (IsJetDatabaseFile(state.ProjectFileName))
        ReplaceFileSafely(state.ProjectFileName, JetBackupPath(state.ProjectFileName));
    ReplaceFileSafely(state.WorkingCopyName, state.ProjectFileName);
}

bool LoadProject(ProgramState& state, Interaction& ui) {
    try {
        MakeWorkingCopy(state.ProjectFileName, state.WorkingCopyName);
        auto db = OpenWorkingCopy(state);
        const std::string version = ReadRows(*db, kVdxSystemMain, "Value", 1)[0];
        if (version != state.FormatVersion) {
            if (version == "1.0") {
                db.reset();
                RemoveDatabaseFiles(state.WorkingCopyName);
                bool ok = UpgradeVersion1(state, ui);
                if (ok) ok = UpgradeVersion2(state, ui, true);
                state.ProjectUpgraded = ok;
                return ok;
            }
            if (version == "2.0") {
                db.reset();
                RemoveDatabaseFiles(state.WorkingCopyName);
                const bool ok = UpgradeVersion2(state, ui, false);
                state.ProjectUpgraded = ok;
                return ok;
            }
            ui.message(Message(msg::WrongFileVersion), Buttons::Ok, Icon::Critical, "Error");
            return false;
        }
        ReadMainRows(state, *db);
        LoadState(state, *db, ui);
        return true;
    } catch (const VdxError& e) {
        ReportLoadError(state, ui, e);
        return false;
    }
}

bool UpgradeVersion1(ProgramState& state, Interaction& ui) {
    try {
        MakeWorkingCopy(state.ProjectFileName, state.WorkingCopyName);
        auto db = OpenWorkingCopy(state);
        {
            auto main = db->openRecordset(kVdxSystemMain);
            if (main->eof() || TextOf(main->value("Value")) != "1.0") {
                WrongConversionVersion(ui);
                return false;
            }
            main->edit();
            main->setValue("Value", Value::text("2.0"));
            main->update();
        }
        ReadMainRows(state, *db);
        const auto projects = ProjectNames(*db, state);
        db->beginTransaction();
        for (const auto& p : projects)
            db->addColumn(p + "_SMR", {"Figures", FieldType::Double, 0});
        for (const auto& p : projects) {
            auto rs = db->openRecordset(p + "_SMR");
            rs->moveFirst();
            rs->move(5);  // the 6th row
            for (int row = 6; row <= 17; ++row) {
                if (rs->eof())
                    throw VdxError(err::NoCurrentRecord, "No current record: " + p + "_SMR has " +
                                                             std::to_string(row - 1) + " rows.");
                const std::string text = TextOf(rs->value("Values"));
                rs->edit();
                // A blank value stays empty; anything else must be a number.
                const bool blank = text.find_first_not_of(" \t") == std::string::npos;
                rs->setValue("Figures", blank ? Value::null() : Value::text(text));
                rs->setValue("Values", Value::text(""));
                rs->update();
                rs->moveNext();
            }
            rs->addNew();
            rs->setValue("Typ", Value::text(smr_row::Method));
            rs->setValue("Values", Value::text("Byar"));
            rs->update();
        }
        db->commit();
        return true;
    } catch (const VdxError& e) {
        ReportLoadError(state, ui, e);
        return false;
    }
}

bool UpgradeVersion2(ProgramState& state, Interaction& ui, bool prepared) {
    try {
        if (!prepared) MakeWorkingCopy(state.ProjectFileName, state.WorkingCopyName);
        auto db = OpenWorkingCopy(state);
        db->beginTransaction();
        {
            auto main = db->openRecordset(kVdxSystemMain);
            if (main->eof() || TextOf(main->value("Value")) != "2.0") {
                db->rollback();
                WrongConversionVersion(ui);
                return false;
            }
            main->edit();
            main->setValue("Value", Value::text("3.0"));
            main->update();
        }
        ReadMainRows(state, *db);
        {
            auto main = db->openRecordset(kVdxSystemMain);
            main->addNew();
            main->setValue("Typ", Value::text("SMRReportHeading"));
            main->setValue("Value", Value::text(kSmrReportHeadingDefault));
            main->update();
        }
        const auto projects = ProjectNames(*db, state);
        if (!projects.empty()) {
            // The sex codes as the file stores them (rows 19 and 20 of VdxSystemPY).
            const auto py = ReadRows(*db, kVdxSystemPY, "Value", 20);
            PySettings sexes;
            for (SettingMember member : {SettingMember(&PySettings::sexCode1), SettingMember(&PySettings::sexCode2)}) {
                const size_t row = SettingRow(member);
                ReadSetting(sexes, kPySettingRows[row], py[row]);
            }
            for (const auto& p : projects) {
                auto rs = db->openRecordset(p + "_SMR");
                rs->moveFirst();
                rs->move(2);  // the 3rd row, PyTable
                if (rs->eof())
                    throw VdxError(err::NoCurrentRecord, "No current record: " + p + "_SMR has no PyTable row.");
                const auto number = ReadNumber(TextOf(rs->value("Values")));
                if (number && (*number == 1 || *number == 2 || *number == 3)) {
                    rs->edit();
                    rs->setValue("Values", Value::text(PyTableName(sexes, static_cast<int>(*number))));
                    rs->update();
                }
                rs->addNew();
                rs->setValue("Typ", Value::text(smr_row::MainTable));
                rs->setValue("Values", Value::text(state.MainTableName));
                rs->update();
                rs->addNew();
                rs->setValue("Typ", Value::text(smr_row::DeathValues));
                rs->setValue("Values", Value::text(""));
                rs->update();
            }
        }
        db->commit();
        LoadState(state, *db, ui);
        return true;
    } catch (const VdxError& e) {
        ReportLoadError(state, ui, e);
        return false;
    }
}

std::vector<FieldInfo> ClassifyColumns(Database& db, const std::string& table) {
    auto rs = db.openRecordset(table);
    std::vector<FieldInfo> out;
    const bool hasRow = !rs->eof();
    for (int i = 0; i < rs->fieldCount(); ++i) {
        FieldInfo info{rs->field(i).name, ""};
        if (hasRow) {
            const Value v = rs->value(i);
            if (v.isNumber() || (v.kind() == Value::Kind::Text && ReadNumber(v.asText())))
                info.type = "numeric";
            if (v.kind() == Value::Kind::Date || (v.kind() == Value::Kind::Text && ReadDate(v.asText())))
                info.type = "date";
        }
        out.push_back(std::move(info));
    }
    return out;
}

}  // namespace vdx::db
