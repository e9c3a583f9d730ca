// The engine adapter: tables, types, errors, names, recordsets, recognising
// files.
#include <sqlite3.h>


#include "db/table_stream.h"
#include "state/text_values.h"
#include "test_support.h"

using namespace vdx;
using namespace vdx::db;
using vdx::test::ErrorNumber;
using vdx::test::ReadBytes;
using vdx::test::WriteBytes;

namespace {

class DatabaseTest : public vdx::test::TempDir {
protected:
    void SetUp() override {
        TempDir::SetUp();
        db = Database::create(path("t.vdb"));
    }
    // The declared SQL of a table as the sqlite3 shell shows it.
    std::string schemaOf(const std::string& table) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db->handle(), "SELECT sql FROM sqlite_master WHERE name = ?1", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        std::string sql;
        if (sqlite3_step(st) == SQLITE_ROW) sql = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
        return sql;
    }
    std::string storageClass(const std::string& table, const std::string& column) {
        sqlite3_stmt* st = nullptr;
        const std::string sql = "SELECT typeof(" + QuoteIdentifier(column) + ") FROM " + QuoteIdentifier(table);
        sqlite3_prepare_v2(db->handle(), sql.c_str(), -1, &st, nullptr);
        std::string type;
        if (sqlite3_step(st) == SQLITE_ROW) type = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
        return type;
    }
    void addRow(const std::string& table, const std::vector<Value>& values) {
        auto rs = db->openRecordset(table);
        rs->addNew();
        for (size_t i = 0; i < values.size(); ++i) rs->setValue(static_cast<int>(i), values[i]);
        rs->update();
    }
    std::unique_ptr<Database> db;
};

std::vector<std::string> TableNames(Database& db) {
    std::vector<std::string> names;
    for (const auto& def : db.tableDefs())
        if (!def.isSystemTable()) names.push_back(def.name);
    return names;
}

}  // namespace

// ---- Tables and their fields -----------------------------------------------

TEST_F(DatabaseTest, AnSmrTableAsTheSqliteShellShowsIt) {
    db->createTable({"P1_SMR", 0, {{"Typ", FieldType::Text}, {"Values", FieldType::Text}, {"Figures", FieldType::Double, 0}}});
    TableDef def = db->tableDef("P1_SMR");
    ASSERT_EQ(def.fields.size(), 3u);
    EXPECT_EQ(def.fields[0], (FieldDef{"Typ", FieldType::Text, 255, true}));
    EXPECT_EQ(def.fields[1], (FieldDef{"Values", FieldType::Text, 255, true}));
    EXPECT_EQ(def.fields[2].type, FieldType::Double);
    EXPECT_EQ(schemaOf("P1_SMR"), "CREATE TABLE \"P1_SMR\" (\"Typ\" TEXT(255), \"Values\" TEXT(255), \"Figures\" DOUBLE)");
}

TEST_F(DatabaseTest, EveryFieldTypeReadsBackAsItWasCreated) {
    const std::vector<FieldDef> fields = {
        {"Group", FieldType::Single, 0, true},   {"When", FieldType::Date, 0, true},
        {"Name", FieldType::Text, 20, true},     {"Code", FieldType::Text, 8, false},
        {"Note", FieldType::Memo, 0, true},      {"Flag", FieldType::Boolean, 0, true},
        {"Small", FieldType::Integer, 0, true},  {"Large", FieldType::Long, 0, true},
        {"Real", FieldType::Double, 0, true}};
    db->createTable({"Mixed", 0, fields});
    EXPECT_EQ(db->tableDef("mixed").fields, fields);
}

TEST_F(DatabaseTest, AddColumnAndDeleteTable) {
    db->createTable({"P_SMR", 0, {{"Typ", FieldType::Text}, {"Values", FieldType::Text}}});
    addRow("P_SMR", {Value::text("Smr"), Value::text("1.5")});
    db->addColumn("p_smr", {"Figures", FieldType::Double, 0});
    auto rs = db->openRecordset("P_SMR");
    ASSERT_EQ(rs->fieldCount(), 3);
    EXPECT_EQ(rs->field(2).type, FieldType::Double);
    EXPECT_TRUE(rs->value("Figures").isNull());
    EXPECT_EQ(rs->value("Values"), Value::text("1.5"));
    rs.reset();
    db->deleteTable("P_SMR");
    EXPECT_FALSE(db->tableExists("P_SMR"));
}

