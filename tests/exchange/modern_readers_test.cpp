// The readers of today's formats (.xlsx, Stata, SAS, SPSS, CSV) over
// fixtures written by independent producers (tests/exchange/fixtures/modern,
// made by the scripts there), compared cell for cell; damaged and hostile
// files are refused with 3274 naming the file.
#include <gtest/gtest.h>

#include "exchange/formats/text/csv_reader.h"
#include "exchange/io/isolated_process.h"
#include "exchange/io/reader_support.h"
#include "exchange/formats/statistics/statistics_reader.h"
#include "exchange/formats/xlsx/xlsx_reader.h"
#include "state/text_values.h"
#include "test_support.h"
#include "xlsx_workbook.h"

namespace vdx::exchange {
namespace {

using testing::ErrorOf;
using testing::Names;
using testing::ReadAll;
using testing::Rows;
using testing::Types;
using vdx::testing::SheetXml;
using vdx::testing::WriteXlsx;
using testing::TempFolder;

const std::string kModern = std::string(VDX_FIXTURES) + "/modern/";

class XlsxEpochs : public ::testing::TestWithParam<const char*> {};

TEST_P(XlsxEpochs, ReadsSheetsCellForCell) {
    XlsxReader reader(kModern + GetParam());
    EXPECT_EQ(reader.tableNames(), (std::vector<std::string>{"Cohort$", "Rates$"}));
    const std::vector<ColumnSpec> columns = reader.columns("Cohort$");
    EXPECT_EQ(Names(columns), (std::vector<std::string>{"id", "name", "birth", "alive", "weight"}));
    EXPECT_EQ(Types(columns), (std::vector<FieldType>{FieldType::Double, FieldType::Text, FieldType::Date,
                                                      FieldType::Boolean, FieldType::Double}));
    const Rows expected = {
        {Value::real(1), Value::text("\xC3\x85lund, \"Per\""), Value::date(DayNumber(1867, 3, 15)),
         Value::boolean(true), Value::real(71.5)},
        {Value::real(2), Value(), Value::date(DayNumber(1923, 12, 31)), Value::boolean(false), Value()},
        {Value::real(3), Value::text("Berg"), Value::date(DayNumber(1900, 1, 1)), Value::boolean(true), Value::real(80)},
    };
    EXPECT_EQ(ReadAll(reader, "Cohort$"), expected);
    EXPECT_EQ(ReadAll(reader, "rates"), (Rows{{Value::real(20), Value::real(0.0012)}}));
}

INSTANTIATE_TEST_SUITE_P(OpenpyxlWorkbooks, XlsxEpochs, ::testing::Values("cohort.xlsx", "cohort1904.xlsx"));

TEST(XlsxFromLibreOffice, FormulasGiveTheirCachedValuesAndDatesBefore1900AreRead) {
    XlsxReader reader(kModern + "libreoffice.xlsx");
    const Rows expected = {
        {Value::real(21), Value::real(42), Value::date(DayNumber(1867, 3, 15))},
        {Value::real(1.25), Value::real(2.5), Value::date(DayNumber(1899, 12, 31))},
        {Value::real(-4), Value::real(-8), Value::date(DayNumber(1900, 1, 15))},
        {Value::real(0.1), Value::real(0.2), Value::date(DayNumber(1950, 2, 1))},
    };
    EXPECT_EQ(ReadAll(reader, "Cohort$"), expected);
}

TEST(XlsxBadFiles, TruncatedAndBombedWorkbooksAreRefusedNamingTheFile) {
    for (const char* file : {"truncated.xlsx", "bomb.xlsx"}) {
        auto [number, message] = ErrorOf([&] {
            XlsxReader reader(kModern + file);
            ReadAll(reader, reader.tableNames().front());
        });
        EXPECT_EQ(number, err::NotExpectedFormat) << file;
        EXPECT_NE(message.find(file), std::string::npos) << message;
    }
}

// Sheets no worksheet can be, each refused naming the file and saying what
// is wrong (the two fixtures of damaged/ were found by reading the reader).
TEST(XlsxBadFiles, CellsAndRowsNoSheetCanHaveAreRefusedSayingWhy) {
    const std::string damaged = std::string(VDX_FIXTURES) + "/damaged/";
    const std::string header = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>x</t></is></c></row>";
    auto second = [&](const std::string& cell) { return SheetXml(header + "<row r=\"2\">" + cell + "</row>"); };
    struct Case {
        std::string file, sheet, said;
    };
    const Case cases[] = {
        {damaged + "iso_hour_overflow.xlsx", "",
         "cell A2 holds \"2000-01-01T999999999:00:00\", which is no date of the years 100 to 9999"},
        {"", second("<c r=\"A2\" t=\"d\"><v>2000-01-01T10:60:00</v></c>"), "cell A2 holds \"2000-01-01T10:60:00\""},
        {damaged + "row_llong_min.xlsx", "", "row \"-99999999999999999999\" is no row number"},
        {"", SheetXml(header + "<row r=\"1048577\"><c><v>1</v></c></row>"),
         "row \"1048577\" lies beyond row 1048576, the last row a worksheet can have"},
        {"", second("<c r=\"XFE2\"><v>1</v></c>"), "lies beyond column XFD (16384)"},
        {"", second("<c r=\"A2\" t=\"s\"><v>3</v></c>"),
         "cell A2 names shared string 3, but the workbook has 1 (numbered from 0)"},
    };
    TempFolder dir;
    for (const Case& c : cases) {
        std::string path = c.file;
        if (path.empty()) {
            path = dir.file("made.xlsx");
            WriteXlsx(path, c.sheet, "<sst><si><t>only</t></si></sst>");
        }
        auto [number, message] = ErrorOf([&] {
            XlsxReader reader(path);
            ReadAll(reader, reader.tableNames().front());
        });
        EXPECT_EQ(number, err::NotExpectedFormat) << c.said;
        EXPECT_NE(message.find(FileNameOf(path) + " is not in the expected format: "), std::string::npos) << message;
        EXPECT_NE(message.find(c.said), std::string::npos) << message;
    }
}

// The reader holds no cell: a sheet of 600,000 cells (about 38 MB as cells
// in memory) is read in a child process allowed only 32 MiB more memory.
TEST(XlsxStreaming, ASheetIsReadWithinMemoryFarSmallerThanItsCells) {
    TempFolder dir;
    std::string rows = "<row><c t=\"inlineStr\"><is><t>id</t></is></c><c t=\"inlineStr\"><is><t>w</t></is></c>"
                       "<c t=\"inlineStr\"><is><t>n</t></is></c></row>";
    for (int i = 0; i < 200000; ++i)
        rows += "<row><c><v>" + std::to_string(i) + "</v></c><c><v>1.5</v></c><c><v>7</v></c></row>";
    const std::string sheet = dir.write("sheet.xml", SheetXml(rows));
    rows = std::string();
    const std::string path = dir.file("big.xlsx");
    vdx::testing::WriteXlsxFromSheetFile(path, sheet);
    const IsolatedLimits before = GetIsolatedLimits();
    SetIsolatedLimits({32 << 20, before.cpuSeconds});
    uint64_t count = 0;
    auto [number, message] = ErrorOf([&] {
        RunIsolated(
            "big.xlsx",
            [&](MessageSender& out) {
                XlsxReader reader(path);
                uint64_t read = 0;
                reader.readRows("Sheet1$", [&](const std::vector<Value>&) { return ++read, true; }, nullptr);
                MessageWriter m;
                m.put<uint64_t>(read);
                out.send(m);
            },
            [&](MessageReader& in) {
                count = in.get<uint64_t>();
                return true;
            });
    });
    SetIsolatedLimits(before);
    EXPECT_EQ(number, 0) << message;
    EXPECT_EQ(count, 200000u);
}

TEST(XlsxDates, IsoDateCellsKeepTheirTimeOfDay) {
    TempFolder dir;
    const std::string path = dir.file("d.xlsx");
    WriteXlsx(path, SheetXml("<row><c t=\"inlineStr\"><is><t>d</t></is></c></row>"
                             "<row><c t=\"d\"><v>1867-03-15T18:00:00Z</v></c></row>"
                             "<row><c t=\"d\"><v>2000-02-29T23:59:59.5</v></c></row>"));
    XlsxReader reader(path);
    EXPECT_EQ(ReadAll(reader, "Sheet1$"),
              (Rows{{Value::date(DayNumber(1867, 3, 15) + 0.75)}, {Value::date(DayNumber(2000, 3, 1) - 0.5 / 86400)}}));
}

}  // namespace
}  // namespace vdx::exchange

