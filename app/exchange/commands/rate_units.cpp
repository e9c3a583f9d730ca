#include "exchange/commands/rate_units.h"

#include <algorithm>

#include "db/database.h"
#include "state/text_values.h"
#include "state/value.h"

namespace vdx::exchange {

namespace {

std::string UnitText(double unit) {
    if (unit == 1000.0) return "1,000";
    if (unit == 100000.0) return "100,000";
    return NumberText(unit);
}

bool IsNumberType(FieldType t) {
    return t == FieldType::Integer || t == FieldType::Long || t == FieldType::Single || t == FieldType::Double;
}

// A stored value as a number: numbers as they are, text that reads as one.
std::optional<double> NumberOf(const Value& v) {
    if (v.isNumber()) return v.asDouble();
    if (v.kind() == Value::Kind::Text) return ReadNumber(v.asText());
    return std::nullopt;
}

bool IsBlank(const Value& v) {
    return v.isNull() || (v.kind() == Value::Kind::Text && v.asText().find_first_not_of(' ') == std::string::npos);
}

}  // namespace

bool IsRateUnit(double unit) {
    return std::find(std::begin(kRateUnits), std::end(kRateUnits), unit) != std::end(kRateUnits);
}

std::optional<double> AskRateUnit(Interaction& ui, const std::string& table) {
    const std::vector<std::string> entries{"Deaths per person-year", "Deaths per 1,000 person-years",
                                           "Deaths per 100,000 person-years"};
    const std::string prompt =
        table.empty() ? "The rates of the table are given as:" : "The rates of '" + table + "' are given as:";
    const auto chosen = ui.choose(prompt, "Rate unit", entries, 0);
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(entries.size())) return std::nullopt;
    return kRateUnits[*chosen];
}

std::vector<std::string> ConvertRatesToPerPersonYear(db::Database& db, const std::string& table, double unit) {
    db::TableDef def = db.tableDef(table);
    std::vector<std::vector<Value>> rows;
    {
        auto rs = db.openRecordset(table);
        if (rs->recordCount() > 0) rs->moveFirst();
        for (; !rs->eof(); rs->moveNext()) {
            std::vector<Value> row;
            for (int c = 0; c < rs->fieldCount(); ++c) row.push_back(rs->value(c));
            rows.push_back(std::move(row));
        }
    }
    std::vector<bool> rate(def.fields.size(), false);
    std::vector<std::string> rateColumns;
    for (size_t c = 0; c < def.fields.size(); ++c) {
        db::FieldDef& f = def.fields[c];
        rate[c] = IsNumberType(f.type) ||
                  (f.type == FieldType::Text && std::all_of(rows.begin(), rows.end(), [&](const auto& row) {
                       return IsBlank(row[c]) || NumberOf(row[c]).has_value();
                   }));
        if (!rate[c]) continue;
        rateColumns.push_back(f.name);
        f.type = FieldType::Double;
        f.size = 0;
    }
    if (rateColumns.empty()) return rateColumns;

    // The table again, with Double rate columns, in its stored row order.
    db.deleteTable(table);
    db.createTable(def);
    auto rs = db.openRecordset(table);
    for (const auto& row : rows) {
        rs->addNew();
        for (size_t c = 0; c < row.size(); ++c) {
            Value v = row[c];
            if (rate[c]) v = IsBlank(v) ? Value::null() : Value::real(*NumberOf(v) / unit);
            rs->setValue(static_cast<int>(c), v);
        }
        rs->update();
    }
    return rateColumns;
}

std::string RatesConvertedText(const std::string& table, double unit, const std::vector<std::string>& columns) {
    if (columns.empty())
        return "The table '" + table + "' holds no column of numbers: nothing was divided by " + UnitText(unit) + ".";
    std::string list;
    for (size_t k = 0; k < columns.size(); ++k) list += (k ? ", " : "") + columns[k];
    return "The rates of '" + table + "' were given per " + UnitText(unit) +
           " person-years; they are stored per person-year (divided by " + UnitText(unit) + ") in the column" +
           (columns.size() == 1 ? " " : "s ") + list + ".";
}

}  // namespace vdx::exchange