TEST_F(DatabaseTest, ColumnsNamedLikeTheRowOrderKeepTheRowsInInsertionOrder) {
    // Each column named after the row order holds descending numbers: read
    // by it, the table would come back reversed.
    const std::vector<std::vector<std::string>> hiding = {{"rowid"}, {"OID"}, {"_rowid_"}, {"RowId", "oid"},
                                                          {"rowid", "_RowID_"}};
    for (const auto& names : hiding) {
        std::string columns;
        for (const auto& n : names) columns += n + " LONG, ";
        test::CreateTable(*db, "Rates", columns + "N LONG");
        const int n = static_cast<int>(names.size());
        std::vector<int64_t> expected;
        for (int i = 0; i < 40; ++i) {
            std::vector<Value> row(names.size(), Value::integer(100 - i));
            row.push_back(Value::integer(i));
            addRow("Rates", row);
            if (i != 7) expected.push_back(i == 3 ? 333 : i);
        }
        {
            auto rs = db->openRecordset("Rates");
            rs->move(3);
            rs->edit();
            rs->setValue(n, Value::integer(333));
            rs->update();
            rs->move(4);
            rs->remove();
            rs->setAbsolutePosition(30);  // through the index of positions
            EXPECT_EQ(rs->value(n), Value::integer(31)) << names[0];
        }
        std::vector<int64_t> read;
        for (auto rs = db->openRecordset("Rates"); !rs->eof(); rs->moveNext()) read.push_back(rs->value(n).asInteger());
        EXPECT_EQ(read, expected) << names[0];
        std::vector<int64_t> streamed;
        for (TableStream rows(*db, "Rates", {"N"}); rows.next();) streamed.push_back(static_cast<int64_t>(rows.real(0)));
        EXPECT_EQ(streamed, expected) << names[0];
        db->deleteTable("Rates");
    }
}

