// dBase and Paradox tables from several producers, compared with the rows the
// fixtures were made from (tests/exchange/fixtures), and damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "exchange/formats/dbase/dbase_reader.h"
#include "exchange/formats/paradox/paradox_reader.h"
#include "state/text_values.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

using testing::ErrorNumberOf;
using testing::Names;
using testing::ReadAll;
using testing::ReadFileBytes;
using testing::Rows;
using testing::TempFolder;
using testing::Types;

const std::string kDBase = std::string(VDX_FIXTURES) + "/dbase/";
const std::string kParadox = std::string(VDX_FIXTURES) + "/paradox/";
const std::string kMueller = "M\xC3\xBCller";

// The three persons every fixture holds: name, birth, sex, weight, alive (-1 unknown).
void ExpectCohort(const Rows& rows, size_t sexColumn, size_t weightColumn, size_t aliveColumn) {
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], Value::text("Smith"));
    EXPECT_EQ(rows[1][0], Value::text(kMueller));
    EXPECT_EQ(rows[2][0], Value::text("O'Brien"));
    EXPECT_EQ(rows[0][1], Value::date(DayNumber(1950, 2, 1)));
    EXPECT_EQ(rows[1][1], Value::date(DayNumber(1962, 7, 15)));
    EXPECT_EQ(rows[2][1], Value::date(DayNumber(1889, 5, 12)));
    EXPECT_EQ(rows[1][sexColumn], Value::integer(2));
    EXPECT_EQ(rows[0][weightColumn], Value::real(72.5));
    EXPECT_EQ(rows[1][weightColumn], Value::real(60.25));
    EXPECT_EQ(rows[0][aliveColumn], Value::boolean(true));
    EXPECT_EQ(rows[1][aliveColumn], Value::boolean(false));
    EXPECT_TRUE(rows[2][aliveColumn].isNull());
}

// --- dBase ---------------------------------------------------------------------

TEST(DBaseTables, EveryTableOfTheFolderIsListed) {
    DBaseReader reader(kDBase);
    EXPECT_EQ(reader.tableNames(),
              (std::vector<std::string>{"ours_db4", "ours_db5", "pydbf_db3", "pydbf_vfp", "shapelib_db3"}));
}

TEST(DBaseTables, DBaseIIIFromShapelibAndPythonDbf) {
    DBaseReader reader(kDBase);
    for (const char* table : {"shapelib_db3", "pydbf_db3"}) {
        std::vector<ColumnSpec> columns = reader.columns(table);
        ASSERT_GE(columns.size(), 5u);
        EXPECT_EQ(columns[0], (ColumnSpec{"NAME", FieldType::Text, 20}));
        EXPECT_EQ(columns[1].type, FieldType::Date);
        EXPECT_EQ(columns[2].type, FieldType::Long);    // N(1,0)
        EXPECT_EQ(columns[3].type, FieldType::Double);  // N(6,2)
        EXPECT_EQ(columns[4].type, FieldType::Boolean);
        ExpectCohort(ReadAll(reader, table), 2, 3, 4);
    }
}

TEST(DBaseTables, MemoFieldsOfDBaseIIIAndIV) {
    DBaseReader reader(kDBase);
    for (const char* table : {"pydbf_db3", "ours_db4"}) {
        std::vector<ColumnSpec> columns = reader.columns(table);
        ASSERT_EQ(columns.size(), 6u) << table;
        EXPECT_EQ(columns[5].type, FieldType::Memo);
        Rows rows = ReadAll(reader, table);
        ExpectCohort(rows, 2, 3, 4);
        EXPECT_EQ(rows[0][5], Value::text("first line\r\nsecond line")) << table;
        EXPECT_EQ(rows[2][5], Value::text(std::string(700, 'x'))) << table;  // longer than one 512-byte block
    }
}

TEST(DBaseTables, DeletedRecordsAreSkipped) {
    DBaseReader reader(kDBase);
    Rows rows = ReadAll(reader, "ours_db4");  // its second record is marked deleted
    for (const auto& row : rows) EXPECT_NE(row[0], Value::text("Deleted"));
    EXPECT_EQ(rows.size(), 3u);
}

