// HTML export: a page with one table, the column names in its head row, the
// page's encoding (UTF-8) declared, every text escaped. Numbers are written
// exactly, dates as dd.mm.yyyy, Null as an empty cell.
#pragma once

#include <memory>
#include <string>

#include "exchange/io/writer_support.h"

namespace vdx::exchange {

class HtmlTableWriter : public FileTableWriter {
public:
    using FileTableWriter::FileTableWriter;

protected:
    void open(const std::vector<ColumnSpec>& columns) override;
    void put(const std::vector<Value>& row) override;
    void close() override;
    void abandon() override { file_.reset(); }

private:
    std::unique_ptr<AtomicFile> file_;
    std::string buffer_;
};

// Text with &, <, >, " and ' replaced by their character references.
std::string HtmlEscaped(const std::string& text);

}  // namespace vdx::exchange
