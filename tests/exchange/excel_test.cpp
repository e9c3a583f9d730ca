// Excel workbooks of every version from several producers, read through the
// reader the program uses and compared with the rows the fixtures were made
// from (tests/exchange/fixtures/make_*.py|js).
#include "exchange/formats/excel/excel_reader.h"

#include <gtest/gtest.h>

#include "exchange/formats/excel/biff_reader.h"
#include "state/text_values.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

using testing::ErrorNumberOf;
using testing::Names;
using testing::ReadAll;
using testing::Rows;
using testing::TempFolder;
using testing::Types;

const std::string kExcel = std::string(VDX_FIXTURES) + "/excel/";

// One fixture and what it must read as.
struct Workbook {
    std::string file;
    int biffVersion;
    std::string table;
    std::string secondName;  // SheetJS writes ASCII only
    bool bornIsDate;         // SheetJS writes Excel 2.1-4.0 dates without a date format
    bool freeXlOpens;  // FreeXL refuses SheetJS's files (no CODEPAGE record, odd compound documents)
};

void PrintTo(const Workbook& w, std::ostream* os) { *os << w.file; }

const Workbook kWorkbooks[] = {
    {"ours_biff2.xls", 2, "ours_biff2$", "M\xC3\xBCller", true, true},
    {"sheetjs_biff2.xls", 2, "sheetjs_biff2$", "Mueller", false, false},
    {"ours_biff3.xls", 3, "ours_biff3$", "M\xC3\xBCller", true, true},
    {"sheetjs_biff3.xls", 3, "sheetjs_biff3$", "Mueller", false, false},
    {"ours_biff4.xls", 4, "ours_biff4$", "M\xC3\xBCller", true, true},
    {"sheetjs_biff4.xls", 4, "sheetjs_biff4$", "Mueller", false, false},
    {"gnumeric_biff5.xls", 5, "Cohort$", "M\xC3\xBCller", true, true},
    {"sheetjs_biff5.xls", 5, "Cohort$", "Mueller", true, false},
    {"gnumeric_biff8.xls", 8, "Cohort$", "M\xC3\xBCller", true, true},
    {"sheetjs_biff8.xls", 8, "Cohort$", "Mueller", true, false},
    {"xlwt_biff8.xls", 8, "Cohort$", "M\xC3\xBCller", true, true},
};

class ExcelFixture : public ::testing::TestWithParam<Workbook> {};

TEST_P(ExcelFixture, ReadsTheCohortSheetWithNamesTypesAndValues) {
    const Workbook& w = GetParam();
    ExcelReader reader(kExcel + w.file);
    EXPECT_EQ(reader.biffVersion(), w.biffVersion);
    EXPECT_EQ(reader.tableNames().front(), w.table);

    std::vector<ColumnSpec> columns = reader.columns(w.table);
    ASSERT_GE(columns.size(), 5u);
    std::vector<std::string> names = Names(columns);
    names.resize(5);
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "Born", "Sex", "Weight", "Alive"}));
    EXPECT_EQ(columns[0].type, FieldType::Text);
    EXPECT_EQ(columns[1].type, w.bornIsDate ? FieldType::Date : FieldType::Double);
    EXPECT_EQ(columns[2].type, FieldType::Double);
    EXPECT_EQ(columns[3].type, FieldType::Double);
    EXPECT_EQ(columns[4].type, FieldType::Boolean);

    Rows rows = ReadAll(reader, w.table);
    ASSERT_EQ(rows.size(), 3u);
    auto born = [&](int y, int m, int d) {
        return w.bornIsDate ? Value::date(DayNumber(y, m, d)) : Value::real(DayNumber(y, m, d));
    };
    EXPECT_EQ(rows[0][0], Value::text("Smith"));
    EXPECT_EQ(rows[0][1], born(1950, 2, 1));
    EXPECT_EQ(rows[0][3], Value::real(72.5));
    EXPECT_EQ(rows[0][4], Value::boolean(true));
    EXPECT_EQ(rows[1][0], Value::text(w.secondName));
    EXPECT_EQ(rows[1][1], born(1962, 7, 15));
    EXPECT_EQ(rows[1][2], Value::real(2));
    EXPECT_EQ(rows[1][3], Value::real(60.25));
    EXPECT_EQ(rows[1][4], Value::boolean(false));
    EXPECT_EQ(rows[2][0], Value::text("O'Brien"));
    EXPECT_EQ(rows[2][1], born(1901, 3, 9));
}

