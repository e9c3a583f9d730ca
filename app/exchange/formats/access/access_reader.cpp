#include "exchange/formats/access/access_reader.h"

#include <glib.h>  // mdbtools.h includes it inside extern "C"; it must come first
#include <mdbtools.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "exchange/io/isolated_process.h"
#include "exchange/io/reader_support.h"
#include "state/errors.h"

namespace vdx::exchange {

namespace {

constexpr size_t kTextBindSize = 4096;        // 255 characters of up to 4 UTF-8 bytes, and more
constexpr size_t kMemoBindSize = kAccessMemoBytes + 1;  // and the terminating zero

bool IsSkippedType(int type) { return type == MDB_OLE || type == MDB_BINARY || type == MDB_COMPLEX; }

FieldType TypeOf(int mdbType) {
    switch (mdbType) {
        case MDB_BOOL: return FieldType::Boolean;
        case MDB_BYTE:
        case MDB_INT: return FieldType::Integer;
        case MDB_LONGINT: return FieldType::Long;
        case MDB_FLOAT: return FieldType::Single;
        case MDB_MONEY:
        case MDB_DOUBLE:
        case MDB_NUMERIC: return FieldType::Double;
        case MDB_DATETIME: return FieldType::Date;
        case MDB_MEMO: return FieldType::Memo;
        default: return FieldType::Text;  // text, replication ids
    }
}

// The user table of that name, read with its columns; nullptr when missing.
struct TableCloser {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableCloser>;

MdbCatalogEntry* FindUserTable(MdbHandle* mdb, const std::string& name) {
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry) && SameName(entry->object_name, name))
            return entry;
    }
    return nullptr;
}

TablePtr OpenTable(MdbHandle* mdb, const std::string& name) {
    MdbCatalogEntry* entry = FindUserTable(mdb, name);
    if (!entry) ThrowTableNotFound(name);
    TablePtr table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get()))
        ThrowWrongFormat(name, "mdbtools cannot read the table's definition");
    return table;
}

std::vector<ColumnSpec> ColumnsOf(MdbHandle* mdb, MdbTableDef* table) {
    std::vector<ColumnSpec> specs;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        if (IsSkippedType(col->col_type)) continue;
        ColumnSpec columnSpec;
        columnSpec.name = col->name;
        columnSpec.type = TypeOf(col->col_type);
        if (col->col_type == MDB_TEXT) {
            // Jet 4 and later keep text sizes in bytes of UTF-16.
            columnSpec.size = mdb->f->jet_version == MDB_VER_JET3 ? col->col_size : col->col_size / 2;
            if (columnSpec.size <= 0 || columnSpec.size > 255) columnSpec.size = 255;
        } else if (col->col_type == MDB_REPID) {
            columnSpec.size = 38;
        }
        specs.push_back(std::move(columnSpec));
    }
    return specs;
}

// Opens the database in the child process; VdxError 3343 when mdbtools
// cannot read it as one.
MdbHandle* OpenDatabase(const std::string& path) {
    MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!mdb || !mdb_read_catalog(mdb, MDB_ANY))
        throw VdxError(err::UnrecognizedDatabase, "Unrecognized database format '" + path + "'.");
    return mdb;
}

void SendColumns(MdbHandle* mdb, const std::string& table, MessageSender& out) {
    TablePtr t = OpenTable(mdb, table);
    MessageWriter m;
    std::vector<ColumnSpec> specs = ColumnsOf(mdb, t.get());
    m.put<uint32_t>(static_cast<uint32_t>(specs.size()));
    for (const ColumnSpec& c : specs) m.text(c.name).put<int32_t>(static_cast<int32_t>(c.type)).put<int32_t>(c.size);
    out.send(m);
}

void SendRows(MdbHandle* mdb, const std::string& table, MessageSender& out);

}  // namespace

