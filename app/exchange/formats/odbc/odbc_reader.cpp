#include "exchange/formats/odbc/odbc_reader.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <memory>

#include "exchange/io/reader_support.h"
#include "exchange/io/text_encoding.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

// The diagnostic records of a handle, joined: "[unixODBC][Driver]... (SQLSTATE)".
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string all;
    SQLCHAR state[8], text[1024];
    SQLINTEGER native;
    SQLSMALLINT length;
    for (SQLSMALLINT i = 1; i < 10; ++i) {
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length))) break;
        if (!all.empty()) all += " ";
        all += reinterpret_cast<char*>(text);
        all += " (" + std::string(reinterpret_cast<char*>(state)) + ")";
    }
    return all.empty() ? "ODBC--call failed." : all;
}

[[noreturn]] void Fail(int number, SQLSMALLINT type, SQLHANDLE handle) {
    throw VdxError(number, Diagnostics(type, handle));
}

// A statement handle, freed on every path.
class Statement {
public:
    explicit Statement(SQLHDBC dbc) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_))) Fail(err::EngineGeneral, SQL_HANDLE_DBC, dbc);
    }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT get() const { return stmt_; }
    void check(SQLRETURN rc) const {
        if (!SQL_SUCCEEDED(rc)) Fail(err::EngineGeneral, SQL_HANDLE_STMT, stmt_);
    }

private:
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

struct Column {
    ColumnSpec columnSpec;
    SQLSMALLINT sqlType = 0;
    bool skipped = false;
};

std::string Text(const SQLCHAR* s) { return s ? reinterpret_cast<const char*>(s) : ""; }

std::vector<Column> DescribeResult(const Statement& st) {
    SQLSMALLINT count = 0;
    st.check(SQLNumResultCols(st.get(), &count));
    std::vector<Column> columns;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
        SQLCHAR name[512];
        SQLSMALLINT nameLength, type, digits, nullable;
        SQLULEN size;
        st.check(SQLDescribeCol(st.get(), i, name, sizeof name, &nameLength, &type, &size, &digits, &nullable));
        Column c;
        c.columnSpec.name = Text(name);
        c.sqlType = type;
        switch (type) {
            case SQL_CHAR: case SQL_VARCHAR: case SQL_WCHAR: case SQL_WVARCHAR:
                if (size > 0 && size <= 255) { c.columnSpec.type = FieldType::Text; c.columnSpec.size = static_cast<int>(size); }
                else c.columnSpec.type = FieldType::Memo;
                break;
            case SQL_LONGVARCHAR: case SQL_WLONGVARCHAR: c.columnSpec.type = FieldType::Memo; break;
            case SQL_TINYINT: case SQL_SMALLINT: c.columnSpec.type = FieldType::Integer; break;
            case SQL_INTEGER: c.columnSpec.type = FieldType::Long; break;
            case SQL_REAL: c.columnSpec.type = FieldType::Single; break;
            case SQL_BIGINT: case SQL_FLOAT: case SQL_DOUBLE: case SQL_DECIMAL: case SQL_NUMERIC:
                c.columnSpec.type = FieldType::Double;
                break;
            case SQL_BIT: c.columnSpec.type = FieldType::Boolean; break;
            case SQL_TYPE_DATE: case SQL_TYPE_TIMESTAMP: case SQL_TYPE_TIME: case SQL_DATE: case SQL_TIMESTAMP: case SQL_TIME:
                c.columnSpec.type = FieldType::Date;
                break;
            case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: c.skipped = true; break;
            default: c.columnSpec.type = FieldType::Text; c.columnSpec.size = 255; break;
        }
        columns.push_back(std::move(c));
    }
    return columns;
}

// The whole text of a column of the current row; false when it is Null.
bool GetText(const Statement& st, SQLUSMALLINT column, std::string& out) {
    out.clear();
    char buffer[4096];
    SQLLEN indicator = 0;
    while (true) {
        SQLRETURN rc = SQLGetData(st.get(), column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) break;
        st.check(rc);
        if (indicator == SQL_NULL_DATA) return false;
        if (rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer))) {
            out.append(buffer, sizeof buffer - 1);  // truncated: more follows
            continue;
        }
        out.append(buffer, static_cast<size_t>(indicator));
        break;
    }
    if (!IsValidUtf8(out)) out = Windows1252ToUtf8(out);
    return true;
}

}  // namespace

std::vector<OdbcDataSource> ListOdbcDataSources() {
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw VdxError(err::EngineGeneral, "The ODBC driver manager cannot start.");
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    std::vector<OdbcDataSource> sources;
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1], description[512];
    SQLSMALLINT nameLength, descriptionLength;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSources(env, direction, name, sizeof name, &nameLength, description, sizeof description,
                                        &descriptionLength))) {
        sources.push_back({Text(name), Text(description)});
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return sources;
}

OdbcReader::OdbcReader(const std::string& connection) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw VdxError(err::OdbcConnectionFailed, "The ODBC driver manager cannot start.");
    env_ = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        throw VdxError(err::OdbcConnectionFailed, "The ODBC driver manager cannot start.");
    }
    std::string text = connection.find('=') == std::string::npos ? "DSN=" + connection : connection;
    SQLCHAR out[1024];
    SQLSMALLINT outLength;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, out, sizeof out,
                                    &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        std::string why = Diagnostics(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        throw VdxError(err::OdbcConnectionFailed, "ODBC--connection failed: " + why);
    }
    dbc_ = dbc;
    SQLCHAR quote[8] = {};
    SQLSMALLINT quoteLength = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &quoteLength)) && quote[0] != ' ')
        quote_ = Text(quote);
}

