// ASCII export: one line of column names, then one line per row, fields
// separated by ";", lines ended by CR LF, UTF-8. The file reads back through
// the ASCII import (text_import.h) unchanged: dates are written DDMMYYYY,
// numbers exactly (the shortest text that reads back as the same number), and
// a text that begins with a double quote is put in quotes, which the import
// takes off again. The import has no quoting that protects a ";" or a line
// break, so a text holding one is refused rather than written into the wrong
// columns.
#pragma once

#include <memory>
#include <string>

#include "exchange/io/writer_support.h"

namespace vdx::exchange {

class TextTableWriter : public FileTableWriter {
public:
    using FileTableWriter::FileTableWriter;

protected:
    void open(const std::vector<ColumnSpec>& columns) override;
    void put(const std::vector<Value>& row) override;
    void close() override;
    void abandon() override { file_.reset(); }

private:
    void field(const std::string& text, const std::string& column, uint64_t row);
    void flushIfFull();
    std::unique_ptr<AtomicFile> file_;
    std::string buffer_;
};

}  // namespace vdx::exchange