namespace vdx::exchange {
namespace {

struct StatisticsFile {
    const char* file;
    StatisticsFormat format;
    FieldType integers;  // Stata keeps its integer storage; SPSS and transport files have doubles only
};

void PrintTo(const StatisticsFile& f, std::ostream* os) { *os << f.file; }

class StatisticsFiles : public ::testing::TestWithParam<StatisticsFile> {};

TEST_P(StatisticsFiles, ReadsTheTableCellForCellWithDatesAndCodes) {
    const StatisticsFile& f = GetParam();
    StatisticsReader reader(f.format, kModern + f.file);
    ASSERT_EQ(reader.tableNames(), (std::vector<std::string>{"cohort"}));
    const std::vector<ColumnSpec> columns = reader.columns("Cohort");
    EXPECT_EQ(Names(columns), (std::vector<std::string>{"id", "name", "birth", "weight", "cause"}));
    EXPECT_EQ(Types(columns), (std::vector<FieldType>{f.integers, FieldType::Text, FieldType::Date, FieldType::Double,
                                                      f.integers}));
    auto number = [&](double d) { return f.integers == FieldType::Long ? Value::integer(int64_t(d)) : Value::real(d); };
    const Rows expected = {
        {number(1), Value::text("\xC3\x85lund"),
         Value::date(DayNumber(1867, 3, 15)), Value::real(71.5), number(162)},
        {number(2), Value::text(""), Value::date(DayNumber(1923, 12, 31)), Value(), Value()},
        {number(3), Value::text("Berg"), Value(), Value::real(80), number(410)},
    };
    EXPECT_EQ(ReadAll(reader, "cohort"), expected);
}

INSTANTIATE_TEST_SUITE_P(ReadStatWriter, StatisticsFiles,
                         ::testing::Values(StatisticsFile{"cohort.dta", StatisticsFormat::Stata, FieldType::Long},
                                           StatisticsFile{"cohort.sav", StatisticsFormat::Spss, FieldType::Double},
                                           StatisticsFile{"cohort.xpt", StatisticsFormat::SasTransport,
                                                          FieldType::Double}));

// The cohort as other programs write it (make_r_cohort.R: R's haven and
// foreign; make_readstat.sh: the readstat tool from a CSV): births before
// 1900 are dates wherever the file marks them as dates, value labels are not
// applied, missing values are Null.
enum class Birth { Date, StataDays, SpssSeconds };
struct ProducedFile {
    const char* file;
    StatisticsFormat format;
    FieldType integers;   // the storage of id and cause
    Birth birth;          // foreign and the readstat tool drop the date format
    FieldType birthType;
    const char* missingName;  // foreign writes R's NA text as "NA"
};

void PrintTo(const ProducedFile& f, std::ostream* os) { *os << f.file; }

class ProducedByOthers : public ::testing::TestWithParam<ProducedFile> {};

TEST_P(ProducedByOthers, ReadsTheCohortCellForCell) {
    const ProducedFile& f = GetParam();
    StatisticsReader reader(f.format, kModern + f.file);
    const std::string table = reader.tableNames().front();
    const std::vector<ColumnSpec> columns = reader.columns(table);
    EXPECT_EQ(Names(columns), (std::vector<std::string>{"id", "name", "birth", "weight", "cause"}));
    EXPECT_EQ(Types(columns), (std::vector<FieldType>{f.integers, FieldType::Text, f.birthType, FieldType::Double,
                                                      f.integers}));
    auto number = [&](FieldType type, double d) { return type == FieldType::Long ? Value::integer(int64_t(d)) : Value::real(d); };
    auto birth = [&](int y, int m, int d) {
        const double day = DayNumber(y, m, d);
        switch (f.birth) {
            case Birth::Date: return Value::date(day);
            case Birth::StataDays: return number(f.birthType, day - DayNumber(1960, 1, 1));
            case Birth::SpssSeconds: return Value::real((day - DayNumber(1582, 10, 14)) * 86400);
        }
        return Value();
    };
    const Rows expected = {
        {number(f.integers, 1), Value::text("\xC3\x85lund"), birth(1868, 4, 2), Value::real(71.5), number(f.integers, 162)},
        {number(f.integers, 2), Value::text(f.missingName), birth(1899, 12, 31), Value(), Value()},
        {number(f.integers, 3), Value::text("Berg"), Value(), Value::real(80), number(f.integers, 410)},
        {number(f.integers, 4), Value::text("Nystr\xC3\xB6m"), birth(1950, 3, 15), Value::real(64.25),
         number(f.integers, 162)},
    };
    EXPECT_EQ(ReadAll(reader, table), expected);
}

INSTANTIATE_TEST_SUITE_P(
    RAndReadStatTool, ProducedByOthers,
    ::testing::Values(
        ProducedFile{"haven_cohort.dta", StatisticsFormat::Stata, FieldType::Long, Birth::Date, FieldType::Date, ""},
        ProducedFile{"haven_cohort.sav", StatisticsFormat::Spss, FieldType::Double, Birth::Date, FieldType::Date, ""},
        ProducedFile{"haven_cohort.xpt", StatisticsFormat::SasTransport, FieldType::Double, Birth::Date, FieldType::Date, ""},
        ProducedFile{"haven_cohort.sas7bdat", StatisticsFormat::Sas, FieldType::Double, Birth::Date, FieldType::Date, ""},
        ProducedFile{"foreign_cohort.dta", StatisticsFormat::Stata, FieldType::Long, Birth::StataDays, FieldType::Double,
                     "NA"},
        ProducedFile{"readstat_cohort.dta", StatisticsFormat::Stata, FieldType::Double, Birth::StataDays, FieldType::Long,
                     ""},
        ProducedFile{"readstat_cohort.sav", StatisticsFormat::Spss, FieldType::Double, Birth::SpssSeconds,
                     FieldType::Double, ""}),
    [](const auto& info) { return std::string(StemOf(info.param.file)) + "_" + std::to_string(info.index); });

TEST(StatisticsBadFiles, TruncatedOrLyingFilesAreRefusedSayingWhy) {
    const std::pair<const char*, const char*> cases[] = {
        {"truncated.dta", "truncated.dta is not in the expected format: its header and column descriptions cannot be read"},
        {"hugecount.dta", "hugecount.dta is not in the expected format: its header declares 2147483647 rows, but its "
                          "data end after row 3"},
        {"cohort.xlsx", "cohort.xlsx is not in the expected format: "},
    };
    for (const auto& [file, said] : cases) {
        auto [number, message] = ErrorOf([&] {
            StatisticsReader reader(StatisticsFormat::Stata, kModern + file);
            ReadAll(reader, reader.tableNames().front());
        });
        EXPECT_EQ(number, err::NotExpectedFormat) << file;
        EXPECT_EQ(message.rfind(said, 0), 0u) << message;
    }
}

TEST(StatisticsDates, EachPackageCountsFromItsOwnEpoch) {
    const double day1960 = DayNumber(1960, 1, 1);
    struct Case {
        StatisticsFormat format;
        const char* displayFormat;
        double stored;
        std::optional<double> day;
    };
    const Case cases[] = {
        {StatisticsFormat::Stata, "%tdCCYY-NN-DD", -1, day1960 - 1},
        {StatisticsFormat::Stata, "%tc", 86400000.0 * 1.5, day1960 + 1.5},
        {StatisticsFormat::Stata, "%9.0g", 5, std::nullopt},
        {StatisticsFormat::Sas, "DDMMYY10.", 3, day1960 + 3},
        {StatisticsFormat::Sas, "DATETIME20.", 43200, day1960 + 0.5},
        {StatisticsFormat::Sas, "BEST12.", 3, std::nullopt},
        {StatisticsFormat::Spss, "ADATE10", 86400, DayNumber(1582, 10, 15)},
        {StatisticsFormat::Spss, "F8.2", 86400, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(StatisticsDate(c.format, c.displayFormat, c.stored), c.day) << c.displayFormat;
}

}  // namespace
}  // namespace vdx::exchange

namespace vdx::exchange {
namespace {

class CsvFiles : public ::testing::TestWithParam<std::pair<const char*, char>> {};

TEST_P(CsvFiles, DetectsTheSeparatorAndReadsQuotedFieldsAndProposedTypes) {
    const auto [file, separator] = GetParam();
    CsvReader reader(kModern + file);
    EXPECT_EQ(reader.separator(), separator);
    const std::string table = reader.tableNames().front();
    const std::vector<ColumnSpec> columns = reader.columns(table);
    EXPECT_EQ(Names(columns), (std::vector<std::string>{"id", "name", "birth", "weight", "note"}));
    EXPECT_EQ(Types(columns), (std::vector<FieldType>{FieldType::Long, FieldType::Text, FieldType::Date,
                                                      FieldType::Double, FieldType::Text}));
    const Rows expected = {
        {Value::integer(1), Value::text("\xC3\x85lund, Per"), Value::date(DayNumber(1867, 3, 15)), Value::real(71.5),
         Value::text("said \"no\"\nthen left")},
        {Value::integer(2), Value(), Value::date(DayNumber(1923, 12, 31)), Value(), Value()},
        {Value::integer(3), Value::text("Berg"), Value(), Value::real(80), Value::text("plain")},
    };
    EXPECT_EQ(ReadAll(reader, table), expected);
}

INSTANTIATE_TEST_SUITE_P(PythonCsvModule, CsvFiles,
                         ::testing::Values(std::pair{"cohort.csv", ','}, std::pair{"cohort_semicolon.csv", ';'},
                                           std::pair{"cohort_tab.csv", '\t'}));

TEST(CsvBadFiles, ARecordOfMoreFieldsThanATableCanHaveIsRefused) {
    TempFolder dir;
    const std::string path = dir.write("wide.csv", "a,b\n1,2\n" + std::string(5000000, ',') + "\n");
    EXPECT_EQ(ErrorOf([&] { CsvReader reader(path); }).first, err::TooManyFields);
}

TEST(CsvEncodings, AWindows1252FieldBeyondTheUtf8SampleIsDecodedAsSuch) {
    TempFolder dir;
    std::string text = "name\n";
    while (text.size() < 70000) text += "M\xC3\xBCller\n";
    const std::string path = dir.write("late.csv", text + "M\xFCller\n");
    CsvReader reader(path);
    const Rows rows = ReadAll(reader, "late");
    EXPECT_EQ(rows.back(), (std::vector<Value>{Value::text("M\xC3\xBCller")}));
}

TEST(CsvBadFiles, AQuotedFieldThatNeverClosesIsRefusedNamingTheFile) {
    auto [number, message] = ErrorOf([] { CsvReader reader(kModern + "unclosed.csv"); });
    EXPECT_EQ(number, err::NotExpectedFormat);
    EXPECT_NE(message.find("unclosed.csv"), std::string::npos) << message;
}

// A field beyond 16 MiB, quoted or not, is refused saying the limit and the line.
TEST(CsvBadFiles, AFieldBeyondTheLimitIsRefusedSayingTheLimitAndTheLine) {
    TempFolder dir;
    const std::string big((16 << 20) + 1, 'x');
    const std::pair<std::string, const char*> cases[] = {
        {"a\nok\n" + big + "\n", "line 3 has a field longer than 16 MiB (16777216 bytes)"},
        {"a\nok\n\"" + big + "\"\n", "the quoted field of line 3 runs on for more than 16 MiB (16777216 bytes)"},
    };
    for (const auto& [text, said] : cases) {
        const std::string path = dir.write("long.csv", text);
        auto [number, message] = ErrorOf([&] { CsvReader reader(path); });
        EXPECT_EQ(number, err::NotExpectedFormat);
        EXPECT_NE(message.find(said), std::string::npos) << message;
    }
}

}  // namespace
}  // namespace vdx::exchange
