// The Database object over an SQLite connection: opening and recognising
// the program's files, table definitions, and SQLite errors turned into the
// engine's error numbers.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_set>

#include "db/db_internal.h"

namespace vdx::db {

using namespace detail;

namespace detail {

Statement::Statement(Database& db, const std::string& sql) : db_(db) {
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db.handle(), sql.c_str(), static_cast<int>(sql.size()), &stmt_,
                                &tail);
    if (rc != SQLITE_OK) db.raise(rc);
    if (!stmt_) Fail(err::EngineGeneral, "Empty statement.");
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    atStart_ = true;
}

bool Statement::step() {
    if (atStart_) ++db_.readCounts_.queries;
    atStart_ = false;
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        ++db_.readCounts_.rows;
        return true;
    }
    atStart_ = true;  // a step after the end runs the query again
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt_);
    db_.raise(rc);
}

void Statement::bind(int index1, const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Null: sqlite3_bind_null(stmt_, index1); break;
        case Value::Kind::Boolean: sqlite3_bind_int64(stmt_, index1, value.asBool() ? -1 : 0); break;
        case Value::Kind::Integer: sqlite3_bind_int64(stmt_, index1, value.asInteger()); break;
        case Value::Kind::Double:
        case Value::Kind::Date: sqlite3_bind_double(stmt_, index1, value.asDouble()); break;
        case Value::Kind::Text: bindText(index1, value.asText()); break;
    }
}

void Statement::bindText(int index1, const std::string& text) {
    sqlite3_bind_text(stmt_, index1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Statement::bindInt(int index1, int64_t value) { sqlite3_bind_int64(stmt_, index1, value); }

Value ColumnValue(sqlite3_stmt* stmt, int column, const FieldDef& field) {
    const int storage = sqlite3_column_type(stmt, column);
    if (storage == SQLITE_NULL) return Value::null();
    if (storage == SQLITE_TEXT || storage == SQLITE_BLOB) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        std::string text(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
        return Value::text(std::move(text));
    }
    switch (field.type) {
        case FieldType::Boolean: return Value::boolean(sqlite3_column_int64(stmt, column) != 0);
        case FieldType::Integer:
        case FieldType::Long:
            if (storage == SQLITE_INTEGER) return Value::integer(sqlite3_column_int64(stmt, column));
            return Value::real(sqlite3_column_double(stmt, column));
        case FieldType::Single:
        case FieldType::Double: return Value::real(sqlite3_column_double(stmt, column));
        case FieldType::Date: return Value::date(sqlite3_column_double(stmt, column));
        case FieldType::Text:
        case FieldType::Memo: break;
    }
    // A number stored in a text column (a file written by other tools).
    if (storage == SQLITE_INTEGER) return Value::integer(sqlite3_column_int64(stmt, column));
    return Value::real(sqlite3_column_double(stmt, column));
}

std::vector<FieldDef> TableFields(Database& db, const std::string& table) {
    Statement st(db, "PRAGMA table_info(" + QuoteIdentifier(table) + ")");
    std::vector<FieldDef> fields;
    while (st.step()) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
        const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 2));
        fields.push_back(FieldFromDeclaredType(name ? name : "", type ? type : ""));
    }
    return fields;
}

std::string RowOrderName(const std::vector<FieldDef>& fields, const std::string& table) {
    std::string taken;
    for (const char* name : {"rowid", "_rowid_", "oid"}) {
        const auto it = std::find_if(fields.begin(), fields.end(), [&](const FieldDef& f) { return SameName(f.name, name); });
        if (it == fields.end()) return name;
        taken += (taken.empty() ? "" : ", ") + it->name;
    }
    Fail(err::InvalidName, "Table '" + table + "' cannot keep its rows in order: its columns " + taken +
                               " take all three names of the row order; rename one of them.");
}

std::string CreateTableSql(const std::string& table, const std::vector<FieldDef>& fields) {
    std::string sql = "CREATE TABLE " + QuoteIdentifier(table) + " (";
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) sql += ", ";
        sql += QuoteIdentifier(fields[i].name) + " " + DeclaredType(fields[i]);
    }
    return sql + ")";
}

}  // namespace detail

