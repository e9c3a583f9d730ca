// Comma-separated export (RFC 4180): a header line of column names, then one
// record per row, fields separated by ",", records ended by CR LF, UTF-8
// without a byte-order mark. A field holding a comma, a double quote or a
// line break is put in double quotes, its quotes doubled. Dates are ISO
// ("1868-04-02", with " hh:mm:ss" when they carry a time of day), numbers
// the shortest text that reads back as the same double, booleans
// "True"/"False", Null an empty field. The file reads back through the CSV
// reader (csv_reader.h) with the same values.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "exchange/io/writer_support.h"

namespace vdx::exchange {

// Appends one field to a record: as it is, or in double quotes with its
// quotes doubled when it holds a comma, a double quote or a line break.
void AppendCsvField(std::string& record, std::string_view text);

class CsvTableWriter : public FileTableWriter {
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

}  // namespace vdx::exchange