TEST_F(DatabaseTest, ATableWhoseColumnsTakeAllThreeRowOrderNamesIsRefused) {
    const std::string message = [&] {
        try {
            test::CreateTable(*db, "T", "rowid LONG, _rowid_ LONG, OID LONG");
        } catch (const VdxError& e) {
            EXPECT_EQ(e.number(), err::InvalidName);
            return e.description();
        }
        return std::string("no error");
    }();
    EXPECT_NE(message.find("rowid, _rowid_, OID"), std::string::npos) << message;
    test::CreateTable(*db, "T", "rowid LONG, OID LONG");
    EXPECT_EQ(ErrorNumber([&] { db->addColumn("T", {"_ROWID_", FieldType::Long, 0}); }), err::InvalidName);
    // Made by another tool: not read in an order it does not have.
    ASSERT_EQ(sqlite3_exec(db->handle(), "CREATE TABLE Other (rowid, oid, _rowid_)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(ErrorNumber([&] { db->openRecordset("Other"); }), err::InvalidName);
}

TEST_F(DatabaseTest, ASelectTextOpensAReadOnlyRecordset) {
    test::CreateTable(*db, "T", "N LONG");
    addRow("T", {Value::integer(6)});
    auto rs = db->openRecordset("select\n N, N * 2 AS Twice FROM T");
    EXPECT_EQ(rs->value("N"), Value::integer(6));
    EXPECT_EQ(rs->value("Twice"), Value::integer(12));
    EXPECT_EQ(ErrorNumber([&] { rs->edit(); }), err::ReadOnlyRecordset);
}

// ---- Errors ------------------------------------------------------------------

TEST_F(DatabaseTest, EngineNumbersForTablesThatExistOrDoNot) {
    test::CreateTable(*db, "A", "X LONG");
    test::CreateTable(*db, "B", "X LONG");
    EXPECT_EQ(ErrorNumber([&] { db->createTable({"a", 0, {{"Y", FieldType::Long, 0, true}}}); }),
              err::TableExists);
    EXPECT_EQ(ErrorNumber([&] { db->deleteTable("Missing"); }), err::ObjectNotFound);
    EXPECT_EQ(ErrorNumber([&] { db->addColumn("Missing", {"Z", FieldType::Double, 0}); }), err::ObjectNotFound);
    EXPECT_EQ(ErrorNumber([&] { db->openRecordset("Missing"); }), err::ObjectNotFound);
    EXPECT_EQ(ErrorNumber([&] { db->openRecordset("SELECT * FROM Missing"); }), err::ObjectNotFound);
    EXPECT_EQ(ErrorNumber([&] { db->renameTable("A", "b"); }), err::TableExists);
    EXPECT_EQ(ErrorNumber([&] { db->renameTable("Missing", "Q"); }), err::ObjectNotFound);
    EXPECT_EQ(ErrorNumber([&] { db->addColumn("A", {"x", FieldType::Double, 0}); }), 3191);
    EXPECT_EQ(ErrorNumber([&] { db->createTable({"C", 0, {{"X", FieldType::Long, 0}, {"x", FieldType::Text}}}); }),
              3191);
}

TEST_F(DatabaseTest, OtherEngineFailuresKeepTheirDescriptionUnderOneNumber) {
    test::CreateTable(*db, "A", "X LONG");
    try {
        db->openRecordset("SELECT Nope FROM A");
        FAIL() << "no error";
    } catch (const VdxError& e) {
        EXPECT_EQ(e.number(), err::EngineGeneral);
        EXPECT_NE(e.description().find("Nope"), std::string::npos) << e.description();
    }
    EXPECT_EQ(ErrorNumber([&] { db->createTable({"Bad", 0, {{"X", FieldType::Text, 300}}}); }), 3259);
    EXPECT_EQ(ErrorNumber([&] { db->addColumn("A", {"X2", FieldType::Text, 0}); }), 3259);
    EXPECT_FALSE(db->tableExists("Bad"));
}

// ---- Names from users --------------------------------------------------------

TEST(Names, TheOldEnginesNamingRules) {
    EXPECT_TRUE(IsValidName("Cohort"));
    EXPECT_TRUE(IsValidName("Rates 1990"));
    EXPECT_TRUE(IsValidName("P1; DROP TABLE x; --"));
    EXPECT_TRUE(IsValidName(std::string(64, 'a')));
    EXPECT_FALSE(IsValidName(std::string(65, 'a')));
    for (const char* bad : {"", " lead", "a.b", "a!b", "a`b", "a[b", "a]b", "tab\there", "new\nline"})
        EXPECT_FALSE(IsValidName(bad)) << bad;
}

TEST_F(DatabaseTest, ANameCanNeverChangeWhatAStatementDoes) {
    test::CreateTable(*db, "VdxSystemMain", "Typ TEXT, Value TEXT");
    // A valid but hostile name is just a name.
    const std::string hostile = "P1'); DROP TABLE VdxSystemMain; --";
    db->createTable({hostile + "_Deaths", 0, {{"Deaths", FieldType::Long, 0}}});
    db->createTable({"Say \"hi\"", 0, {{"Deaths", FieldType::Long, 0}}});
    EXPECT_TRUE(db->tableExists(hostile + "_Deaths"));
    EXPECT_TRUE(db->tableExists("Say \"hi\""));
    EXPECT_TRUE(db->tableExists("VdxSystemMain"));
    db->addColumn(hostile + "_Deaths", {"Figures", FieldType::Double, 0});
    EXPECT_EQ(db->tableDef(hostile + "_Deaths").fields.size(), 2u);

    // Names that cannot be names are refused with 3125.
    for (const std::string bad : {"a.b", " lead", "x]; DROP TABLE VdxSystemMain; --"}) {
        EXPECT_EQ(ErrorNumber([&] { db->createTable({bad, 0, {{"X", FieldType::Long, 0, true}}}); }),
                  err::InvalidName) << bad;
        EXPECT_EQ(ErrorNumber([&] { db->addColumn(bad, {"X", FieldType::Long, 0}); }), err::InvalidName) << bad;
    }
    EXPECT_EQ(ErrorNumber([&] { db->renameTable("VdxSystemMain", "a!b"); }), err::InvalidName);
    EXPECT_TRUE(db->tableExists("VdxSystemMain"));
}

TEST_F(DatabaseTest, TableNamesIgnoreLetterCase) {
    test::CreateTable(*db, "Cohort", "X LONG");
    EXPECT_TRUE(db->tableExists("COHORT"));
    db->renameTable("cohort", "COHORT");
    EXPECT_EQ(TableNames(*db), std::vector<std::string>{"COHORT"});
    db->renameTable("COHORT", "Kohorte");
    EXPECT_EQ(TableNames(*db), std::vector<std::string>{"Kohorte"});
}

// ---- Typed fields --------------------------------------------------------------

TEST_F(DatabaseTest, IntegersAreRangeCheckedAndRoundedHalfToEven) {
    test::CreateTable(*db, "T", "S SHORT, L LONG");
    auto rs = db->openRecordset("T");
    rs->addNew();
    rs->setValue("S", Value::real(2.5));
    rs->setValue("L", Value::text(" 3.5 "));
    rs->update();
    rs->moveFirst();
    EXPECT_EQ(rs->value("S"), Value::integer(2));
    EXPECT_EQ(rs->value("L"), Value::integer(4));
    rs->edit();
    EXPECT_EQ(ErrorNumber([&] { rs->setValue("S", Value::integer(32768)); }), err::Overflow);
    EXPECT_EQ(ErrorNumber([&] { rs->setValue("S", Value::real(-32768.6)); }), err::Overflow);
    EXPECT_EQ(ErrorNumber([&] { rs->setValue("L", Value::integer(2147483648LL)); }), err::Overflow);
    EXPECT_EQ(ErrorNumber([&] { rs->setValue("L", Value::text("abc")); }), err::TypeMismatch);
    EXPECT_EQ(ErrorNumber([&] { rs->setValue("L", Value::text("")); }), err::TypeMismatch);
    rs->setValue("S", Value::integer(-32768));
    rs->setValue("L", Value::null());
    rs->update();
    EXPECT_EQ(rs->value("S"), Value::integer(-32768));
    EXPECT_TRUE(rs->value("L").isNull());
    EXPECT_EQ(storageClass("T", "S"), "integer");
}

TEST_F(DatabaseTest, TextSizeZeroLengthAndDigitsStayText) {
    db->createTable({"T", 0, {{"Short", FieldType::Text, 5, true}, {"Strict", FieldType::Text, 255, false},
                                      {"Memo", FieldType::Memo, 0, true}}});
    auto rs = db->openRecordset("T");
    rs->addNew();
    EXPECT_EQ(ErrorNumber([&] { rs->setValue("Short", Value::text("abcdef")); }), err::FieldTooSmall);
    rs->setValue("Short", Value::text("äöüßé"));  // five characters, ten bytes
    EXPECT_EQ(ErrorNumber([&] { rs->setValue("Strict", Value::text("")); }), err::ZeroLengthNotAllowed);
    rs->setValue("Strict", Value::text("00123"));
    rs->setValue("Memo", Value::text("007"));
    rs->update();
    rs->moveFirst();
    EXPECT_EQ(rs->value("Short"), Value::text("äöüßé"));
    EXPECT_EQ(rs->value("Strict"), Value::text("00123"));
    EXPECT_EQ(rs->value("Memo"), Value::text("007"));
    EXPECT_EQ(storageClass("T", "Strict"), "text");
    EXPECT_EQ(storageClass("T", "Memo"), "text");
    EXPECT_EQ(schemaOf("T"), "CREATE TABLE \"T\" (\"Short\" TEXT(5), \"Strict\" NONEMPTY TEXT(255), \"Memo\" LONGTEXT)");
}

TEST_F(DatabaseTest, DatesAreDayNumbersAndNumbersConvert) {
    test::CreateTable(*db, "T", "D DATE, F SINGLE, G DOUBLE, B BIT, Txt TEXT");
    auto rs = db->openRecordset("T");
    rs->addNew();
    rs->setValue("D", Value::text("1800-01-01"));
    rs->setValue("F", Value::real(0.1));
    rs->setValue("G", Value::text("2.5e3"));
    rs->setValue("B", Value::text("TRUE"));
    rs->setValue("Txt", Value::date(36526));
    rs->update();
    EXPECT_EQ(ErrorNumber([&] {
                  rs->addNew();
                  rs->setValue("D", Value::text("31.02.2000"));
              }),
              err::TypeMismatch);
    EXPECT_EQ(ErrorNumber([&] { rs->setValue("F", Value::real(1e39)); }), err::Overflow);
    EXPECT_EQ(ErrorNumber([&] { rs->setValue("B", Value::text("maybe")); }), err::TypeMismatch);
    rs->moveFirst();  // drops the new row
    EXPECT_EQ(rs->value("D"), Value::date(-36522));
    EXPECT_EQ(rs->value("F"), Value::real(static_cast<float>(0.1)));
    EXPECT_EQ(rs->value("G"), Value::real(2500));
    EXPECT_EQ(rs->value("B"), Value::boolean(true));
    EXPECT_EQ(rs->value("Txt"), Value::text("01.01.2000"));
    EXPECT_EQ(rs->recordCount(), 1);
    // A time of day survives; SQLite may keep whole days as integers, which
    // read back as the same dates.
    rs->edit();
    rs->setValue("D", Value::date(-1.25));
    rs->update();
    EXPECT_EQ(rs->value("D"), Value::date(-1.25));
    EXPECT_EQ(storageClass("T", "D"), "real");
}

// ---- Recordsets ----------------------------------------------------------------

class RecordsetTest : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        test::CreateTable(*db, "T", "N LONG");
    }
    void fill(int from, int to) {
        db->beginTransaction();
        auto rs = db->openRecordset("T");
        for (int i = from; i < to; ++i) {
            rs->addNew();
            rs->setValue(0, Value::integer(i));
            rs->update();
        }
        db->commit();
    }
    std::vector<int64_t> all() {
        std::vector<int64_t> out;
        auto rs = db->openRecordset("T");
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) out.push_back(rs->value(0).asInteger());
        return out;
    }
};