namespace {

[[noreturn]] void NotOurDatabase(const std::string& path) {
    Fail(err::UnrecognizedDatabase, "Unrecognized database format '" + path + "'.");
}

uint32_t BigEndian(const unsigned char* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

// A file is one of ours when it carries SQLite's header and is at least as
// long as the header says (a copy cut short by a crash or a full disk is
// refused here rather than failing later in the middle of a command).
void CheckDatabaseFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        Fail(err::FileNotFound, "Could not find file '" + path + "'.");
    if (S_ISDIR(st.st_mode)) Fail(err::PathAccess, "'" + path + "' is a folder, not a file.");
    unsigned char header[100];
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(err::PermissionDenied, "Could not read file '" + path + "'.");
    if (st.st_size < 100 || !in.read(reinterpret_cast<char*>(header), sizeof header))
        NotOurDatabase(path);
    if (std::memcmp(header, "SQLite format 3", 16) != 0) NotOurDatabase(path);
    uint32_t pageSize = BigEndian(header + 16, 2);
    if (pageSize == 1) pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) NotOurDatabase(path);
    const uint32_t changeCounter = BigEndian(header + 24, 4);
    const uint32_t pages = BigEndian(header + 28, 4);
    const uint32_t validFor = BigEndian(header + 92, 4);
    if (changeCounter == validFor && pages > 0 &&
        static_cast<uint64_t>(st.st_size) < static_cast<uint64_t>(pages) * pageSize)
        NotOurDatabase(path);
    if (st.st_size % pageSize != 0) NotOurDatabase(path);
}

// A field's own name and size, as a table definition needs them.
void CheckField(const FieldDef& field) {
    RequireValidName(field.name);
    if (field.type == FieldType::Text && (field.size < 1 || field.size > 255))
        Fail(err::InvalidFieldType, "Invalid text size " + std::to_string(field.size) + " for field '" + field.name + "' (1 to 255).");
}

[[noreturn]] void FailFieldDefinedTwice(const std::string& name) {
    Fail(err::FieldDefinedTwice, "Cannot define field '" + name + "' more than once.");
}

void Configure(sqlite3* db) {
    // The working copy is scratch space: Save flushes the project file
    // itself to disk, so the copy need not be synced after every change.
    sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    sqlite3_extended_result_codes(db, 0);
}

}  // namespace

Database::Database(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

Database::~Database() { close(); }

std::unique_ptr<Database> Database::create(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) Fail(err::ObjectExists, "Database '" + path + "' already exists.");
    const auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder))
        Fail(err::PathAccess, "'" + folder.string() + "' is not a valid path.");
    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = handle ? sqlite3_errmsg(handle) : "cannot create";
        sqlite3_close(handle);
        Fail(err::PermissionDenied, "Could not create database '" + path + "': " + msg + ".");
    }
    std::unique_ptr<Database> db(new Database(handle, path));
    Configure(handle);
    // Writes the header now, so that the file is a database even while it
    // has no tables, and marks it as the program's ("VDX1").
    rc = sqlite3_exec(handle, "PRAGMA application_id=1447319601", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) db->raise(rc, path);
    return db;
}

std::unique_ptr<Database> Database::open(const std::string& path) {
    CheckDatabaseFile(path);
    sqlite3* handle = nullptr;
    // A connection is used by one thread at a time: SQLite need not lock it
    // on every call (the runs read millions of fields).
    int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(handle);
        if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) NotOurDatabase(path);
        Fail(err::PermissionDenied, "Could not open database '" + path + "'.");
    }
    std::unique_ptr<Database> db(new Database(handle, path));
    Configure(handle);
    // Reading the schema proves the file is a database and not damaged at its start.
    rc = sqlite3_exec(handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) db->raise(rc, path);
    return db;
}

