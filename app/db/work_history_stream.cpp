#include "db/work_history_stream.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "db/database.h"
#include "db/db_internal.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::db {

namespace {

// Error number of an unusable value, as the run time reports it.
}  // namespace

int ComparePersonIds(const PersonId& a, const PersonId& b) {
    if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
    if (a.kind == PersonId::Kind::Number) return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    if (a.kind == PersonId::Kind::Text) {
        const int c = a.text.compare(b.text);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    return 0;
}

PersonId PersonIdOf(const TableStream& rows, int column) {
    PersonId id;
    switch (rows.storage(column)) {
        case TableStream::Storage::Null: break;
        case TableStream::Storage::Integer:
        case TableStream::Storage::Real:
            id.kind = PersonId::Kind::Number;
            id.number = rows.real(column);
            break;
        case TableStream::Storage::Text:
            id.kind = PersonId::Kind::Text;
            id.text = std::string(rows.text(column));
            break;
    }
    return id;
}

std::string PersonIdText(const PersonId& id) {
    switch (id.kind) {
        case PersonId::Kind::Number: return NumberText(id.number);
        case PersonId::Kind::Text: return id.text;
        case PersonId::Kind::Null: break;
    }
    return "(empty)";
}

WorkHistoryColumnNames RegisteredWorkHistory(Database& db, const std::string& name) {
    if (db.tableExists("VdxWorkHistories")) {
        auto rs = db.openRecordset("VdxWorkHistories");
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            if (!detail::SameName(rs->value("Name").asText(), name)) continue;
            auto get = [&](const char* column) {
                const Value v = rs->value(column);
                return v.isNull() ? std::string() : v.asText();
            };
            return {get("IdColumn"), get("StartColumn"), get("EndColumn"), get("IntensityColumn"), get("JobColumn")};
        }
    }
    throw VdxError(err::ObjectNotFound, "There is no work history '" + name +
                                            "' in this study. Add it with Tables > Work history > Add.");
}

std::vector<std::string> RegisteredWorkHistories(Database& db) {
    std::vector<std::string> names;
    if (!db.tableExists("VdxWorkHistories")) return names;
    auto rs = db.openRecordset("VdxWorkHistories");
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) names.push_back(rs->value("Name").asText());
    return names;
}

namespace {

// The index's columns, in the order the stream sorts by.
std::string OrderColumns(const WorkHistoryColumnNames& c) {
    std::string columns = QuoteIdentifier(c.id) + ", " + QuoteIdentifier(c.start) + ", " + QuoteIdentifier(c.end);
    if (!c.intensity.empty()) columns += ", " + QuoteIdentifier(c.intensity);
    return columns;
}

}  // namespace

void IndexWorkHistory(Database& db, const std::string& name) {
    const WorkHistoryColumnNames columns = RegisteredWorkHistory(db, name);
    detail::Statement(db, "CREATE INDEX IF NOT EXISTS " + QuoteIdentifier("VdxOrder_" + name) + " ON " +
                              QuoteIdentifier(name) + " (" + OrderColumns(columns) + ")")
        .step();
}

struct WorkHistoryStream::Cursor {
    Cursor(Database& db, const std::string& sql) : statement(db, sql) {}
    detail::Statement statement;
    std::unique_ptr<detail::Statement> rows;  // rowOf's, made when first needed
};

WorkHistoryStream::WorkHistoryStream(Database& db, const std::string& name)
    : db_(db), name_(name), columns_(RegisteredWorkHistory(db, name)) {
    if (!db.tableExists(name))
        throw VdxError(err::ObjectNotFound, "The work history table '" + name + "' is missing from this study.");
    order_ = detail::RowOrderName(detail::TableFields(db, name), name);
    const std::string intensity = columns_.intensity.empty() ? std::string("1") : QuoteIdentifier(columns_.intensity);
    // The row numbers are left out: taking each from the index costs a
    // quarter of the reading, and only a message needs one (rowOf).
    cursor_ = std::make_unique<Cursor>(
        db, "SELECT " + QuoteIdentifier(columns_.id) + ", " + QuoteIdentifier(columns_.start) + ", " +
                QuoteIdentifier(columns_.end) + ", " + intensity + " FROM " + QuoteIdentifier(name) + " ORDER BY " +
                OrderColumns(columns_) + ", " + order_);
    has_ = advance();
}