TEST_F(RecordsetTest, EmptyTableIsAtBothEnds) {
    auto rs = db->openRecordset("T");
    EXPECT_TRUE(rs->eof());
    EXPECT_EQ(rs->recordCount(), 0);
    EXPECT_EQ(ErrorNumber([&] { rs->value(0); }), err::NoCurrentRecord);
    EXPECT_EQ(ErrorNumber([&] { rs->moveNext(); }), err::NoCurrentRecord);
    EXPECT_EQ(ErrorNumber([&] { rs->move(1); }), err::NoCurrentRecord);
    EXPECT_EQ(ErrorNumber([&] { rs->edit(); }), err::NoCurrentRecord);
    EXPECT_EQ(ErrorNumber([&] { rs->setAbsolutePosition(0); }), 3001);
}

TEST_F(RecordsetTest, RowsStayInInsertionOrderAfterDeletesAndAdds) {
    fill(0, 10);
    test::Sql(*db, "DELETE FROM T WHERE N = 9");
    fill(10, 12);
    // An index would make SQLite scan in value order; the recordset must not.
    sqlite3_exec(db->handle(), "CREATE INDEX ByN ON T (N DESC)", nullptr, nullptr, nullptr);
    {
        auto rs = db->openRecordset("T");
        rs->move(3);
        rs->remove();
        rs->moveNext();
        EXPECT_EQ(rs->value(0), Value::integer(4));
        rs->move(2);  // counted from the row after the removed one
        EXPECT_EQ(rs->value(0), Value::integer(6));
    }
    EXPECT_EQ(all(), (std::vector<int64_t>{0, 1, 2, 4, 5, 6, 7, 8, 10, 11}));
}