TEST(DBaseTables, DBase50WithAnsiCodePage) {
    DbfTable table(kDBase + "ours_db5.dbf");
    EXPECT_EQ(table.codePage(), 1252);
    EXPECT_EQ(table.version(), 0x03);
    Rows rows;
    table.readRows([&](const std::vector<Value>& r) { return rows.push_back(r), true; }, nullptr);
    ExpectCohort(rows, 2, 3, 4);
}

TEST(DBaseTables, FoxProFieldTypes) {
    DBaseReader reader(kDBase);
    EXPECT_EQ(Types(reader.columns("pydbf_vfp")),
              (std::vector<FieldType>{FieldType::Text, FieldType::Date, FieldType::Long, FieldType::Double,
                                      FieldType::Double, FieldType::Date, FieldType::Memo}));
    Rows rows = ReadAll(reader, "pydbf_vfp");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][2], Value::integer(-2));
    EXPECT_EQ(rows[1][3], Value::real(-0.125));
    EXPECT_EQ(rows[0][4], Value::real(12.3455));  // currency, as python3-dbf stored it
    EXPECT_EQ(rows[0][5], Value::date(DayNumber(2001, 2, 3) + 0.5));
    EXPECT_EQ(rows[1][5], Value::date(0.25));
    EXPECT_EQ(rows[0][6], Value::text("memo"));
}

TEST(DBaseTables, TableNamesIgnoreLetterCaseAndMissingTablesAreNotFound) {
    DBaseReader reader(kDBase);
    EXPECT_EQ(Names(reader.columns("SHAPELIB_DB3"))[0], "NAME");
    EXPECT_EQ(ErrorNumberOf([&] { reader.columns("nothing"); }), err::ObjectNotFound);
}

TEST(DBaseTables, ReadingStopsWhenAskedTo) {
    DBaseReader reader(kDBase);
    int rows = 0;
    reader.readRows("shapelib_db3", [&](const std::vector<Value>&) { return ++rows < 2; }, nullptr);
    EXPECT_EQ(rows, 2);
}

// Bad dBase files: each a copy of a good one, damaged one way.
class DBaseDamage : public ::testing::Test {
protected:
    std::string copy(const std::string& bytes, const std::string& name = "bad.dbf") { return dir.write(name, bytes); }
    int errorOf(const std::string& path) {
        return ErrorNumberOf([&] {
            DbfTable t(path);
            t.readRows([](const std::vector<Value>&) { return true; }, nullptr);
        });
    }
    TempFolder dir;
    std::string good = ReadFileBytes(kDBase + "shapelib_db3.dbf");
};

TEST_F(DBaseDamage, ATruncatedFileIsNotInTheExpectedFormat) {
    EXPECT_EQ(errorOf(copy(good.substr(0, good.size() - 30))), err::NotExpectedFormat);
    EXPECT_EQ(errorOf(copy(good.substr(0, 40))), err::NotExpectedFormat);
    EXPECT_EQ(errorOf(copy(good.substr(0, 10))), err::NotExpectedFormat);
    EXPECT_EQ(errorOf(copy(good)), 0);
}

TEST_F(DBaseDamage, AFileOfAnotherFormatIsNotInTheExpectedFormat) {
    EXPECT_EQ(errorOf(copy(ReadFileBytes(kParadox + "pxlib_cohort.db"))), err::NotExpectedFormat);
    EXPECT_EQ(errorOf(copy(std::string(600, 'A'))), err::NotExpectedFormat);
    std::string dbase7 = good;
    dbase7[0] = 0x04;
    EXPECT_EQ(errorOf(copy(dbase7)), err::NotExpectedFormat);
}

TEST_F(DBaseDamage, ARecordLengthThatDoesNotMatchItsFields) {
    std::string bad = good;
    bad[10] = 5;  // record length 5, shorter than the fields
    bad[11] = 0;
    EXPECT_EQ(errorOf(copy(bad)), err::NotExpectedFormat);
}