TEST_P(ExcelFixture, FreeXlAgreesWhereItOpensTheFile) {
    const Workbook& w = GetParam();
    if (!w.freeXlOpens) {
        EXPECT_EQ(ErrorNumberOf([&] { ReadWithFreeXl(kExcel + w.file); }), err::NotExpectedFormat);
        return;
    }
    FreeXlWorkbook book = ReadWithFreeXl(kExcel + w.file);
    ExcelReader ours(kExcel + w.file);
    SheetTable theirs = BuildSheetTable(book.sheets.at(0), w.table);
    Rows fromFreeXl;
    EmitSheetRows(theirs, [&](const std::vector<Value>& row) { return fromFreeXl.push_back(row), true; }, nullptr);
    // FreeXL gives booleans as the numbers 1 and 0; the other columns agree.
    std::vector<FieldType> theirTypes = Types(theirs.columns), ourTypes = Types(ours.columns(w.table));
    EXPECT_EQ(theirTypes[4], FieldType::Double);
    theirTypes.resize(4);
    ourTypes.resize(4);
    EXPECT_EQ(theirTypes, ourTypes);
    Rows fromOurs = ReadAll(ours, w.table);
    ASSERT_EQ(fromFreeXl.size(), fromOurs.size());
    for (size_t r = 0; r < fromOurs.size(); ++r) {
        for (size_t c = 0; c < 4; ++c) EXPECT_EQ(fromFreeXl[r][c], fromOurs[r][c]) << "row " << r << " column " << c;
        EXPECT_EQ(fromFreeXl[r][4], Value::real(fromOurs[r][4].asBool() ? 1 : 0));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryVersionTwoProducers, ExcelFixture, ::testing::ValuesIn(kWorkbooks));

TEST(ExcelWorkbook, ListsEveryWorksheetWithADollarSign) {
    ExcelReader reader(kExcel + "gnumeric_biff8.xls");
    EXPECT_EQ(reader.tableNames(), (std::vector<std::string>{"Cohort$", "Rates$", "Empty$", "Header only$"}));
    // A table is found with or without its "$" and in any letter case.
    EXPECT_EQ(Names(reader.columns("rates")), (std::vector<std::string>{"Age", "Rate"}));
    Rows rates = ReadAll(reader, "Rates$");
    ASSERT_EQ(rates.size(), 2u);
    EXPECT_EQ(rates[1][1], Value::real(0.0021));
}

TEST(ExcelWorkbook, FormulaCellsGiveTheirComputedResults) {
    for (const char* file : {"gnumeric_biff5.xls", "gnumeric_biff8.xls"}) {
        ExcelReader reader(kExcel + file);
        std::vector<ColumnSpec> columns = reader.columns("Cohort$");
        ASSERT_EQ(columns.size(), 6u) << file;
        EXPECT_EQ(columns[5].name, "Double");
        EXPECT_EQ(columns[5].type, FieldType::Double);
        Rows rows = ReadAll(reader, "Cohort$");
        EXPECT_EQ(rows[0][5], Value::real(145.0)) << file;
        EXPECT_EQ(rows[1][5], Value::real(120.5)) << file;
        // FreeXL gives no value for formula cells, which is why it is not the first reader.
        FreeXlWorkbook freexl = ReadWithFreeXl(kExcel + file);
        for (const SheetCell& cell : freexl.sheets[0]) {
            if (cell.row > 0) {
                EXPECT_NE(cell.column, 5) << "FreeXL now reads formulas";
            }
        }
    }
}

TEST(ExcelWorkbook, DatesBefore1900AreDatesAndMixedColumnsAreText) {
    for (const char* file : {"gnumeric_early_biff5.xls", "gnumeric_early_biff8.xls"}) {
        ExcelReader reader(kExcel + file);
        std::vector<ColumnSpec> columns = reader.columns("Early$");
        EXPECT_EQ(Types(columns), (std::vector<FieldType>{FieldType::Text, FieldType::Date, FieldType::Text}));
        Rows rows = ReadAll(reader, "Early$");
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0][1], Value::date(DayNumber(1889, 5, 12))) << file;
        EXPECT_EQ(rows[1][1], Value::date(DayNumber(1950, 2, 1)));
        // The text stays text; the date cell of the same column is written as a date text.
        EXPECT_EQ(rows[0][2], Value::text("12.05.1889"));
        EXPECT_EQ(rows[1][2], Value::text(FormatDate(DayNumber(1950, 2, 1))));
        EXPECT_EQ(ReadDate(rows[1][2].asText()), DayNumber(1950, 2, 1));
    }
}