TEST_F(RecordsetTest, MovesCountAndPositions) {
    fill(0, 5000);
    auto rs = db->openRecordset("T");
    EXPECT_EQ(rs->recordCount(), 5000);
    EXPECT_EQ(rs->value(0), Value::integer(0));
    rs->move(2500);
    EXPECT_EQ(rs->value(0), Value::integer(2500));
    rs->move(-2000);
    EXPECT_EQ(rs->value(0), Value::integer(500));
    rs->move(-3);
    EXPECT_EQ(rs->value(0), Value::integer(497));
    rs->move(5);
    EXPECT_EQ(rs->value(0), Value::integer(502));
    rs->setAbsolutePosition(4999);
    EXPECT_EQ(rs->value(0), Value::integer(4999));
    rs->moveNext();
    EXPECT_TRUE(rs->eof());
    rs->setAbsolutePosition(4998);
    rs->move(-1);
    EXPECT_EQ(rs->value(0), Value::integer(4997));
    rs->setAbsolutePosition(1234);
    EXPECT_EQ(rs->value(0), Value::integer(1234));
    rs->move(100000);
    EXPECT_TRUE(rs->eof());
    rs->moveFirst();
    rs->move(-1);  // before the first row: no current row, not at the end
    EXPECT_FALSE(rs->eof());
    EXPECT_EQ(ErrorNumber([&] { rs->value(0); }), err::NoCurrentRecord);
    EXPECT_EQ(ErrorNumber([&] { rs->move(-1); }), err::NoCurrentRecord);
    EXPECT_EQ(ErrorNumber([&] { rs->setAbsolutePosition(5000); }), 3001);
}