AccessReader::AccessReader(const std::string& path) : path_(path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) throw VdxError(err::FileNotFound, "File not found: " + path);
    // A file without the Jet signature is refused before mdbtools looks.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    unsigned char head[32] = {};
    size_t got = f ? std::fread(head, 1, sizeof head, f) : 0;
    if (f) std::fclose(f);
    const bool signature = got == sizeof head && head[0] == 0x00 && head[1] == 0x01 && head[2] == 0x00 &&
                           head[3] == 0x00 &&
                           (std::memcmp(head + 4, "Standard Jet DB", 15) == 0 ||
                            std::memcmp(head + 4, "Standard ACE DB", 15) == 0);
    if (!signature) throw VdxError(err::UnrecognizedDatabase, "Unrecognized database format '" + path + "'.");
    RunIsolated(
        FileNameOf(path),
        [&](MessageSender& out) {
            MdbHandle* mdb = OpenDatabase(path);
            MessageWriter m;
            for (unsigned i = 0; i < mdb->num_catalog; ++i) {
                auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
                if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry)) m.text(entry->object_name);
            }
            out.send(m);
        },
        [&](MessageReader& in) {
            while (!in.atEnd()) tables_.push_back(in.text());
            return true;
        });
}

std::vector<std::string> AccessReader::tableNames() { return tables_; }

std::vector<ColumnSpec> AccessReader::columns(const std::string& table) {
    std::vector<ColumnSpec> specs;
    RunIsolated(
        FileNameOf(path_), [&](MessageSender& out) { SendColumns(OpenDatabase(path_), table, out); },
        [&](MessageReader& in) {
            specs.resize(in.get<uint32_t>());
            for (ColumnSpec& c : specs) {
                c.name = in.text();
                c.type = static_cast<FieldType>(in.get<int32_t>());
                c.size = in.get<int32_t>();
            }
            return true;
        });
    CheckColumnNames(specs, table);
    return specs;
}

void AccessReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    columns(table);  // the same checks on the names
    std::unique_ptr<ProgressTicker> ticker;
    std::vector<Value> row;
    uint64_t done = 0;
    bool cancelled = false;
    RunIsolated(
        FileNameOf(path_), [&](MessageSender& out) { SendRows(OpenDatabase(path_), table, out); },
        [&](MessageReader& in) {
            if (!ticker) {  // the first message holds the row count
                ticker = std::make_unique<ProgressTicker>(progress, in.get<uint64_t>(), 1024);
                return true;
            }
            while (!in.atEnd()) {
                in.values(row);
                if (!onRow(row)) return false;
                if (!ticker->tick(++done)) return cancelled = true, false;
            }
            return true;
        });
    if (ticker && !cancelled) ticker->finish();
}

std::string AccessReader::rowOrderDoubt(const std::string& table) {
    std::string doubt;
    RunIsolated(
        FileNameOf(path_),
        [&](MessageSender& out) {
            MdbHandle* mdb = OpenDatabase(path_);
            TablePtr t = OpenTable(mdb, table);
            constexpr unsigned kDeleted = 0x4000, kMoved = 0x8000;  // flags of a row's offset
            const int countAt = mdb->fmt->row_count_offset;
            unsigned deleted = 0, moved = 0;
            long lastPage = -1;
            mdb_rewind_table(t.get());
            while (mdb_fetch_row(t.get())) {
                if (static_cast<long>(t->cur_phys_pg) == lastPage) continue;
                lastPage = t->cur_phys_pg;  // the page is in mdb->pg_buf now
                const int slots = mdb_get_int16(mdb->pg_buf, countAt);
                for (int i = 0; i < slots && countAt + 4 + 2 * i <= static_cast<int>(sizeof mdb->pg_buf); ++i) {
                    const unsigned offset = mdb_get_int16(mdb->pg_buf, countAt + 2 + 2 * i);
                    if (offset & kDeleted) ++deleted;
                    else if (offset & kMoved) ++moved;
                }
            }
            MessageWriter m;
            std::string found;
            if (deleted) found = std::to_string(deleted) + " deleted row(s)";
            if (moved) found += (found.empty() ? "" : " and ") + std::to_string(moved) + " moved row(s)";
            m.text(found);
            out.send(m);
        },
        [&](MessageReader& in) {
            doubt = in.text();
            return true;
        });
    return doubt;
}

