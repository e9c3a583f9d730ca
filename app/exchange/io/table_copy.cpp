#include "exchange/io/table_copy.h"

#include "db/table_insert.h"

namespace vdx::exchange {

db::FieldDef FieldOfColumn(const ColumnSpec& column) {
    db::FieldDef field;
    field.name = column.name;
    field.type = column.type;
    field.size = column.type == FieldType::Text ? (column.size > 0 && column.size <= 255 ? column.size : 255) : 0;
    field.allowZeroLength = true;
    return field;
}

db::TableDef TableDefOf(TableReader& reader, const std::string& sourceTable, const std::string& name) {
    db::TableDef def;
    def.name = name;
    for (const ColumnSpec& column : reader.columns(sourceTable)) def.fields.push_back(FieldOfColumn(column));
    return def;
}

void CopyReaderTable(TableReader& reader, const std::string& sourceTable, db::Database& db,
                     const db::TableDef& def) {
    db::TableInserter insert(db, def);
    reader.readRows(sourceTable, [&insert](const std::vector<Value>& row) {
        insert.add(row);
        return true;
    });
}

}  // namespace vdx::exchange
