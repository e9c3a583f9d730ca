// dBase tables (.dbf): dBase III, IV and 5.0, and the FoxPro variants of the
// same layout. Character, numeric, float, date, logical and memo fields (the
// memo text lives in a .dbt or .fpt file beside the table); FoxPro's integer,
// double, currency and datetime fields as well. A folder is the database and
// each .dbf file one table, named by its file title.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "exchange/io/table_reader.h"
#include "exchange/io/text_encoding.h"

namespace vdx::exchange {

// One open .dbf file. Throws VdxError 3274 for a file that is no dBase table
// or is truncated.
class DbfTable {
public:
    explicit DbfTable(const std::string& path);
    ~DbfTable();
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;

    const std::vector<ColumnSpec>& columns() const { return columns_; }
    uint32_t recordCount() const { return recordCount_; }
    int version() const { return version_; }
    int codePage() const { return decoder_->codePage(); }
    // Reads the records in file order, skipping deleted ones.
    void readRows(const RowCallback& onRow, ReadProgress* progress);

private:
    struct Field {
        std::string name;
        char type = 'C';
        uint32_t offset = 0;  // in the record, after the deletion flag
        uint32_t length = 0;
        int decimals = 0;
        bool skipped = false;  // a binary field no column is made for
    };
    Value fieldValue(const Field& field, const unsigned char* data, uint32_t record);
    std::string readMemo(uint64_t block, const Field& field, uint32_t record);
    void openMemoFile();

    std::string path_;
    std::string name_;
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> fileOwner_;
    std::unique_ptr<std::FILE, FileCloser> memoOwner_;
    std::FILE* file_ = nullptr;  // fileOwner_.get()
    std::FILE* memo_ = nullptr;  // memoOwner_.get(), opened with the first memo
    std::vector<char> streamBuffer_;
    int version_ = 0;
    bool foxPro_ = false;
    uint32_t recordCount_ = 0;
    uint32_t headerLength_ = 0;
    uint32_t recordLength_ = 0;
    std::vector<Field> fields_;
    std::vector<ColumnSpec> columns_;
    std::unique_ptr<CodePageDecoder> decoder_;
    bool hasMemo_ = false;
    uint32_t memoBlockSize_ = 512;
    bool memoIsFoxPro_ = false;
    uint64_t memoSize_ = 0;
};

// The code page a dBase language driver byte (header byte 29) stands for;
// 0 for a driver byte of no known code page.
int DbfCodePage(int languageDriver);

class DBaseReader : public TableReader {
public:
    explicit DBaseReader(std::string folder) : folder_(std::move(folder)) {}
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

private:
    std::string fileOf(const std::string& table);
    std::string folder_;
};

}  // namespace vdx::exchange
