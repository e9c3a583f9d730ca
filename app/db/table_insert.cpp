#include "db/table_insert.h"

#include "db/db_internal.h"

namespace vdx::db {

using namespace detail;

struct TableInserter::Insert {
    Insert(Database& db, const std::string& sql) : statement(db, sql) {}
    Statement statement;
};

TableInserter::TableInserter(Database& db, const TableDef& def) : fields_(def.fields) {
    // A taken name is reported before anything about the columns, as SELECT INTO does.
    RequireValidName(def.name);
    if (db.tableExists(def.name)) FailTableExists(def.name);
    db.createTable(def);
    std::string columns, params;
    for (size_t i = 0; i < fields_.size(); ++i) {
        columns += (i ? ", " : "") + QuoteIdentifier(fields_[i].name);
        params += (i ? ", ?" : "?") + std::to_string(i + 1);
    }
    insert_ = std::make_unique<Insert>(db, "INSERT INTO " + QuoteIdentifier(def.name) + " (" + columns +
                                               ") VALUES (" + params + ")");
}

TableInserter::~TableInserter() = default;

void TableInserter::add(const std::vector<Value>& row) {
    Statement& insert = insert_->statement;
    for (size_t i = 0; i < fields_.size(); ++i)
        insert.bind(static_cast<int>(i + 1), i < row.size() ? ConvertForField(fields_[i], row[i]) : Value::null());
    insert.step();
    insert.reset();
}

}  // namespace vdx::db
