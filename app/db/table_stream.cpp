#include "db/table_stream.h"

#include "db/db_internal.h"

namespace vdx::db {

using namespace detail;

TableStream::TableStream(Database& db, const std::string& table, const std::vector<std::string>& columns)
    : db_(db) {
    const std::vector<FieldDef> all = TableFields(db, table);
    if (all.empty()) FailObjectNotFound(table);
    std::string list;
    for (const auto& name : columns) {
        const FieldDef* found = nullptr;
        for (const auto& f : all)
            if (SameName(f.name, name)) found = &f;
        if (!found) Fail(err::ItemNotFound, "Item not found in this collection: field '" + name + "'.");
        fields_.push_back(*found);
        list += (list.empty() ? "" : ", ") + QuoteIdentifier(found->name);
    }
    if (list.empty()) list = "NULL";
    {
        Statement count(db, "SELECT count(*) FROM " + QuoteIdentifier(table));
        if (count.step()) rowCount_ = sqlite3_column_int64(count.get(), 0);
    }
    const std::string sql =
        "SELECT " + list + " FROM " + QuoteIdentifier(table) + " ORDER BY " + RowOrderName(all, table);
    const int rc = sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) db.raise(rc, table);
}

TableStream::~TableStream() { sqlite3_finalize(stmt_); }

bool TableStream::next() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        ++position_;
        return true;
    }
    if (rc == SQLITE_DONE) return false;
    db_.raise(rc);
}

TableStream::Storage TableStream::storage(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
        case SQLITE_INTEGER: return Storage::Integer;
        case SQLITE_FLOAT: return Storage::Real;
        case SQLITE_NULL: return Storage::Null;
        default: return Storage::Text;
    }
}

double TableStream::real(int column) const { return sqlite3_column_double(stmt_, column); }

std::string_view TableStream::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    if (!p) return {};
    return {p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))};
}

Value TableStream::value(int column) const { return ColumnValue(stmt_, column, field(column)); }

void AppendIntegerRows(Database& db, const std::string& table, const std::string& column,
                       const std::vector<int64_t>& values) {
    db.beginTransaction();
    try {
        Statement insert(db, "INSERT INTO " + QuoteIdentifier(table) + " (" + QuoteIdentifier(column) +
                                 ") VALUES (?1)");
        for (int64_t v : values) {
            insert.bindInt(1, v);
            insert.step();
            insert.reset();
        }
    } catch (...) {
        db.rollback();
        throw;
    }
    db.commit();
}

}  // namespace vdx::db
