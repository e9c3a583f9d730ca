// Paradox tables (.db of Paradox 3.x, 4.x, 5.x and later), read through
// pxlib. A folder is the database and each .db file one table, named by its
// file title; memo texts come from the .mb file beside it. Binary, OLE and
// graphic fields are left out.
#pragma once

#include <string>
#include <vector>

#include "exchange/io/table_reader.h"

namespace vdx::exchange {

// What a Paradox header says, checked before pxlib reads the file (pxlib
// trusts the header and can read past its buffers on a damaged one).
struct ParadoxHeader {
    int recordSize = 0;
    int headerSize = 0;
    int fileType = 0;
    int blockSize = 0;
    long records = 0;
    int fileBlocks = 0;
    int fields = 0;
    int version = 0;   // the file's version byte: 3 = 3.0, 4 = 3.5, 5..9 = 4.x, 10..11 = 5.x, 12 = 7.x
    int codePage = 0;
    std::vector<std::pair<int, int>> fieldTypes;  // type, size
    // The data blocks in table order (the chain from the first block), with
    // the number of records each holds.
    std::vector<std::pair<int, int>> blocks;  // block number (from 1), records
};
// VdxError 3274 for a file that is no Paradox table, is truncated, protected
// by a password, or whose chain of data blocks is broken.
ParadoxHeader ReadParadoxHeader(const std::string& path);

class ParadoxReader : public TableReader {
public:
    explicit ParadoxReader(std::string folder) : folder_(std::move(folder)) {}
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

private:
    std::string fileOf(const std::string& table);
    std::string folder_;
};

}  // namespace vdx::exchange
