// Connect strings and the registry of foreign formats. Later parts of the
// program plug their readers and writers (Excel, dBase, Paradox, text, ODBC,
// HTML) in here; the adapter's SELECT INTO and attached tables dispatch by
// the connect string's type.
#include <deque>
#include <mutex>

#include "db/db_internal.h"
#include "db/file_io.h"

namespace vdx::db {

using namespace detail;

ConnectString ConnectString::parse(const std::string& connect) {
    auto trim = [](const std::string& s) {
        const auto b = s.find_first_not_of(" \t");
        if (b == std::string::npos) return std::string();
        const auto e = s.find_last_not_of(" \t");
        return s.substr(b, e - b + 1);
    };
    std::vector<std::string> parts;
    size_t pos = 0;
    while (true) {
        const size_t end = connect.find(';', pos);
        parts.push_back(connect.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    ConnectString cs;
    // The type comes first ("Excel 5.0"); a first part with "=" is already
    // an attribute (a connect string without a type).
    size_t first = 0;
    if (parts[0].find('=') == std::string::npos) {
        cs.type = trim(parts[0]);
        first = 1;
    }
    for (size_t i = first; i < parts.size(); ++i) {
        const size_t eq = parts[i].find('=');
        if (eq == std::string::npos) continue;
        std::string key = trim(parts[i].substr(0, eq));
        std::string value = parts[i].substr(eq + 1);
        if (SameName(key, "DATABASE")) cs.database = value;
        cs.attributes.emplace_back(std::move(key), std::move(value));
    }
    return cs;
}

namespace {

std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}

// A deque keeps the entries in place, so FindForeignFormat's pointers stay valid.
std::deque<ForeignFormat>& Registry() {
    static std::deque<ForeignFormat> formats{OwnFormat()};
    return formats;
}

// The rows of a table of another own-format file; keeps the file open.
class OwnFileRows : public RowSource {
public:
    OwnFileRows(std::unique_ptr<Database> db, const std::string& table) : db_(std::move(db)) {
        if (!db_->tableExists(table)) FailObjectNotFound(table);
        rows_ = TableRows(*db_, table);
    }
    const std::vector<FieldDef>& fields() const override { return rows_->fields(); }
    bool next(std::vector<Value>& row) override { return rows_->next(row); }

private:
    std::unique_ptr<Database> db_;
    std::unique_ptr<RowSource> rows_;
};

[[noreturn]] void NoSuchFormat(const std::string& type, const char* what) {
    Fail(err::NotExpectedFormat, "External table is not in the expected format (no " +
                                     std::string(what) + " for '" + type + "').");
}

}  // namespace

ForeignFormat OwnFormat() {
    ForeignFormat f;
    f.type = "";
    f.listTables = [](const ConnectString& cs) {
        auto db = Database::open(cs.database);
        std::vector<std::string> names;
        for (const auto& def : db->tableDefs())
            if (!def.isSystemTable()) names.push_back(def.name);
        return names;
    };
    f.openTable = [](const ConnectString& cs, const std::string& table) -> std::unique_ptr<RowSource> {
        return std::make_unique<OwnFileRows>(Database::open(cs.database), table);
    };
    f.writeTable = [](const ConnectString& cs, const std::string& table, RowSource& rows) {
        auto db = FileExists(cs.database) ? Database::open(cs.database) : Database::create(cs.database);
        RequireValidName(table);
        if (db->tableExists(table)) FailTableExists(table);
        CopyRowsIntoNewTable(*db, table, rows);
    };
    return f;
}

void RegisterForeignFormat(ForeignFormat format) {
    std::lock_guard lock(RegistryMutex());
    auto& formats = Registry();
    for (auto& f : formats) {
        if (SameName(f.type, format.type)) {
            f = std::move(format);
            return;
        }
    }
    formats.push_back(std::move(format));
}

const ForeignFormat* FindForeignFormat(const std::string& type) {
    std::lock_guard lock(RegistryMutex());
    for (const auto& f : Registry())
        if (SameName(f.type, type)) return &f;
    return nullptr;
}

const std::vector<std::string>& KnownConnectTypes() {
    static const std::vector<std::string> types{
        "",          "Excel 3.0", "Excel 4.0", "Excel 5.0",   "Excel 8.0", "dBASE III",
        "dBASE IV",  "dBase 5.0", "Paradox 3.x", "Paradox 4.x", "Paradox 5.x", "Text",
        "ODBC",      "HTML Export"};
    return types;
}

std::vector<std::string> ListForeignTables(const std::string& connect) {
    const ConnectString cs = ConnectString::parse(connect);
    const ForeignFormat* f = FindForeignFormat(cs.type);
    if (!f || !f->listTables) NoSuchFormat(cs.type, "reader");
    return f->listTables(cs);
}

std::unique_ptr<RowSource> OpenForeignTable(const std::string& connect, const std::string& table) {
    const ConnectString cs = ConnectString::parse(connect);
    const ForeignFormat* f = FindForeignFormat(cs.type);
    if (!f || !f->openTable) NoSuchFormat(cs.type, "reader");
    return f->openTable(cs, table);
}

}  // namespace vdx::db
