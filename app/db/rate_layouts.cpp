#include "db/rate_layouts.h"

#include <cmath>
#include <map>
#include <tuple>

#include "db/database.h"
#include "db/field_number.h"
#include "db/table_stream.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::db {

namespace {

std::string TextOf(const Value& v) { return v.kind() == Value::Kind::Text ? v.asText() : std::string(); }

bool IsRow(Recordset& rs, const std::string& table) { return TextOf(rs.value("TableName")) == table; }

std::string Shown(const TableStream& rows, int column) {
    switch (rows.storage(column)) {
        case TableStream::Storage::Null: return "";
        case TableStream::Storage::Text: return std::string(rows.text(column));
        default: return NumberText(rows.real(column));
    }
}

}  // namespace

std::optional<RateLayout> ReadRateLayout(Database& db, const std::string& table) {
    if (!db.tableExists(kVdxRateLayouts)) return std::nullopt;
    auto rs = db.openRecordset(kVdxRateLayouts);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        if (!IsRow(*rs, table) || TextOf(rs->value("Layout")) != "long") continue;
        RateLayout l;
        l.ageColumn = TextOf(rs->value("AgeColumn"));
        l.yearColumn = TextOf(rs->value("YearColumn"));
        l.sexColumn = TextOf(rs->value("SexColumn"));
        l.causeColumn = TextOf(rs->value("CauseColumn"));
        l.rateColumn = TextOf(rs->value("RateColumn"));
        const Value unit = rs->value("RateUnit");
        l.unit = unit.isNull() ? 1 : unit.asDouble();
        return l;
    }
    return std::nullopt;
}

void WriteRateLayout(Database& db, const std::string& table, const RateLayout& layout) {
    if (!db.tableExists(kVdxRateLayouts))
        db.createTable({kVdxRateLayouts,
                        0,
                        {{"TableName", FieldType::Text},
                         {"Layout", FieldType::Text},
                         {"AgeColumn", FieldType::Text},
                         {"YearColumn", FieldType::Text},
                         {"SexColumn", FieldType::Text},
                         {"CauseColumn", FieldType::Text},
                         {"RateColumn", FieldType::Text},
                         {"RateUnit", FieldType::Double, 0}}});
    DeleteRateLayout(db, table);
    auto rs = db.openRecordset(kVdxRateLayouts);
    rs->addNew();
    rs->setValue("TableName", Value::text(table));
    rs->setValue("Layout", Value::text("long"));
    rs->setValue("AgeColumn", Value::text(layout.ageColumn));
    rs->setValue("YearColumn", Value::text(layout.yearColumn));
    rs->setValue("SexColumn", Value::text(layout.sexColumn));
    rs->setValue("CauseColumn", Value::text(layout.causeColumn));
    rs->setValue("RateColumn", Value::text(layout.rateColumn));
    rs->setValue("RateUnit", Value::real(layout.unit));
    rs->update();
}

void DeleteRateLayout(Database& db, const std::string& table) {
    if (!db.tableExists(kVdxRateLayouts)) return;
    auto rs = db.openRecordset(kVdxRateLayouts);
    rs->moveFirst();
    while (!rs->eof()) {
        if (IsRow(*rs, table)) {
            rs->remove();
            rs->moveFirst();
        } else {
            rs->moveNext();
        }
    }
}

void CheckLongRateTable(Database& db, const std::string& table, const RateLayout& layout, bool checkRates) {
    struct Named {
        const std::string* column;
        const char* meaning;
        bool required;
    };
    const Named named[] = {{&layout.ageColumn, "age", true},
                           {&layout.yearColumn, "year", true},
                           {&layout.rateColumn, "rate", true},
                           {&layout.sexColumn, "sex", false},
                           {&layout.causeColumn, "cause", false}};
    std::vector<std::string> columns;
    {
        auto rs = db.openRecordset(table);
        for (const Named& n : named) {
            if (n.column->empty()) {
                if (n.required)
                    throw DataError(err::ItemNotFound, std::string("A long rate table needs a column for the ") +
                                                           n.meaning + "; none was named.");
                continue;
            }
            bool found = false;
            for (int k = 0; k < rs->fieldCount(); ++k) found = found || rs->field(k).name == *n.column;
            if (!found)
                throw DataError(err::ItemNotFound, "The rate table '" + table + "' has no column '" + *n.column +
                                                       "' (named as the " + n.meaning + " column).");
            columns.push_back(*n.column);
        }
    }
    TableStream rows(db, table, columns);
    std::map<std::tuple<std::string, std::string, double, double>, int64_t> seen;
    const bool withSex = !layout.sexColumn.empty(), withCause = !layout.causeColumn.empty();
    while (rows.next()) {
        double value[3];
        for (int c = 0; c < (checkRates ? 3 : 2); ++c) {
            const auto number = FieldNumber(rows, c);
            const std::string where = "Row " + std::to_string(rows.position()) + " of the rate table '" + table +
                                      "', column '" + columns[static_cast<size_t>(c)] + "' (" + named[c].meaning +
                                      ")";
            if (!number) {
                const std::string shown = Shown(rows, c);
                throw DataError(err::TypeMismatch, where + (shown.empty() ? std::string(" is empty.")
                                                                          : " holds '" + shown + "', not a number."));
            }
            if (std::isnan(*number) || (c == 2 && *number < 0))
                throw DataError(err::TypeMismatch,
                                where + " holds " + NumberText(*number) +
                                    (c == 2 ? ": a rate is deaths per person-time, never negative or not a number."
                                            : ", not a number."));
            value[c] = *number;
        }
        const auto key = std::tuple(withSex ? Shown(rows, 3) : "", withCause ? Shown(rows, withSex ? 4 : 3) : "",
                                    value[0], value[1]);
        const auto [it, fresh] = seen.emplace(key, rows.position());
        if (!fresh)
            throw DataError(err::TypeMismatch,
                            "Rows " + std::to_string(it->second) + " and " + std::to_string(rows.position()) +
                                " of the rate table '" + table + "' both give the rate of " +
                                (withSex ? "sex " + std::get<0>(key) + ", " : std::string()) +
                                (withCause ? "cause " + std::get<1>(key) + ", " : std::string()) + "age " +
                                NumberText(value[0]) + ", year " + NumberText(value[1]) + ".");
    }
}

}  // namespace vdx::db