TEST_F(RecordsetTest, CountFollowsChangesMadeElsewhere) {
    fill(0, 3000);
    auto rs = db->openRecordset("T");
    rs->setAbsolutePosition(2999);
    EXPECT_EQ(rs->recordCount(), 3000);
    test::Sql(*db, "DELETE FROM T WHERE N < 1000");
    EXPECT_EQ(rs->recordCount(), 2000);
    rs->setAbsolutePosition(1500);
    EXPECT_EQ(rs->value(0), Value::integer(2500));
    // Rows added by this recordset count at once.
    rs->addNew();
    rs->setValue(0, Value::integer(-1));
    rs->update();
    EXPECT_EQ(rs->recordCount(), 2001);
    rs->setAbsolutePosition(2000);
    EXPECT_EQ(rs->value(0), Value::integer(-1));
}

TEST_F(RecordsetTest, EditingRules) {
    fill(0, 3);
    auto rs = db->openRecordset("T");
    EXPECT_EQ(ErrorNumber([&] { rs->setValue(0, Value::integer(1)); }), err::UpdateWithoutEdit);
    EXPECT_EQ(ErrorNumber([&] { rs->update(); }), err::UpdateWithoutEdit);
    rs->moveNext();
    // AddNew leaves the current row where it was.
    rs->addNew();
    rs->setValue(0, Value::integer(99));
    EXPECT_EQ(rs->value(0), Value::integer(99));
    rs->update();
    EXPECT_EQ(rs->value(0), Value::integer(1));
    rs->edit();
    rs->setValue(0, Value::integer(51));
    rs->update();
    // Moving away drops an unsaved edit.
    rs->edit();
    rs->setValue(0, Value::integer(77));
    rs->moveNext();
    EXPECT_EQ(all(), (std::vector<int64_t>{0, 51, 2, 99}));
    EXPECT_EQ(ErrorNumber([&] { rs->value("Nope"); }), err::ItemNotFound);
    EXPECT_EQ(ErrorNumber([&] { rs->field(5); }), err::ItemNotFound);
}

TEST_F(RecordsetTest, AMillionRowsOpenCountAndJumpWithoutReadingEveryRow) {
    constexpr int64_t kRows = 1000000;
    test::Sql(*db, "WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < 999999) "
                "INSERT INTO T (N) SELECT x FROM c");
    // Queries run and rows read since `since` (the adapter's counts).
    auto readSince = [&](Database::ReadCounts since) {
        return std::make_pair(db->readCounts().queries - since.queries, db->readCounts().rows - since.rows);
    };
    auto start = db->readCounts();
    auto rs = db->openRecordset("T");
    EXPECT_EQ(rs->recordCount(), kRows);
    rs->setAbsolutePosition(777777);
    EXPECT_EQ(rs->value(0), Value::integer(777777));
    rs->setAbsolutePosition(kRows - 1);
    EXPECT_EQ(rs->value(0), Value::integer(999999));
    rs->setAbsolutePosition(12345);
    EXPECT_EQ(rs->value(0), Value::integer(12345));
    // The first jump builds the sparse index of rowids, one pass over the
    // table; no step reads the table again.
    auto [queries, rows] = readSince(start);
    EXPECT_LE(rows, kRows + 100);
    EXPECT_LE(queries, 20);
    // Further jumps use the index: a few lookups each.
    start = db->readCounts();
    for (int k = 0; k < 1000; ++k) {
        rs->setAbsolutePosition((k * 7919) % 1000000);
        ASSERT_EQ(rs->value(0).asInteger(), (k * 7919) % 1000000);
    }
    std::tie(queries, rows) = readSince(start);
    EXPECT_LE(queries, 1000 * 3);
    EXPECT_LE(rows, 1000 * 3);
    // A pass over every row (as a run over the cohort makes it) reads ahead
    // in blocks of up to 1024 rows instead of two queries per row.
    start = db->readCounts();
    int64_t sum = 0, passed = 0;
    for (rs->moveFirst(); !rs->eof(); rs->moveNext(), ++passed) sum += rs->value(0).asInteger();
    EXPECT_EQ(passed, kRows);
    EXPECT_EQ(sum, 999999LL * 1000000 / 2);
    std::tie(queries, rows) = readSince(start);
    EXPECT_LE(queries, kRows / 1024 + 20);
    EXPECT_LE(rows, kRows + 100);
}