TEST_F(DBaseDamage, GarbageInANumericOrDateFieldNamesRecordAndField) {
    std::string bad = good;
    const size_t headerLength = static_cast<unsigned char>(bad[8]) | (static_cast<unsigned char>(bad[9]) << 8);
    bad[headerLength + 1 + 20 + 8 + 1 + 2] = 'x';  // record 1, WEIGHT
    try {
        DbfTable t(copy(bad));
        t.readRows([](const std::vector<Value>&) { return true; }, nullptr);
        ADD_FAILURE();
    } catch (const VdxError& e) {
        EXPECT_EQ(e.number(), err::NotExpectedFormat);
        EXPECT_NE(std::string(e.what()).find("record 1 field WEIGHT"), std::string::npos) << e.what();
    }
    bad = good;
    bad[headerLength + 1 + 20 + 4] = '1';  // BORN 1950 -> 195102.. a month 13? make it 19501301
    bad.replace(headerLength + 1 + 20, 8, "19501301");
    EXPECT_EQ(errorOf(copy(bad)), err::NotExpectedFormat);
}

// N fields holding what no column can take (fixtures of damaged/), and a
// FoxPro double made infinite: refused naming record and field.
TEST_F(DBaseDamage, NumbersNoColumnCanHoldAreRefusedNamingRecordAndField) {
    std::string vfp = ReadFileBytes(kDBase + "pydbf_vfp.dbf");
    const double minus = -0.125, inf = HUGE_VAL;
    const size_t at = vfp.find(std::string(reinterpret_cast<const char*>(&minus), 8));
    ASSERT_NE(at, std::string::npos);
    vfp.replace(at, 8, std::string(reinterpret_cast<const char*>(&inf), 8));
    copy(vfp, "vfp.dbf");
    copy(ReadFileBytes(kDBase + "pydbf_vfp.fpt"), "vfp.fpt");
    const std::string damaged = std::string(VDX_FIXTURES) + "/damaged/";
    const std::pair<std::string, const char*> cases[] = {
        {damaged + "nan.dbf", "record 1 field N1 holds 'nan', which is not a finite number"},
        {damaged + "big.dbf", "record 1 field N1 holds '1e300', which is not a whole number from -2147483648"},
        {damaged + "dblinf.dbf", "record 1 field N1 holds 'inf', which is not a finite number"},
        {dir.file("vfp.dbf"), "record 2 field WEIGHT holds a double that is not a finite number"},
    };
    for (const auto& [path, said] : cases) {
        auto [number, message] = testing::ErrorOf([&] {
            DbfTable t(path);
            t.readRows([](const std::vector<Value>&) { return true; }, nullptr);
        });
        EXPECT_EQ(number, err::NotExpectedFormat) << path;
        EXPECT_NE(message.find(said), std::string::npos) << message;
    }
}

TEST_F(DBaseDamage, RepeatedFieldNamesAreRefused) {
    std::string bad = good;
    bad.replace(32 + 32, 4, std::string("NAME", 4));  // the second field is called NAME too
    EXPECT_EQ(errorOf(copy(bad)), err::InvalidName);
}

TEST_F(DBaseDamage, AMissingOrDamagedMemoFileIsReported) {
    copy(ReadFileBytes(kDBase + "pydbf_db3.dbf"), "memo.dbf");
    DBaseReader reader(dir.path());
    EXPECT_EQ(ErrorNumberOf([&] { ReadAll(reader, "memo"); }), err::NotExpectedFormat);
    copy(ReadFileBytes(kDBase + "pydbf_db3.dbt").substr(0, 600), "memo.dbt");
    EXPECT_EQ(ErrorNumberOf([&] { ReadAll(reader, "memo"); }), err::NotExpectedFormat);
    copy(ReadFileBytes(kDBase + "pydbf_db3.dbt"), "memo.dbt");
    EXPECT_EQ(ReadAll(reader, "memo").size(), 3u);
}

// --- Paradox ---------------------------------------------------------------------

