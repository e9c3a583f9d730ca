// The database engine as the program uses it: project files (and their
// working copies) are SQLite databases; this adapter gives them the
// operations and the behaviour the program was written for — typed tables
// and fields, recordsets that walk a table in insertion order, and
// errors that carry the old engine's numbers (see errors.h).
//
// Column metadata lives in the declared type of each SQLite column, so a
// project file explains itself in the sqlite3 shell:
//
//   TEXT(n)            text of at most n characters, zero-length text allowed
//   NONEMPTY TEXT(n)   text of at most n characters, zero-length text refused
//   LONGTEXT           memo (long text)
//   BIT                boolean (stored as -1 / 0)
//   SHORT              16-bit integer
//   LONG               32-bit integer
//   SINGLE             single-precision real
//   DOUBLE             double-precision real
//   DATE               day number (day 0 = 30 December 1899; SQLite keeps
//                      whole days as integers, they read back as dates)
//
// The adapter enforces these types when values are written (see
// Recordset::setValue). Table names compare without regard to letter case.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "state/errors.h"
#include "state/names.h"
#include "state/value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vdx::db {

// Table attributes: a table with any of these bits is an engine system table
// and is left out when tables are listed (SQLite's own sqlite_* tables).
inline constexpr uint32_t kSystemObjectAttributes = 0x80000002u;

struct FieldDef {
    std::string name;
    FieldType type = FieldType::Text;
    int size = 255;               // characters, for Text; 0 for the other types
    bool allowZeroLength = true;  // Text only

    bool operator==(const FieldDef&) const = default;
};

struct TableDef {
    std::string name;
    uint32_t attributes = 0;
    std::vector<FieldDef> fields;

    bool isSystemTable() const { return (attributes & kSystemObjectAttributes) != 0; }
};

// The declared SQLite type for a field and back (see the table above).
std::string DeclaredType(const FieldDef& field);
FieldDef FieldFromDeclaredType(const std::string& name, const std::string& declaredType);

// Names given by users (tables, columns, projects) are never trusted inside
// SQL. vdx::IsValidName (state/names.h) applies the naming rules: 1 to 64
// characters, no leading blank, no control characters and none of . ! ` [ ].
using vdx::IsValidName;
// "\"name\"" with embedded quotes doubled: SQLite's identifier quoting.
std::string QuoteIdentifier(const std::string& name);

class Recordset;

namespace detail {
class Statement;
}

class Database {
public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Creates an empty database; error 3012 (object exists) if the file exists.
    static std::unique_ptr<Database> create(const std::string& path);
    // Opens a database of the program's own format. A file that is not one —
    // not an SQLite file, empty, or shorter than its header says (truncated) —
    // gives error 3343; a missing file error 53 (file not found), a folder 75.
    static std::unique_ptr<Database> open(const std::string& path);

    const std::string& path() const { return path_; }
    bool isOpen() const { return db_ != nullptr; }
    // Closes the file; further calls fail. Recordsets must be gone first.
    void close();

    // Table definitions in creation order, engine system tables included
    // (flagged by their attributes).
    std::vector<TableDef> tableDefs();
    TableDef tableDef(const std::string& name);  // 3011 when missing
    bool tableExists(const std::string& name);
    // Creates a table of its own fields (3010 if the name is taken, 3125 for
    // an invalid table or field name).
    void createTable(const TableDef& def);
    // Adds a column at the end of a table (3125 for a name no table can
    // have, 3011 when the table is missing, 3191 when it has a column of
    // that name, 3190 beyond the column limit).
    void addColumn(const std::string& table, const FieldDef& field);
    void deleteTable(const std::string& name);  // 3011 when missing
    // 3010 when newName names another table, 3011 when oldName is missing.
    void renameTable(const std::string& oldName, const std::string& newName);

    // A recordset on a table by name (updatable) or on a SELECT text (read-only).
    std::unique_ptr<Recordset> openRecordset(const std::string& tableNameOrSql);

    // Transactions group many row changes into one write (much faster).
    void beginTransaction();
    void commit();
    void rollback();

    // For the adapter's own parts (recordsets, statements).
    sqlite3* handle() const { return db_; }

    // What the adapter's statements (recordsets, commands) have read so far:
    // queries run (a statement stepped from its start) and rows handed out.
    // Tests count them to see that a step reads a block, not the table.
    struct ReadCounts {
        int64_t queries = 0, rows = 0;
    };
    const ReadCounts& readCounts() const { return readCounts_; }
    // Throws the VdxError that belongs to an SQLite result code.
    [[noreturn]] void raise(int sqliteCode, const std::string& context = {}) const;

private:
    friend class detail::Statement;  // counts what it reads
    Database(sqlite3* db, std::string path);
    std::string canonicalTableName(const std::string& name);  // "" when missing

    sqlite3* db_ = nullptr;
    std::string path_;
    int transactionDepth_ = 0;
    ReadCounts readCounts_;
};

// A cursor over the rows of a table in insertion order. Rows are read on
// demand, so a recordset over a table of millions of rows opens, counts and
// moves to any row without loading the table: positions are found through a
// sparse index of rowids (one per 1024 rows) built on the first jump.
class Recordset {
public:
    virtual ~Recordset() = default;

    virtual void moveFirst() = 0;
    virtual void moveNext() = 0;
    // Moves n rows from the current one (negative: backwards); past the end
    // the recordset stands at EOF, before the first row on no row at all.
    virtual void move(int64_t rows) = 0;
    virtual bool eof() const = 0;
    // Number of rows (always exact).
    virtual int64_t recordCount() = 0;
    // Moves to the row of 0-based position `position` (3001 outside the rows).
    virtual void setAbsolutePosition(int64_t position) = 0;

    virtual int fieldCount() const = 0;
    virtual const FieldDef& field(int index) const = 0;  // 3265 when out of range
    virtual int fieldIndex(const std::string& name) const = 0;  // 3265 when missing
    // Value of the current row (3021 when there is none). During AddNew or
    // Edit the value being written is returned.
    virtual Value value(int index) = 0;
    Value value(const std::string& name) { return value(fieldIndex(name)); }

    // Editing: AddNew (a new row, added at the end) or Edit (the current row),
    // then setValue, then update() writes it; a move drops it. After update()
    // of a new row the current row is unchanged (as the old engine did);
    // remove() deletes the current row and leaves no current row until the
    // next move.
    virtual void addNew() = 0;
    virtual void edit() = 0;
    virtual void setValue(int index, const Value& value) = 0;
    void setValue(const std::string& name, const Value& v) { setValue(fieldIndex(name), v); }
    virtual void update() = 0;
    virtual void remove() = 0;
};

// Converts a value to what a field of the given definition stores: error 13
// (type mismatch) when it cannot be converted, 6 (overflow) when a number
// does not fit a 16- or 32-bit field or a single, 3163 when text is longer
// than the field's size, 3315 for "" where zero-length text is refused.
Value ConvertForField(const FieldDef& field, const Value& value);

// Rows in order, as a table of a database hands them out (detail::TableRows).
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual const std::vector<FieldDef>& fields() const = 0;
    // Fills row with the next row's values; false after the last row.
    virtual bool next(std::vector<Value>& row) = 0;
};

}  // namespace vdx::db
