// ODBC data sources, read through the unixODBC driver manager: the data
// sources it knows, and the tables of one source (owner- or schema-prefixed
// as the source names them, "public.cohort"), their columns and rows.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "exchange/io/table_reader.h"

namespace vdx::exchange {

struct OdbcDataSource {
    std::string name;
    std::string description;  // usually the driver's name
};

// The user and system data sources of the driver manager.
std::vector<OdbcDataSource> ListOdbcDataSources();

class OdbcReader : public TableReader {
public:
    // `connection` is an ODBC connection string ("DSN=cohort;UID=me" or
    // "DRIVER={SQLite3};DATABASE=/data/c.db"); a bare name is taken as a DSN.
    // VdxError 3151 with the driver's message when the connection fails.
    explicit OdbcReader(const std::string& connection);
    ~OdbcReader() override;
    OdbcReader(const OdbcReader&) = delete;
    OdbcReader& operator=(const OdbcReader&) = delete;

    // Tables and views, "schema.table" where the source has schemas.
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

private:
    std::string selectFrom(const std::string& table);
    void* env_ = nullptr;  // SQLHENV
    void* dbc_ = nullptr;  // SQLHDBC
    std::string quote_ = "\"";
    std::map<std::string, std::pair<std::string, std::string>> listed_;  // listed name -> schema, table
};

}  // namespace vdx::exchange
