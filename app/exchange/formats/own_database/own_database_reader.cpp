#include "exchange/formats/own_database/own_database_reader.h"

#include <cstring>
#include <fstream>

#include "db/db_internal.h"
#include "exchange/io/reader_support.h"

namespace vdx::exchange {

bool IsOwnDatabaseFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[16] = {};
    in.read(header, sizeof header);
    return in.gcount() == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
}

OwnDatabaseReader::OwnDatabaseReader(const std::string& path) : db_(db::Database::open(path)) {}

std::vector<std::string> OwnDatabaseReader::tableNames() {
    std::vector<std::string> names;
    for (const auto& def : db_->tableDefs())
        if (!def.isSystemTable()) names.push_back(def.name);
    return names;
}

std::vector<ColumnSpec> OwnDatabaseReader::columns(const std::string& table) {
    if (!db_->tableExists(table)) ThrowTableNotFound(table);
    std::vector<ColumnSpec> columns;
    for (const db::FieldDef& f : db::detail::TableFields(*db_, table))
        columns.push_back({f.name, f.type, f.type == FieldType::Text ? f.size : 0});
    return columns;
}

void OwnDatabaseReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    if (!db_->tableExists(table)) ThrowTableNotFound(table);
    const auto rows = db::detail::TableRows(*db_, table);
    ProgressTicker ticker(progress, 0);
    std::vector<Value> row;
    for (uint64_t done = 1; rows->next(row); ++done)
        if (!onRow(row) || !ticker.tick(done)) return;
    ticker.finish();
}

}  // namespace vdx::exchange
