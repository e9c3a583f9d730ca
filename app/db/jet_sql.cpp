// Database::execute: reads the Jet SQL texts the program runs (CREATE TABLE,
// ALTER TABLE ... ADD COLUMN, DROP TABLE, SELECT * INTO) and carries them out
// on SQLite with every identifier quoted, so a name can never change what a
// statement does. Other statements go to SQLite unchanged, one at a time.
#include <cctype>
#include <optional>

#include "db/db_internal.h"

namespace vdx::db {

using namespace detail;

namespace {

struct Token {
    enum Kind { Word, Name, String, Number, Symbol, End } kind = End;
    std::string text;
};

bool IsWordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c == '@' || c >= 0x80;
}

[[noreturn]] void SyntaxError(const std::string& statement, const std::string& detail) {
    int number = kSyntaxError;
    if (statement == "ALTER TABLE") number = 3293;
    if (statement == "DROP TABLE") number = 3295;
    Fail(number, "Syntax error in " + statement + " statement" +
                     (detail.empty() ? "." : " (" + detail + ")."));
}

std::vector<Token> Tokenize(const std::string& sql, const std::string& statement) {
    std::vector<Token> out;
    size_t i = 0;
    const size_t n = sql.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(sql[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        Token t;
        if (c == '[') {
            const size_t close = sql.find(']', i + 1);
            if (close == std::string::npos) SyntaxError(statement, "unclosed [");
            t.kind = Token::Name;
            t.text = sql.substr(i + 1, close - i - 1);
            i = close + 1;
        } else if (c == '"' || c == '`' || c == '\'') {
            // Quoted name ("x", `x`) or string ('x'); a doubled quote stands for itself.
            t.kind = c == '\'' ? Token::String : Token::Name;
            ++i;
            bool closed = false;
            while (i < n) {
                if (sql[i] == static_cast<char>(c)) {
                    if (i + 1 < n && sql[i + 1] == static_cast<char>(c)) {
                        t.text += sql[i];
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                t.text += sql[i++];
            }
            if (!closed) SyntaxError(statement, "unclosed quote");
        } else if (IsWordChar(c)) {
            const size_t start = i;
            bool digitsOnly = true;
            while (i < n && IsWordChar(static_cast<unsigned char>(sql[i]))) {
                if (!std::isdigit(static_cast<unsigned char>(sql[i]))) digitsOnly = false;
                ++i;
            }
            t.kind = digitsOnly ? Token::Number : Token::Word;
            t.text = sql.substr(start, i - start);
        } else {
            t.kind = Token::Symbol;
            t.text = std::string(1, static_cast<char>(c));
            ++i;
        }
        out.push_back(std::move(t));
    }
    out.push_back({Token::End, ""});
    return out;
}

class Cursor {
public:
    Cursor(const std::vector<Token>& tokens, std::string statement)
        : t_(tokens), statement_(std::move(statement)) {}

    const Token& peek() const { return t_[pos_]; }
    const Token& next() {
        const Token& t = t_[pos_];
        if (t.kind != Token::End) ++pos_;
        return t;
    }
    bool isKeyword(const char* word) const {
        return peek().kind == Token::Word && SameName(peek().text, word);
    }
    bool acceptKeyword(const char* word) {
        if (!isKeyword(word)) return false;
        ++pos_;
        return true;
    }
    void expectKeyword(const char* word) {
        if (!acceptKeyword(word)) fail(std::string("expected ") + word);
    }
    bool acceptSymbol(char c) {
        if (peek().kind == Token::Symbol && peek().text[0] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void expectSymbol(char c) {
        if (!acceptSymbol(c)) fail(std::string("expected '") + c + "'");
    }
    // A table or column name: bare, [bracketed] or quoted.
    std::string name(const char* what) {
        const Token& t = peek();
        if (t.kind != Token::Word && t.kind != Token::Name) fail(std::string("expected ") + what);
        ++pos_;
        return t.text;
    }
    // An optional ";" and then nothing: one statement only.
    void expectEnd() {
        acceptSymbol(';');
        if (peek().kind != Token::End) fail("unexpected '" + peek().text + "' after the statement");
    }
    [[noreturn]] void fail(const std::string& detail) const { SyntaxError(statement_, detail); }

private:
    const std::vector<Token>& t_;
    size_t pos_ = 0;
    std::string statement_;
};

// Jet SQL type names. INTEGER is the 16-bit integer of the project file's
// own tables (AgeClass, YearClass); LONG is the 32-bit integer.
std::optional<FieldType> JetSqlType(const std::string& word) {
    const std::string t = Lower(word);
    auto is = [&](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (t == n) return true;
        return false;
    };
    if (is({"text", "char", "varchar", "character", "string", "alphanumeric", "nchar", "nvarchar"}))
        return FieldType::Text;
    if (is({"memo", "longtext", "longchar", "note", "ntext"})) return FieldType::Memo;
    if (is({"bit", "yesno", "logical", "logical1", "boolean"})) return FieldType::Boolean;
    if (is({"short", "smallint", "integer2", "integer", "byte", "tinyint", "integer1"}))
        return FieldType::Integer;
    if (is({"long", "int", "integer4", "counter", "autoincrement"})) return FieldType::Long;
    if (is({"single", "real", "float4", "ieeesingle"})) return FieldType::Single;
    if (is({"double", "float", "float8", "ieeedouble", "number", "numeric", "currency", "money"}))
        return FieldType::Double;
    if (is({"date", "datetime", "time", "timestamp"})) return FieldType::Date;
    return std::nullopt;
}

// name TYPE[(n)]
FieldDef ColumnDefinition(Cursor& c) {
    FieldDef f;
    f.name = c.name("a column name");
    RequireValidName(f.name);
    const Token& typeToken = c.next();
    if (typeToken.kind != Token::Word) c.fail("expected the type of column " + f.name);
    auto type = JetSqlType(typeToken.text);
    if (!type) Fail(3259, "Invalid field data type '" + typeToken.text + "'.");
    f.type = *type;
    f.size = f.type == FieldType::Text ? 255 : 0;
    f.allowZeroLength = true;
    if (c.acceptSymbol('(')) {
        const Token& size = c.next();
        if (size.kind != Token::Number) c.fail("expected a size");
        if (f.type == FieldType::Text) {
            f.size = size.text.size() > 4 ? 0 : std::stoi(size.text);
            if (f.size < 1 || f.size > 255)
                Fail(3259, "Invalid size " + size.text + " for text column " + f.name + " (1 to 255).");
        }
        if (c.acceptSymbol(',')) {  // precision and scale of a number: not kept
            if (c.next().kind != Token::Number) c.fail("expected a number");
        }
        c.expectSymbol(')');
    }
    return f;
}

}  // namespace

// The translator is a friend of Database so it can reach its attached tables.
struct SqlExecutor {
    static void createTable(Database& db, Cursor& c) {
        TableDef def;
        def.name = c.name("a table name");
        RequireValidName(def.name);
        c.expectSymbol('(');
        do {
            def.fields.push_back(ColumnDefinition(c));
        } while (c.acceptSymbol(','));
        c.expectSymbol(')');
        c.expectEnd();
        db.createTable(def);
    }

    static void alterTable(Database& db, Cursor& c) {
        const std::string table = c.name("a table name");
        c.expectKeyword("ADD");
        c.acceptKeyword("COLUMN");
        FieldDef f = ColumnDefinition(c);
        c.expectEnd();
        const std::string canonical = db.canonicalTableName(table);
        if (canonical.empty()) FailObjectNotFound(table);
        std::vector<FieldDef> fields = TableFields(db, canonical);
        for (const auto& existing : fields)
            if (SameName(existing.name, f.name))
                Fail(3191, "Cannot define field '" + f.name + "' more than once.");
        fields.push_back(f);
        if (fields.size() > kMaxTableColumns)
            Fail(err::TooManyFields, "Table '" + canonical + "' cannot have more than " +
                                         std::to_string(kMaxTableColumns) + " columns.");
        RowOrderName(fields, canonical);  // the new column must not hide the last name of the row order
        Statement st(db, "ALTER TABLE " + QuoteIdentifier(canonical) + " ADD COLUMN " +
                             QuoteIdentifier(f.name) + " " + DeclaredType(f));
        st.step();
    }

    static void dropTable(Database& db, Cursor& c) {
        const std::string table = c.name("a table name");
        c.expectEnd();
        db.deleteTable(table);
    }

    // SELECT [s.]* INTO target FROM s
    static void selectInto(Database& db, Cursor& c) {
        std::string qualifier;
        if (!c.acceptSymbol('*')) {
            qualifier = c.name("* or a table name");
            c.expectSymbol('.');
            c.expectSymbol('*');
        }
        c.expectKeyword("INTO");
        const std::string target = c.name("the target table");
        c.expectKeyword("FROM");
        const std::string source = c.name("the source table");
        c.expectEnd();
        if (!qualifier.empty() && !SameName(qualifier, source))
            c.fail("'" + qualifier + ".*' does not name the source table");

        const std::string localSource = db.canonicalTableName(source);
        if (localSource.empty()) FailObjectNotFound(source);
        RequireValidName(target);
        if (db.tableExists(target)) FailTableExists(target);
        // Our own table into our own table: the engine copies in row order.
        const auto fields = TableFields(db, localSource);
        const std::string order = RowOrderName(fields, localSource);
        std::string columns;
        for (const auto& f : fields) columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(f.name);
        sqlite3_exec(db.handle(), "SAVEPOINT vdx_select_into", nullptr, nullptr, nullptr);
        try {
            Statement(db, CreateTableSql(target, fields)).step();
            Statement(db, "INSERT INTO " + QuoteIdentifier(target) + " (" + columns + ") SELECT " +
                              columns + " FROM " + QuoteIdentifier(localSource) + " ORDER BY " + order)
                .step();
        } catch (...) {
            sqlite3_exec(db.handle(), "ROLLBACK TO vdx_select_into; RELEASE vdx_select_into",
                         nullptr, nullptr, nullptr);
            throw;
        }
        sqlite3_exec(db.handle(), "RELEASE vdx_select_into", nullptr, nullptr, nullptr);
    }

    static void plain(Database& db, const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(db.handle(), sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
        if (rc != SQLITE_OK) db.raise(rc);
        if (!stmt) Fail(err::EngineGeneral, "Empty statement.");
        // One statement only: whatever follows must be blanks and semicolons.
        for (const char* p = tail; p && *p; ++p) {
            if (!std::isspace(static_cast<unsigned char>(*p)) && *p != ';') {
                sqlite3_finalize(stmt);
                Fail(err::EngineGeneral, "Characters found after end of SQL statement.");
            }
        }
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) db.raise(rc);
    }
};

void Database::execute(const std::string& sql) {
    if (!db_) Fail(err::EngineGeneral, "The database is closed.");
    // Which statement is it? Only the first words decide.
    std::string first, second;
    {
        size_t i = sql.find_first_not_of(" \t\r\n");
        auto word = [&](std::string& out) {
            while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) out += sql[i++];
            while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
        };
        if (i != std::string::npos) {
            word(first);
            word(second);
        }
    }
    const std::string head = Lower(first) + " " + Lower(second);
    if (head == "create table") {
        auto tokens = Tokenize(sql, "CREATE TABLE");
        Cursor c(tokens, "CREATE TABLE");
        c.expectKeyword("CREATE");
        c.expectKeyword("TABLE");
        SqlExecutor::createTable(*this, c);
    } else if (head == "alter table") {
        auto tokens = Tokenize(sql, "ALTER TABLE");
        Cursor c(tokens, "ALTER TABLE");
        c.expectKeyword("ALTER");
        c.expectKeyword("TABLE");
        SqlExecutor::alterTable(*this, c);
    } else if (head == "drop table") {
        auto tokens = Tokenize(sql, "DROP TABLE");
        Cursor c(tokens, "DROP TABLE");
        c.expectKeyword("DROP");
        c.expectKeyword("TABLE");
        SqlExecutor::dropTable(*this, c);
    } else if (Lower(first) == "select") {
        auto tokens = Tokenize(sql, "SELECT INTO");
        bool hasInto = false;
        for (const auto& t : tokens)
            if (t.kind == Token::Word && SameName(t.text, "INTO")) hasInto = true;
        if (!hasInto) {
            SqlExecutor::plain(*this, sql);
            return;
        }
        Cursor c(tokens, "SELECT INTO");
        c.expectKeyword("SELECT");
        SqlExecutor::selectInto(*this, c);
    } else {
        SqlExecutor::plain(*this, sql);
    }
}

}  // namespace vdx::db