TEST_F(RecordsetTest, RowsReadAheadFollowEveryChange) {
    fill(0, 100);
    auto rs = db->openRecordset("T");
    auto other = db->openRecordset("T");
    std::vector<int64_t> seen;
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        const int64_t n = rs->value(0).asInteger();
        seen.push_back(n);
        if (n == 10) test::Sql(*db, "UPDATE T SET N = -N WHERE N BETWEEN 11 AND 12");  // another statement
        if (n == 20) {  // another recordset
            other->setAbsolutePosition(21);
            other->edit();
            other->setValue(0, Value::integer(-21));
            other->update();
        }
        if (n == 30) {  // this recordset: edit the row, delete the next
            rs->edit();
            rs->setValue(0, Value::integer(-30));
            rs->update();
            EXPECT_EQ(rs->value(0), Value::integer(-30));
            rs->moveNext();
            rs->remove();
        }
        if (n == 40) {
            rs->addNew();
            rs->setValue(0, Value::integer(1000));
            rs->update();
        }
    }
    std::vector<int64_t> expected;
    for (int64_t i = 0; i < 100; ++i) {
        if (i == 31) continue;
        expected.push_back(i == 11 || i == 12 || i == 21 ? -i : i);
    }
    expected.push_back(1000);
    EXPECT_EQ(seen, expected);
    expected[30] = -30;
    EXPECT_EQ(all(), expected);
}

// ---- Recognising files ---------------------------------------------------------

TEST_F(DatabaseTest, FilesThatAreNotDatabasesOfOurs) {
    WriteBytes(path("empty.vdx"), "");
    WriteBytes(path("text.vdx"), std::string(4096, 'x'));
    test::CreateTable(*db, "T", "N LONG");
    test::Sql(*db, "WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < 9999) "
                "INSERT INTO T (N) SELECT x FROM c");
    db->close();
    const std::string whole = ReadBytes(path("t.vdb"));
    ASSERT_GT(whole.size(), 8192u);
    WriteBytes(path("half.vdx"), whole.substr(0, whole.size() / 2));
    WriteBytes(path("cut.vdx"), whole.substr(0, 4096 + 100));
    for (const char* name : {"empty.vdx", "text.vdx", "half.vdx", "cut.vdx"})
        EXPECT_EQ(ErrorNumber([&] { Database::open(path(name)); }), err::UnrecognizedDatabase) << name;
    EXPECT_EQ(ErrorNumber([&] { Database::open(path("missing.vdx")); }), err::FileNotFound);
    EXPECT_EQ(ErrorNumber([&] { Database::open(dir_); }), err::PathAccess);
    EXPECT_EQ(ErrorNumber([&] { Database::create(path("t.vdb")); }), err::ObjectExists);
    EXPECT_EQ(ErrorNumber([&] { Database::create(path("no/such/folder/t.vdb")); }), err::PathAccess);
    EXPECT_EQ(ErrorNumber([&] { Database::open(path("t.vdb")); }), 0);
}

TEST_F(DatabaseTest, EngineSystemTablesAreFlagged) {
    test::CreateTable(*db, "Mine", "N LONG");
    ASSERT_EQ(sqlite3_exec(db->handle(), "CREATE TABLE Auto (id INTEGER PRIMARY KEY AUTOINCREMENT)",
                           nullptr, nullptr, nullptr), SQLITE_OK);
    bool sawSystem = false;
    for (const auto& def : db->tableDefs()) {
        if (def.name == "sqlite_sequence") {
            sawSystem = true;
            EXPECT_EQ(def.attributes & kSystemObjectAttributes, kSystemObjectAttributes);
        } else {
            EXPECT_FALSE(def.isSystemTable()) << def.name;
        }
    }
    EXPECT_TRUE(sawSystem);
    EXPECT_EQ(TableNames(*db), (std::vector<std::string>{"Mine", "Auto"}));
}
