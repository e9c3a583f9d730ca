// Writing a table into a file of a foreign format: the mirror of the readers
// (table_reader.h). Each format has one writer class behind the TableWriter
// interface; MakeTableWriter picks it by format. No widgets: the caller hands
// in the columns, then the rows one at a time, then calls finish().
//
// Every writer is atomic. It writes into a temporary file in the target's
// folder and renames that over the target only when the table is complete,
// so a failure (a value the format cannot hold, a full disk, a cancel) leaves
// an existing target byte for byte as it was and no partial file behind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exchange/io/table_reader.h"

namespace vdx::exchange {

// The file formats a table can be written to. Excel 7.0 writes the Excel 5.0
// format (the same workbook layout); the Paradox 3.x choice writes a 4.x table.
// The five Access choices all write one Jet 3 database (jet_writer.h).
enum class WriterFormat {
    Text,       // semicolon-separated ASCII with a header line (.txt)
    Access,     // .mdb (Jet 3) holding the one table
    Html,       // a page with one table (.htm/.html)
    DBase3,     // .dbf
    DBase4,
    DBase5,
    Excel3,     // BIFF3 worksheet
    Excel4,     // BIFF4 worksheet
    Excel5,     // BIFF5 workbook ("Book" stream in a compound file)
    Excel7,     // as Excel5
    Excel8,     // BIFF8 workbook ("Workbook" stream)
    Paradox3,   // .db through pxlib
    Paradox4,
    Paradox5,
    Csv,        // RFC 4180, comma-separated UTF-8 with a header line (.csv)
    Xlsx,       // Excel 2007+ workbook through libxlsxwriter (.xlsx)
    Stata,      // Stata 14+ data file through libreadstat (.dta)
};

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

// The writer of a format. targetPath is the file to write (for dBase and
// Paradox the table's file, for ASCII and HTML the final name, for Access
// the database); tableName names the table inside the file where the format
// has such a name (sheet, page title, Paradox table name, Access table).
std::unique_ptr<TableWriter> MakeTableWriter(WriterFormat format, const std::string& targetPath,
                                             const std::string& tableName);

}  // namespace vdx::exchange