TEST(ExcelWorkbook, AnEmptySheetIsAnErrorAndAHeaderOnlySheetHasNoRows) {
    ExcelReader reader(kExcel + "gnumeric_biff8.xls");
    EXPECT_EQ(ErrorNumberOf([&] { reader.columns("Empty$"); }), err::NotExpectedFormat);
    EXPECT_EQ(ErrorNumberOf([&] { ReadAll(reader, "Empty$"); }), err::NotExpectedFormat);
    EXPECT_EQ(Names(reader.columns("Header only$")), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(ReadAll(reader, "Header only$").empty());
    EXPECT_EQ(ErrorNumberOf([&] { reader.columns("Nothing$"); }), err::ObjectNotFound);
}

// --- Sheets as tables --------------------------------------------------------

std::vector<SheetCell> Cells(std::initializer_list<std::tuple<uint32_t, uint16_t, Value>> list) {
    std::vector<SheetCell> cells;
    for (const auto& [r, c, v] : list) cells.push_back({r, c, v});
    return cells;
}

TEST(SheetTables, TheTableStartsAtTheFirstCellsAndKeepsEmptyRowsBetween) {
    // Values from B3: row 3 names the columns; row 5 is empty.
    SheetTable t = BuildSheetTable(Cells({{2, 1, Value::text("A")}, {2, 2, Value::text("B")},
                                          {3, 1, Value::real(1)}, {5, 2, Value::real(2)}}),
                                   "S$");
    EXPECT_EQ(Names(t.columns), (std::vector<std::string>{"A", "B"}));
    Rows rows;
    EmitSheetRows(t, [&](const std::vector<Value>& row) { return rows.push_back(row), true; }, nullptr);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], Value::real(1));
    EXPECT_TRUE(rows[1][0].isNull() && rows[1][1].isNull());
    EXPECT_EQ(rows[2][1], Value::real(2));
}

TEST(SheetTables, MixedColumnsBecomeTextAndLongTextsMemo) {
    SheetTable t = BuildSheetTable(Cells({{0, 0, Value::text("Mix")}, {0, 1, Value::text("Long")},
                                          {1, 0, Value::real(1.5)}, {1, 1, Value::text(std::string(300, 'x'))},
                                          {2, 0, Value::boolean(true)}}),
                                   "S$");
    EXPECT_EQ(Types(t.columns), (std::vector<FieldType>{FieldType::Text, FieldType::Memo}));
    Rows rows;
    EmitSheetRows(t, [&](const std::vector<Value>& row) { return rows.push_back(row), true; }, nullptr);
    EXPECT_EQ(rows[0][0], Value::text("1.5"));
    EXPECT_EQ(rows[1][0], Value::text(BooleanText(true)));
}

TEST(SheetTables, BadColumnNamesAreRefused) {
    auto number = [](std::vector<SheetCell> cells) {
        return ErrorNumberOf([&] { BuildSheetTable(std::move(cells), "S$"); });
    };
    // An empty header between named columns.
    EXPECT_EQ(number(Cells({{0, 0, Value::text("A")}, {0, 2, Value::text("C")}, {1, 1, Value::real(1)}})),
              err::InvalidName);
    EXPECT_EQ(number(Cells({{0, 0, Value::text("Age")}, {0, 1, Value::text("age")}})), err::InvalidName);
    EXPECT_EQ(number(Cells({{0, 0, Value::text("a!b")}})), err::InvalidName);
    // A number as header is a name.
    EXPECT_EQ(number(Cells({{0, 0, Value::real(1950)}})), 0);
}

// --- The BIFF reader's pieces --------------------------------------------------

TEST(BiffDates, SerialsCountAsExcelCountsThem) {
    EXPECT_EQ(ExcelSerialToDayNumber(61, false), DayNumber(1900, 3, 1));
    EXPECT_EQ(ExcelSerialToDayNumber(1, false), DayNumber(1900, 1, 1));
    EXPECT_EQ(ExcelSerialToDayNumber(59, false), DayNumber(1900, 2, 28));
    EXPECT_EQ(ExcelSerialToDayNumber(-3885, false), DayNumber(1889, 5, 12));  // as gnumeric writes it
    EXPECT_EQ(ExcelSerialToDayNumber(0, true), DayNumber(1904, 1, 1));
    EXPECT_EQ(ExcelSerialToDayNumber(18295.5, false), DayNumber(1950, 2, 1) + 0.5);
}

