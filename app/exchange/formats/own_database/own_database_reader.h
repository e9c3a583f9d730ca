// Tables of another project file (or working copy) of this program, read as
// an Access source: the Access entries accept them, as they did when the
// project files were Jet databases.
#pragma once

#include <memory>
#include <string>

#include "db/database.h"
#include "exchange/io/table_reader.h"

namespace vdx::exchange {

// Whether a file begins with the header of the program's own database format.
bool IsOwnDatabaseFile(const std::string& path);

class OwnDatabaseReader : public TableReader {
public:
    // Error 3343 for a file that is not a database of ours.
    explicit OwnDatabaseReader(const std::string& path);
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

private:
    std::unique_ptr<db::Database> db_;
};

}  // namespace vdx::exchange