void Database::close() {
    if (!db_) return;
    if (transactionDepth_ > 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    transactionDepth_ = 0;
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void Database::raise(int code, const std::string& context) const {
    const std::string what = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    switch (code & 0xFF) {
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT: NotOurDatabase(context.empty() ? path_ : context);
        case SQLITE_FULL: Fail(err::DiskFull, "Disk full (" + what + ").");
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_CANTOPEN:
            Fail(err::PermissionDenied, "Permission denied: '" + path_ + "' (" + what + ").");
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            Fail(err::FileInUse, "Could not use '" + path_ + "'; file already in use.");
        default: break;
    }
    // Statements that reach SQLite unchanged name missing or taken tables
    // in their message; give those the engine's numbers too.
    if (what.rfind("no such table: ", 0) == 0) FailObjectNotFound(what.substr(15));
    if (what.rfind("table ", 0) == 0 && what.size() > 21 &&
        what.compare(what.size() - 15, 15, " already exists") == 0)
        FailTableExists(what.substr(6, what.size() - 21));
    Fail(err::EngineGeneral, what);
}

std::string Database::canonicalTableName(const std::string& name) {
    if (!db_) Fail(err::EngineGeneral, "The database is closed.");
    Statement st(*this, "SELECT name FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE");
    st.bindText(1, name);
    if (!st.step()) return {};
    return reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
}

bool Database::tableExists(const std::string& name) { return !canonicalTableName(name).empty(); }

std::vector<TableDef> Database::tableDefs() {
    if (!db_) Fail(err::EngineGeneral, "The database is closed.");
    std::vector<std::string> names;
    {
        Statement st(*this, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid");
        while (st.step()) names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    }
    std::vector<TableDef> defs;
    for (const auto& name : names) {
        TableDef def;
        def.name = name;
        if (Lower(name).rfind("sqlite_", 0) == 0) def.attributes = kSystemObjectAttributes;
        def.fields = TableFields(*this, name);
        defs.push_back(std::move(def));
    }
    return defs;
}

TableDef Database::tableDef(const std::string& name) {
    for (auto& def : tableDefs())
        if (SameName(def.name, name)) return def;
    FailObjectNotFound(name);
}

void Database::createTable(const TableDef& def) {
    RequireValidName(def.name);
    if (def.fields.empty())
        Fail(err::EngineGeneral, "Table '" + def.name + "' has no fields; a table needs at least one.");
    if (def.fields.size() > kMaxTableColumns)
        Fail(err::TooManyFields, "Table '" + def.name + "' would have " + std::to_string(def.fields.size()) +
                                     " columns; a table can have at most " + std::to_string(kMaxTableColumns) + ".");
    std::unordered_set<std::string> seen;
    for (const auto& field : def.fields) {
        CheckField(field);
        if (!seen.insert(Lower(field.name)).second) FailFieldDefinedTwice(field.name);
    }
    RowOrderName(def.fields, def.name);  // a table must not hide its row order
    if (tableExists(def.name)) FailTableExists(def.name);
    Statement st(*this, CreateTableSql(def.name, def.fields));
    st.step();
}

void Database::addColumn(const std::string& table, const FieldDef& field) {
    RequireValidName(table);
    const std::string canonical = canonicalTableName(table);
    if (canonical.empty()) FailObjectNotFound(table);
    CheckField(field);
    std::vector<FieldDef> fields = TableFields(*this, canonical);
    for (const auto& existing : fields)
        if (SameName(existing.name, field.name)) FailFieldDefinedTwice(field.name);
    fields.push_back(field);
    if (fields.size() > kMaxTableColumns)
        Fail(err::TooManyFields, "Table '" + canonical + "' cannot have more than " +
                                     std::to_string(kMaxTableColumns) + " columns.");
    RowOrderName(fields, canonical);  // the new column must not hide the last name of the row order
    Statement st(*this, "ALTER TABLE " + QuoteIdentifier(canonical) + " ADD COLUMN " + QuoteIdentifier(field.name) +
                            " " + DeclaredType(field));
    st.step();
}

void Database::deleteTable(const std::string& name) {
    const std::string canonical = canonicalTableName(name);
    if (canonical.empty()) FailObjectNotFound(name);
    Statement st(*this, "DROP TABLE " + QuoteIdentifier(canonical));
    st.step();
}

void Database::renameTable(const std::string& oldName, const std::string& newName) {
    const std::string canonical = canonicalTableName(oldName);
    if (canonical.empty()) FailObjectNotFound(oldName);
    RequireValidName(newName);
    if (canonical == newName) return;
    if (!SameName(canonical, newName) && tableExists(newName)) FailTableExists(newName);
    auto rename = [&](const std::string& from, const std::string& to) {
        Statement st(*this, "ALTER TABLE " + QuoteIdentifier(from) + " RENAME TO " + QuoteIdentifier(to));
        st.step();
    };
    if (SameName(canonical, newName)) {
        // Only the letter case changes: go through a free name.
        std::string temp = "vdx_rename_" + std::to_string(reinterpret_cast<uintptr_t>(this));
        rename(canonical, temp);
        rename(temp, newName);
    } else {
        rename(canonical, newName);
    }
}

std::unique_ptr<Recordset> Database::openRecordset(const std::string& tableNameOrSql) {
    if (!db_) Fail(err::EngineGeneral, "The database is closed.");
    // A SELECT text (the first word, followed by a blank or a line break) or a table name.
    const size_t start = tableNameOrSql.find_first_not_of(" \t\r\n");
    if (start != std::string::npos && Lower(tableNameOrSql.substr(start, 6)) == "select" &&
        start + 6 < tableNameOrSql.size() && std::isspace(static_cast<unsigned char>(tableNameOrSql[start + 6])))
        return OpenQueryRecordset(*this, tableNameOrSql);
    const std::string canonical = canonicalTableName(tableNameOrSql);
    if (canonical.empty()) FailObjectNotFound(tableNameOrSql);
    return OpenTableRecordset(*this, canonical);
}

void Database::beginTransaction() {
    if (transactionDepth_++ == 0) {
        int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            transactionDepth_ = 0;
            raise(rc);
        }
    }
}

void Database::commit() {
    if (transactionDepth_ == 0) return;
    if (--transactionDepth_ == 0) {
        int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            raise(rc);
        }
    }
}

void Database::rollback() {
    if (transactionDepth_ == 0) return;
    transactionDepth_ = 0;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

}  // namespace vdx::db