TEST(BiffDates, DateFormatsAreToldFromNumberFormats) {
    for (const char* f : {"dd.mm.yyyy", "m/d/yy", "[$-409]d-mmm-yy", "h:mm", "[h]:mm:ss", "yyyy", "DD/MM/YYYY"})
        EXPECT_TRUE(IsDateFormat(f)) << f;
    for (const char* f : {"General", "0.00", "0.00E+00", "#,##0 \"days\"", "[Red]0.0", "\\d0", "0_)", ""})
        EXPECT_FALSE(IsDateFormat(f)) << f;
}

// --- Damaged and foreign files -------------------------------------------------

TEST(ExcelBadFiles, FilesThatAreNoWorkbooksAreNotInTheExpectedFormat) {
    TempFolder dir;
    EXPECT_EQ(ErrorNumberOf([&] { ExcelReader(dir.write("t.xls", "Name;Born\nSmith;1950\n")); }), err::NotExpectedFormat);
    EXPECT_EQ(ErrorNumberOf([&] { ExcelReader(dir.write("e.xls", "")); }), err::NotExpectedFormat);
    // A compound document without a workbook stream.
    std::string doc = testing::ReadFileBytes(kExcel + "xlwt_biff8.xls");
    for (size_t i = 0; i + 16 <= doc.size(); ++i)
        if (doc.compare(i, 16, std::string("W\0o\0r\0k\0b\0o\0o\0k\0", 16)) == 0) doc[i] = 'X';
    EXPECT_EQ(ErrorNumberOf([&] { ExcelReader(dir.write("nobook.xls", doc)); }), err::NotExpectedFormat);
    EXPECT_EQ(ErrorNumberOf([&] { ExcelReader(dir.file("missing.xls")); }), err::FileNotFound);
}

TEST(ExcelBadFiles, AWorksheetCutShortOrWithACellOutsideItsDimensionsIsDamaged) {
    using testing::BiffNumber2;
    using testing::BiffRecord;
    // An Excel 2.1 worksheet of rows 0 to 1 and column 0: a header and one number.
    const std::string bof = BiffRecord(0x0009, std::string("\0\0\x10\0", 4));
    const std::string dimensions = BiffRecord(0x0000, std::string("\0\0\x02\0\0\0\x01\0", 8));
    const std::string header = BiffRecord(0x0004, std::string("\0\0\0\0\0\0\0\x01" "A", 9));
    const std::string eof = BiffRecord(0x000A, "");
    const std::string good = bof + dimensions + header + BiffNumber2(1, 0, 7) + eof;
    const std::pair<std::string, std::string> damaged[] = {
        {bof + dimensions + header + BiffNumber2(1, 0, 7), "ends without its end record"},
        {good.substr(0, good.size() - 6), "runs past the end"},
        {bof + dimensions + header + BiffNumber2(1, 0, 7) + BiffNumber2(2, 0, 8) + eof, "outside the sheet's dimensions"},
    };
    TempFolder dir;
    for (const auto& [bytes, why] : damaged) {
        try {
            ExcelReader reader(dir.write("x.xls", bytes));
            ReadAll(reader, "x$");
            ADD_FAILURE() << why << ": read";
        } catch (const VdxError& e) {
            EXPECT_EQ(e.number(), err::NotExpectedFormat);
            EXPECT_EQ(e.description().rfind("x.xls is not in the expected format: it is damaged (", 0), 0u) << e.description();
            EXPECT_NE(e.description().find(why), std::string::npos) << e.description();
        }
    }
    ExcelReader reader(dir.write("x.xls", good));
    EXPECT_EQ(ReadAll(reader, "x$"), (Rows{{Value::real(7)}}));
}

TEST(ExcelBadFiles, APasswordProtectedWorkbookIsRefused) {
    // An Excel 4.0 worksheet whose second record is FILEPASS.
    std::string bytes("\x09\x04\x06\x00\x00\x04\x10\x00\x00\x00" "\x2F\x00\x04\x00\x01\x02\x03\x04" "\x0A\x00\x00\x00", 22);
    TempFolder dir;
    EXPECT_EQ(ErrorNumberOf([&] { ExcelReader(dir.write("p.xls", bytes)); }), err::NotExpectedFormat);
}

}  // namespace
}  // namespace vdx::exchange
