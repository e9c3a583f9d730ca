// Helpers shared by the exchange tests: temporary folders and files, and
// reading a whole table into memory.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

#include <sqlite3.h>

#include "exchange/io/table_reader.h"
#include "state/errors.h"

namespace vdx {
// Readable values in test failures.
inline void PrintTo(const Value& v, std::ostream* os) {
    switch (v.kind()) {
        case Value::Kind::Null: *os << "Null"; break;
        case Value::Kind::Boolean: *os << (v.asBool() ? "True" : "False"); break;
        case Value::Kind::Integer: *os << "Integer " << v.asInteger(); break;
        case Value::Kind::Double: *os << "Double " << v.asDouble(); break;
        case Value::Kind::Date: *os << "Date " << v.asDouble(); break;
        case Value::Kind::Text: *os << "Text \"" << v.asText() << "\""; break;
    }
}
}  // namespace vdx

namespace vdx::exchange::testing {

// What a shell command prints on standard output (its errors go nowhere).
inline std::string CommandOutput(const std::string& command) {
    std::string out;
    std::FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    ::pclose(p);
    return out;
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("vdx_exchange_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string path() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes bytes to a file of the folder and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(file(name), std::ios::binary);
        out << bytes;
        return file(name);
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

using Rows = std::vector<std::vector<Value>>;

inline Rows ReadAll(TableReader& reader, const std::string& table) {
    Rows rows;
    reader.readRows(table, [&](const std::vector<Value>& row) {
        rows.push_back(row);
        return true;
    });
    return rows;
}

inline std::vector<std::string> Names(const std::vector<ColumnSpec>& columns) {
    std::vector<std::string> names;
    for (const ColumnSpec& c : columns) names.push_back(c.name);
    return names;
}

inline std::vector<FieldType> Types(const std::vector<ColumnSpec>& columns) {
    std::vector<FieldType> types;
    for (const ColumnSpec& c : columns) types.push_back(c.type);
    return types;
}

// One record of an Excel (BIFF) stream: type, 16-bit length, data.
inline std::string BiffRecord(uint16_t type, const std::string& data) {
    std::string r{static_cast<char>(type & 0xFF), static_cast<char>(type >> 8), static_cast<char>(data.size() & 0xFF),
                  static_cast<char>(data.size() >> 8)};
    return r + data;
}

// An Excel 2.1 NUMBER record: a cell of format 0 at (row, column).
inline std::string BiffNumber2(uint16_t row, uint16_t column, double value) {
    std::string data{static_cast<char>(row & 0xFF), static_cast<char>(row >> 8), static_cast<char>(column & 0xFF),
                     static_cast<char>(column >> 8), '\0', '\0', '\0'};
    data.append(reinterpret_cast<const char*>(&value), 8);
    return BiffRecord(0x0003, data);
}

// The error number a call throws, or 0 when it throws none.
template <typename F>
int ErrorNumberOf(F&& f) {
    try {
        f();
    } catch (const VdxError& e) {
        return e.number();
    }
    return 0;
}

// The number and message of the VdxError a call throws ({0, ""} when none).
template <typename F>
std::pair<int, std::string> ErrorOf(F&& f) {
    try {
        f();
    } catch (const VdxError& e) {
        return {e.number(), e.what()};
    }
    return {0, ""};
}

// A private unixODBC configuration in folder (drivers VdxSQLite3 and
// VdxPostgreSQL, one data source dsn on the SQLite database `database`,
// filled by sql), pointed at by ODBCSYSINI and ODBCINI so that the
// machine's own configuration is not touched.
inline void MakePrivateOdbcSource(TempFolder& folder, const std::string& dsn, const std::string& database,
                                  const char* sql) {
    folder.write("odbcinst.ini", "[VdxSQLite3]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n\n"
                                 "[VdxPostgreSQL]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so\n");
    folder.write("odbc.ini", "[" + dsn + "]\nDriver=VdxSQLite3\nDatabase=" + database + "\n");
    setenv("ODBCSYSINI", folder.path().c_str(), 1);
    setenv("ODBCINI", folder.file("odbc.ini").c_str(), 1);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

}  // namespace vdx::exchange::testing