TEST(ParadoxTables, Versions3To7FromOurWriterAndPxlib) {
    ParadoxReader reader(kParadox);
    EXPECT_EQ(reader.tableNames(),
              (std::vector<std::string>{"ours_px3", "ours_px4", "ours_px5", "pxlib_cohort", "pxlib_nulls"}));
    const std::pair<const char*, int> versions[] = {{"ours_px3", 3}, {"ours_px4", 9}, {"ours_px5", 11}, {"pxlib_cohort", 12}};
    for (const auto& [table, version] : versions) {
        EXPECT_EQ(ReadParadoxHeader(kParadox + table + ".db").version, version);
        std::vector<ColumnSpec> columns = reader.columns(table);
        EXPECT_EQ(columns[0], (ColumnSpec{"Name", FieldType::Text, 20})) << table;
        EXPECT_EQ(columns[1].type, FieldType::Date);
        EXPECT_EQ(columns[2].type, FieldType::Integer);
        Rows rows = ReadAll(reader, table);
        const bool pxlib = std::string(table) == "pxlib_cohort";
        ExpectCohort(rows, 2, pxlib ? 4 : 3, pxlib ? 5 : 4);
    }
}

TEST(ParadoxTables, CodePagesOfTheHeaderDecodeTexts) {
    EXPECT_EQ(ReadParadoxHeader(kParadox + "ours_px4.db").codePage, 850);
    EXPECT_EQ(ReadParadoxHeader(kParadox + "ours_px5.db").codePage, 1252);
    ParadoxReader reader(kParadox);
    Rows rows = ReadAll(reader, "pxlib_cohort");
    EXPECT_EQ(rows[0][6], Value::text("caf\xC3\xA9"));
    EXPECT_EQ(rows[0][3], Value::integer(1));  // the Long column
}

TEST(ParadoxTables, NullLongAndDateFieldsAreNullWhateverTheirNeighbours) {
    ParadoxReader reader(kParadox);
    const Value null;
    const Rows expected = {
        {Value::integer(1), null, Value::integer(162), Value::date(DayNumber(1990, 5, 1)), Value::real(70.5)},
        {null, Value::date(DayNumber(1950, 2, 1)), null, null, Value::real(80.0)},
        {Value::integer(-7), Value::date(0), Value::integer(0), null, null},
    };
    EXPECT_EQ(ReadAll(reader, "pxlib_nulls"), expected);
}

TEST(ParadoxTables, MissingTablesAreNotFound) {
    ParadoxReader reader(kParadox);
    EXPECT_EQ(ErrorNumberOf([&] { reader.columns("nothing"); }), err::ObjectNotFound);
}

TEST(ParadoxDamage, TruncatedAndForeignFilesAreNotInTheExpectedFormat) {
    TempFolder dir;
    const std::string good = ReadFileBytes(kParadox + "pxlib_cohort.db");
    ParadoxReader reader(dir.path());
    auto errorOf = [&](const std::string& bytes) {
        dir.write("bad.db", bytes);
        return ErrorNumberOf([&] { ReadAll(reader, "bad"); });
    };
    EXPECT_EQ(errorOf(good.substr(0, good.size() - 100)), err::NotExpectedFormat);
    EXPECT_EQ(errorOf(good.substr(0, 0x60)), err::NotExpectedFormat);
    EXPECT_EQ(errorOf(ReadFileBytes(kDBase + "shapelib_db3.dbf")), err::NotExpectedFormat);
    EXPECT_EQ(errorOf(std::string(5000, '\0')), err::NotExpectedFormat);
    std::string wrongSize = good;
    wrongSize[0] = 3;  // record size no longer the sum of the fields
    EXPECT_EQ(errorOf(wrongSize), err::NotExpectedFormat);
    std::string manyRecords = good;
    manyRecords[6] = '\x7F';  // more records than its one block holds
    EXPECT_EQ(errorOf(manyRecords), err::NotExpectedFormat);
    EXPECT_EQ(errorOf(good), 0);
}

}  // namespace
}  // namespace vdx::exchange