namespace {

// Reads the rows in the child process and sends them in batches.
void SendRows(MdbHandle* mdb, const std::string& table, MessageSender& out) {
    TablePtr t = OpenTable(mdb, table);
    const unsigned columnCount = t->num_cols;

    bool hasMemo = false;
    for (unsigned i = 0; i < columnCount; ++i)
        if (static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i))->col_type == MDB_MEMO) hasMemo = true;
    const size_t bindSize = hasMemo ? kMemoBindSize : kTextBindSize;
    mdb_set_bind_size(mdb, bindSize);

    // Every column is bound, so that mdbtools converts texts and memos to
    // UTF-8; numbers and dates are read from the row's bytes, as mdbtools'
    // own date texts break before 1900.
    std::vector<std::vector<char>> buffers(columnCount, std::vector<char>(bindSize + 1));
    std::vector<int> lengths(columnCount);
    std::vector<int> output(columnCount, -1);  // column number -> index in the row, -1 when left out
    int next = 0;
    for (unsigned i = 0; i < columnCount; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
        if (IsSkippedType(col->col_type)) continue;
        mdb_bind_column(t.get(), static_cast<int>(i) + 1, buffers[i].data(), &lengths[i]);
        output[i] = next++;
    }
    std::vector<MdbField> fields(MDB_MAX_COLS + 1);  // rows may hold columns deleted since
    std::vector<Value> row(static_cast<size_t>(next));
    MessageWriter batch;
    batch.put<uint64_t>(t->num_rows);
    out.send(batch);
    batch.clear();
    int inBatch = 0;

    mdb_rewind_table(t.get());
    while (mdb_fetch_row(t.get())) {
        // The row just fetched, cracked again to learn which fields are Null.
        int rowStart = 0;
        size_t rowSize = 0;
        if (mdb_find_row(mdb, static_cast<int>(t->cur_row) - 1, &rowStart, &rowSize) != 0)
            ThrowWrongFormat(table, "a row cannot be found on its page");
        int count = mdb_crack_row(t.get(), rowStart, rowSize, fields.data());
        std::fill(row.begin(), row.end(), Value());
        for (int f = 0; f < count && f < static_cast<int>(fields.size()); ++f) {
            const MdbField& field = fields[f];
            if (field.colnum < 0 || field.colnum >= static_cast<int>(columnCount)) continue;
            const int out = output[field.colnum];
            if (out < 0) continue;
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, field.colnum));
            const char* bound = buffers[field.colnum].data();
            if (col->col_type == MDB_BOOL) {
                // A yes/no value lives in the row's null mask: "null" is No.
                row[out] = Value::boolean(!field.is_null);
                continue;
            }
            if (field.is_null) continue;
            const unsigned char* raw = mdb->pg_buf + field.start;
            const bool fits = field.start >= 0 && field.start + field.siz <= static_cast<int>(sizeof mdb->pg_buf);
            switch (col->col_type) {
                case MDB_BYTE:
                    if (fits && field.siz >= 1) row[out] = Value::integer(raw[0]);
                    break;
                case MDB_INT:
                    if (fits && field.siz >= 2) row[out] = Value::integer(static_cast<int16_t>(mdb_get_int16(mdb->pg_buf, field.start)));
                    break;
                case MDB_LONGINT:
                    if (fits && field.siz >= 4) row[out] = Value::integer(static_cast<int32_t>(mdb_get_int32(mdb->pg_buf, field.start)));
                    break;
                case MDB_FLOAT:
                    if (fits && field.siz >= 4) row[out] = Value::real(mdb_get_single(mdb->pg_buf, field.start));
                    break;
                case MDB_DOUBLE:
                    if (fits && field.siz >= 8) row[out] = Value::real(mdb_get_double(mdb->pg_buf, field.start));
                    break;
                case MDB_DATETIME:
                    if (fits && field.siz >= 8) {
                        double day = mdb_get_double(mdb->pg_buf, field.start);
                        if (!IsDayNumberInRange(day))
                            ThrowWrongFormat(table, "column " + std::string(col->name) + " holds a date outside the calendar");
                        row[out] = Value::date(day);
                    }
                    break;
                case MDB_MONEY:
                    if (fits && field.siz >= 8) {
                        int64_t units;
                        std::memcpy(&units, raw, 8);
                        row[out] = Value::real(static_cast<double>(units) / 10000.0);
                    }
                    break;
                case MDB_NUMERIC: {
                    char* end = nullptr;
                    double d = std::strtod(bound, &end);
                    if (end != bound) row[out] = Value::real(d);
                    break;
                }
                case MDB_MEMO:
                    if (std::strlen(bound) >= bindSize)
                        ThrowWrongFormat(table, "a memo of column " + std::string(col->name) + " is longer than 1 MiB");
                    row[out] = Value::text(bound);
                    break;
                default:
                    row[out] = Value::text(bound);
                    break;
            }
        }
        batch.values(row);
        if (++inBatch == 256) {
            out.send(batch);
            batch.clear();
            inBatch = 0;
        }
    }
    if (inBatch > 0) out.send(batch);
}

}  // namespace

}  // namespace vdx::exchange