int64_t WorkHistoryStream::rowOf(const PersonId& id, size_t k) {
    if (!cursor_->rows)
        cursor_->rows = std::make_unique<detail::Statement>(
            db_, "SELECT " + order_ + " FROM " + QuoteIdentifier(name_) + " WHERE " + QuoteIdentifier(columns_.id) +
                     " = ?1 ORDER BY " + OrderColumns(columns_) + ", " + order_ + " LIMIT 1 OFFSET ?2");
    sqlite3_stmt* s = cursor_->rows->get();
    sqlite3_reset(s);
    if (id.kind == PersonId::Kind::Text)
        sqlite3_bind_text(s, 1, id.text.data(), static_cast<int>(id.text.size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_double(s, 1, id.number);
    sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(k));
    return cursor_->rows->step() ? sqlite3_column_int64(s, 0) : 0;
}

WorkHistoryStream::~WorkHistoryStream() = default;

bool WorkHistoryStream::advance() { return cursor_->statement.step(); }

namespace {

// Where the stored id `v` comes against `id`, in the order of
// ComparePersonIds, without copying it.
int CompareStoredId(sqlite3_value* v, const PersonId& id) {
    PersonId::Kind kind = PersonId::Kind::Null;
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT: kind = PersonId::Kind::Number; break;
        case SQLITE_TEXT:
        case SQLITE_BLOB: kind = PersonId::Kind::Text; break;
        default: break;
    }
    if (kind != id.kind) return kind < id.kind ? -1 : 1;
    if (kind == PersonId::Kind::Number) {
        const double x = sqlite3_value_double(v);
        return x < id.number ? -1 : x > id.number ? 1 : 0;
    }
    if (kind == PersonId::Kind::Text) {
        const std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                    static_cast<size_t>(sqlite3_value_bytes(v)));
        const int c = text.compare(id.text);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    return 0;
}

}  // namespace

void WorkHistoryStream::periodsOf(const PersonId& id, std::vector<WorkPeriodRow>& out) {
    out.clear();
    if (id.kind == PersonId::Kind::Null) return;
    if (asked_ && ComparePersonIds(id, last_) < 0) {
        cursor_->statement.reset();
        has_ = advance();
    }
    asked_ = true;
    last_ = id;
    sqlite3_stmt* s = cursor_->statement.get();
    // Each field is taken once per row as the stored value (the connection
    // is this thread's alone), then read without further lookups.
    for (; has_; has_ = advance()) {
        const int c = CompareStoredId(sqlite3_column_value(s, 0), id);
        if (c < 0) continue;
        if (c > 0) break;
        WorkPeriodRow p;
        auto fail = [&](const std::string& column, const char* meaning, const std::string& shown) {
            std::string text = "Row " + std::to_string(rowOf(id, out.size())) + " of the work history '" + name_ + "': the " +
                               meaning + " (column '" + column + "') ";
            text += shown.empty() ? std::string("is empty.")
                                  : "holds '" + shown + "', which is not " +
                                        (std::strcmp(meaning, "intensity") == 0 ? "a number of 0 or more."
                                                                                : "a date.");
            text += " The run has stopped; nothing has been changed. Tools > Check cohort lists every such row.";
            throw DataError(shown.empty() ? err::InvalidUseOfNull : err::TypeMismatch, text);
        };
        auto date = [&](int column, const std::string& name, const char* meaning) {
            sqlite3_value* v = sqlite3_column_value(s, column);
            switch (sqlite3_value_type(v)) {
                case SQLITE_INTEGER: return static_cast<double>(sqlite3_value_int64(v));
                case SQLITE_FLOAT: {
                    const double d = sqlite3_value_double(v);
                    if (std::isfinite(d)) return std::floor(d);
                    fail(name, meaning, NumberText(d));
                    return 0.0;
                }
                case SQLITE_TEXT: {
                    const std::string text(reinterpret_cast<const char*>(sqlite3_value_text(v)));
                    if (text.find_first_not_of(' ') == std::string::npos) fail(name, meaning, "");
                    if (auto d = ReadDate(text)) return std::floor(*d);
                    fail(name, meaning, text);
                    return 0.0;
                }
                default: fail(name, meaning, ""); return 0.0;
            }
        };
        p.start = date(1, columns_.start, "start date");
        p.end = date(2, columns_.end, "end date");
        sqlite3_value* intensity = sqlite3_column_value(s, 3);
        const int type = sqlite3_value_type(intensity);
        if (columns_.intensity.empty() || type == SQLITE_NULL) {
            p.intensity = 1;
        } else if (type == SQLITE_TEXT) {
            const std::string text(reinterpret_cast<const char*>(sqlite3_value_text(intensity)));
            const auto v = ReadNumber(text);
            if (text.find_first_not_of(' ') == std::string::npos) p.intensity = 1;
            else if (!v || !(*v >= 0)) fail(columns_.intensity, "intensity", text);
            else p.intensity = *v;
        } else {
            p.intensity = sqlite3_value_double(intensity);
            if (!(p.intensity >= 0) || !std::isfinite(p.intensity))
                fail(columns_.intensity, "intensity", NumberText(p.intensity));
        }
        out.push_back(p);
    }
}

}  // namespace vdx::db