OdbcReader::~OdbcReader() {
    if (dbc_) {
        SQLDisconnect(static_cast<SQLHDBC>(dbc_));
        SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(dbc_));
    }
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, static_cast<SQLHENV>(env_));
}

std::vector<std::string> OdbcReader::tableNames() {
    Statement st(static_cast<SQLHDBC>(dbc_));
    st.check(SQLTables(st.get(), nullptr, 0, nullptr, 0, nullptr, 0,
                       reinterpret_cast<SQLCHAR*>(const_cast<char*>("TABLE,VIEW")), SQL_NTS));
    std::vector<std::string> names;
    listed_.clear();
    while (true) {
        SQLRETURN rc = SQLFetch(st.get());
        if (rc == SQL_NO_DATA) break;
        st.check(rc);
        std::string schema, table;
        GetText(st, 2, schema);
        GetText(st, 3, table);
        std::string listed = schema.empty() ? table : schema + "." + table;
        listed_[listed] = {schema, table};
        names.push_back(std::move(listed));
    }
    return names;
}

std::string OdbcReader::selectFrom(const std::string& table) {
    if (listed_.empty()) tableNames();
    std::string schema, name = table;
    auto it = listed_.find(table);
    if (it != listed_.end()) {
        schema = it->second.first;
        name = it->second.second;
    } else {
        bool found = false;
        for (const auto& [listed, parts] : listed_) {
            if (SameName(listed, table) || (SameName(parts.second, table))) {
                schema = parts.first;
                name = parts.second;
                found = true;
                break;
            }
        }
        if (!found) ThrowTableNotFound(table);
    }
    auto quoted = [&](const std::string& s) {
        std::string q = quote_;
        for (char c : s) {
            if (std::string(1, c) == quote_) q += quote_;
            q += c;
        }
        return q + quote_;
    };
    return "SELECT * FROM " + (schema.empty() ? std::string() : quoted(schema) + ".") + quoted(name);
}

std::vector<ColumnSpec> OdbcReader::columns(const std::string& table) {
    std::string sql = selectFrom(table);
    Statement st(static_cast<SQLHDBC>(dbc_));
    st.check(SQLExecDirect(st.get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS));
    std::vector<ColumnSpec> specs;
    for (Column& c : DescribeResult(st))
        if (!c.skipped) specs.push_back(std::move(c.columnSpec));
    CheckColumnNames(specs, table);
    return specs;
}

void OdbcReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    std::string sql = selectFrom(table);
    Statement st(static_cast<SQLHDBC>(dbc_));
    st.check(SQLExecDirect(st.get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS));
    std::vector<Column> columns = DescribeResult(st);
    {
        std::vector<ColumnSpec> specs;
        for (const Column& c : columns)
            if (!c.skipped) specs.push_back(c.columnSpec);
        CheckColumnNames(specs, table);
    }
    size_t outputs = 0;
    for (const Column& c : columns)
        if (!c.skipped) ++outputs;
    std::vector<Value> row(outputs);
    std::string text;
    uint64_t done = 0;
    while (true) {
        SQLRETURN rc = SQLFetch(st.get());
        if (rc == SQL_NO_DATA) break;
        st.check(rc);
        size_t out = 0;
        for (size_t i = 0; i < columns.size(); ++i) {
            const Column& c = columns[i];
            if (c.skipped) continue;
            const SQLUSMALLINT n = static_cast<SQLUSMALLINT>(i + 1);
            Value& v = row[out++];
            v = Value();
            SQLLEN indicator = 0;
            switch (c.columnSpec.type) {
                case FieldType::Integer:
                case FieldType::Long: {
                    SQLBIGINT x = 0;
                    st.check(SQLGetData(st.get(), n, SQL_C_SBIGINT, &x, sizeof x, &indicator));
                    if (indicator != SQL_NULL_DATA) v = Value::integer(x);
                    break;
                }
                case FieldType::Single:
                case FieldType::Double: {
                    double x = 0;
                    st.check(SQLGetData(st.get(), n, SQL_C_DOUBLE, &x, sizeof x, &indicator));
                    if (indicator != SQL_NULL_DATA) v = Value::real(x);
                    break;
                }
                case FieldType::Boolean: {
                    unsigned char x = 0;
                    st.check(SQLGetData(st.get(), n, SQL_C_BIT, &x, sizeof x, &indicator));
                    if (indicator != SQL_NULL_DATA) v = Value::boolean(x != 0);
                    break;
                }
                case FieldType::Date: {
                    SQL_TIMESTAMP_STRUCT ts{};
                    st.check(SQLGetData(st.get(), n, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator));
                    if (indicator == SQL_NULL_DATA) break;
                    double day = 0;
                    if (c.sqlType != SQL_TYPE_TIME && c.sqlType != SQL_TIME) {
                        if (ts.month < 1 || ts.month > 12 || ts.day < 1 || ts.day > DaysInMonth(ts.year, ts.month))
                            throw VdxError(err::EngineGeneral, "Column " + c.columnSpec.name + " of " + table + " holds an invalid date.");
                        day = DayNumber(ts.year, ts.month, ts.day);
                    }
                    v = Value::date(day + (ts.hour * 3600 + ts.minute * 60 + ts.second) / 86400.0);
                    break;
                }
                default:
                    if (GetText(st, n, text)) v = Value::text(text);
                    break;
            }
        }
        if (!onRow(row)) return;
        ++done;
        if (progress && done % 4096 == 0 && !progress->report(0.0)) return;
    }
    if (progress) progress->report(1.0);
}

}  // namespace vdx::exchange
