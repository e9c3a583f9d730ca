// Writing Access databases: a new Jet 3 (Access 7.0/8.0) file holding any
// number of tables, laid out so that mdbtools (and with it AccessReader)
// reads every table back with its column types and its rows in the order
// they were added.
//
// Jet 3 is what Access 7.0/8.0 and the earlier program's project files use:
// 2 KiB pages, texts in Windows-1252 (a text with any other character is
// refused, never changed).
//
// What is written: the database definition page, the global usage map, the
// catalogue table MSysObjects (always on page 2), and per table its
// definition pages (chained when the columns do not fit one page), its data
// pages in ascending order with the rows in slot order, a usage map of the
// data pages (inline for small tables, through map pages beyond)
// and long-value pages for memos too long to stay in their row. No indexes, no
// properties, no other system tables.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exchange/io/writer_support.h"

namespace vdx::exchange {

class JetDatabaseWriter {
public:
    // Starts a new database that replaces targetPath on commit().
    explicit JetDatabaseWriter(const std::string& targetPath);
    ~JetDatabaseWriter();
    JetDatabaseWriter(const JetDatabaseWriter&) = delete;
    JetDatabaseWriter& operator=(const JetDatabaseWriter&) = delete;

    // Starts a table. Names have 1 to 64 characters (3125; all of them in
    // Windows-1252), a table name is
    // used once (3010), at most 255 columns (3190). Text sizes of 0 or more
    // than 255 characters become 255.
    void beginTable(const std::string& name, const std::vector<ColumnSpec>& columns);
    // One row, a value per column; rowNumber (from 1) names the row when a
    // value does not fit its column (VdxError 13), Null in a Yes/No column included.
    void addRow(const std::vector<Value>& row, uint64_t rowNumber);
    void endTable();
    // Writes the catalogue and puts the file in place of the target.
    void commit();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The Access 1.0 to 8.0 export choices: one database holding the one table.
// All five write a Jet 3 database, the format of Access 7.0/8.0, which the
// older versions' users open through those (Jet 1.x/2.x files would be read
// by fewer programs); an existing target is replaced as a whole, never added to.
class AccessTableWriter : public FileTableWriter {
public:
    using FileTableWriter::FileTableWriter;

protected:
    size_t columnLimit() const override { return 255; }
    void open(const std::vector<ColumnSpec>& columns) override;
    void put(const std::vector<Value>& row) override;
    void close() override;
    void abandon() override { database_.reset(); }

private:
    std::unique_ptr<JetDatabaseWriter> database_;
};

}  // namespace vdx::exchange
