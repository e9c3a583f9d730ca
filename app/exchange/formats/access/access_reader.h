// Access databases (.mdb of Jet 3 and Jet 4, .accdb as far as mdbtools reads
// it), read through mdbtools. The user tables are the tables; system tables
// (attributes 0x80000002) and linked tables are left out. OLE-object and
// binary columns are left out too, as the program has no use for their bytes.
// mdbtools trusts the page layout it finds and can crash on a damaged file,
// so it runs in a child process (isolated_process.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "exchange/io/table_reader.h"

namespace vdx::exchange {

// The longest memo, in bytes of UTF-8, that the reader takes; a longer one
// fails the read.
inline constexpr size_t kAccessMemoBytes = (size_t{1} << 20) - 1;

class AccessReader : public TableReader {
public:
    // VdxError 53 when the file is missing, 3343 when it is no Access database.
    explicit AccessReader(const std::string& path);

    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

    // Rows come in the order of the data pages and of the row slots on each
    // page: the order in which they were added as long as no row of the
    // table was deleted (its slot can take a later row) or moved to another
    // page by an update that made it longer. "" when no page of the table
    // shows either, otherwise what was found.
    std::string rowOrderDoubt(const std::string& table);

private:
    std::string path_;
    std::vector<std::string> tables_;
};

}  // namespace vdx::exchange
