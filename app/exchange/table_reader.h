// Reading the tables of foreign databases and files. Each format has one
// reader class behind the TableReader interface; OpenTableReader picks it by
// the connect string's type, as the attach commands name their sources
// ("Excel 5.0;", "dBASE III;", "Paradox 4.x;", "ODBC;...", "" for Access).
//
// Readers never hold a whole table in memory for the caller: rows are handed
// one at a time to a callback, in the order of the source.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "state/value.h"

namespace vdx::exchange {

struct ColumnSpec {
    std::string name;
    FieldType type = FieldType::Text;
    int size = 0;  // characters, for Text; 0 for the other types
    bool operator==(const ColumnSpec&) const = default;
};

// Told how far a read has come; returning false cancels the read (readRows
// then returns without further rows).
struct ReadProgress {
    virtual ~ReadProgress() = default;
    virtual bool report(double fraction) = 0;
};

using RowCallback = std::function<bool(const std::vector<Value>&)>;

class TableReader {
public:
    virtual ~TableReader() = default;
    // The tables of the source, as the source names them (sheets end in "$").
    virtual std::vector<std::string> tableNames() = 0;
    // The columns of a table; VdxError 3011 when there is no such table.
    virtual std::vector<ColumnSpec> columns(const std::string& table) = 0;
    // Calls onRow for each row in source order, with one value per column of
    // columns(table); stops early when onRow returns false.
    virtual void readRows(const std::string& table, const RowCallback& onRow,
                          ReadProgress* progress = nullptr) = 0;
};

// The source kinds a connect string names.
enum class SourceKind { Access, Excel, DBase, Paradox, Text, Odbc, Xlsx, Stata, Sas, SasTransport, Spss, Csv };

struct ConnectInfo {
    SourceKind kind = SourceKind::Access;
    std::string type;      // "Excel 5.0", "dBASE IV", ... ("" for Access)
    std::string database;  // DATABASE= of the connect string, if any
    std::string odbc;      // for ODBC: the connection string after "ODBC;"
};

// Reads the type and DATABASE= part of a connect string such as
// "Excel 5.0;", "dBASE III;;DATABASE=/data/" or "ODBC;DSN=cohort". The
// formats of one file per workbook or table: "Excel 12.0 Xml" (.xlsx),
// "Stata", "SAS", "SAS Transport", "SPSS" and "CSV".
// VdxError 3170 ("Could not find installable ISAM.") for an unknown type.
ConnectInfo ParseConnect(const std::string& connect);

// Opens the reader for a source. databaseName is the file for Access and
// Excel, the folder for dBase, Paradox and Text (table = file title without
// its extension), the file itself for the formats of one table per file; for ODBC it is unused. When databaseName is empty, the
// connect string's DATABASE= part is used.
std::unique_ptr<TableReader> OpenTableReader(const std::string& connect,
                                             const std::string& databaseName);

}  // namespace vdx::exchange
