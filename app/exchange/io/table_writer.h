// Writing a table into a file of a foreign format: the mirror of the readers
// (table_reader.h). Each format has one writer class behind the TableWriter
// interface; the table of formats (file_formats.h) makes it. No widgets: the
// caller hands in the columns, then the rows one at a time, then calls
// finish().
//
// Every writer is atomic. It writes into a temporary file in the target's
// folder and renames that over the target only when the table is complete,
// so a failure (a value the format cannot hold, a full disk, a cancel) leaves
// an existing target byte for byte as it was and no partial file behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exchange/io/table_reader.h"

namespace vdx::exchange {

class TableWriter {
public:
    // Destroying a writer before finish() abandons the table: the temporary
    // file goes, the target stays as it was.
    virtual ~TableWriter() = default;

    // Starts the table. expectedRows is the number of rows the caller will
    // hand in (0 when unknown); a format whose sheets hold fewer rows refuses
    // the table here, before anything is written. progress, when given, is
    // told the fraction done and may cancel.
    virtual void begin(const std::vector<ColumnSpec>& columns, uint64_t expectedRows,
                       ReadProgress* progress = nullptr) = 0;
    // One row, one value per column. Returns false when the user cancelled
    // through progress: the table is then abandoned and finish() does nothing.
    virtual bool writeRow(const std::vector<Value>& row) = 0;
    // Completes the file and puts it in place of the target.
    virtual void finish() = 0;
};

}  // namespace vdx::exchange
