// The ASCII import: splitting, preview, column names, conversions, date
// layouts, errors and character sets.
#include "exchange/formats/text/text_import.h"

#include <gtest/gtest.h>

#include "state/text_values.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

using testing::ErrorNumberOf;
using testing::Names;
using testing::Rows;
using testing::TempFolder;

TextColumn Column(const std::string& type, const std::string& layout = "", const std::string& day = "",
                  const std::string& month = "") {
    TextColumn c;
    c.type = type;
    c.dateLayout = layout;
    c.day = day;
    c.month = month;
    return c;
}

Rows Import(const std::string& path, const TextImportOptions& options) {
    Rows rows;
    ImportTextRows(path, options, [&](const std::vector<Value>& row) {
        rows.push_back(row);
        return true;
    });
    return rows;
}

// --- Splitting a line ------------------------------------------------------

TEST(TextSplit, SplitsAtEverySemicolonWithoutQuotingRules) {
    EXPECT_EQ(SplitTextLine("a;b;;c"), (std::vector<std::string>{"a", "b", "", "c"}));
    // A semicolon inside quotes still splits: the format has no quoting rule.
    EXPECT_EQ(SplitTextLine("\"x;y\";z"), (std::vector<std::string>{"x", "y\"", "z"}));
    EXPECT_EQ(SplitTextLine("a;"), (std::vector<std::string>{"a", ""}));
}

TEST(TextSplit, AnEmptyLineHasNoFields) { EXPECT_TRUE(SplitTextLine("").empty()); }

TEST(TextSplit, AQuotedFieldLosesItsQuotesOnly) {
    EXPECT_EQ(UnquoteField("\"Name\""), "Name");
    EXPECT_EQ(UnquoteField("Na\"me\""), "Na\"me\"");  // only a leading quote opens
    EXPECT_EQ(UnquoteField("\"\""), "");
    EXPECT_EQ(UnquoteField("\""), "");
    // An unclosed quote takes no real character with it.
    EXPECT_EQ(UnquoteField("\"abc"), "abc");
}

// --- Preview ----------------------------------------------------------------

TEST(TextPreviewTest, ShowsAtMostTenLinesOfALongerFile) {
    TempFolder dir;
    std::string text;
    for (int i = 1; i <= 25; ++i) text += "row" + std::to_string(i) + ";" + std::to_string(i) + "\r\n";
    TextPreview preview = PreviewTextFile(dir.write("long.txt", text));
    ASSERT_EQ(preview.lines.size(), 10u);
    EXPECT_EQ(preview.columnCount, 2);
    EXPECT_EQ(preview.lines[9][0], "row10");
}

TEST(TextPreviewTest, IsAsWideAsItsWidestLine) {
    TempFolder dir;
    TextPreview preview = PreviewTextFile(dir.write("w.txt", "a;b\n1;2;3;4\n5\n"));
    EXPECT_EQ(preview.columnCount, 4);
    EXPECT_EQ(preview.lines[2], std::vector<std::string>{"5"});
}

TEST(TextPreviewTest, AShortFileShowsAllItsLines) {
    TempFolder dir;
    TextPreview preview = PreviewTextFile(dir.write("s.txt", "\"Name\";\"Born\"\nSmith;01021950"));
    ASSERT_EQ(preview.lines.size(), 2u);
    EXPECT_EQ(preview.lines[0], (std::vector<std::string>{"Name", "Born"}));
    EXPECT_EQ(preview.lines[1], (std::vector<std::string>{"Smith", "01021950"}));
}

TEST(TextPreviewTest, ALineOfMoreFieldsThanATableHasColumnsIsRefusedAtOnceNamingTheCount) {
    TempFolder dir;
    std::string wide;
    for (int i = 0; i < 1000000; ++i) wide += "1;";
    const std::string path = dir.write("wide.txt", "a;b\n" + wide + "1\n");
    try {
        PreviewTextFile(path);
        ADD_FAILURE() << "a preview of 1000001 columns";
    } catch (const VdxError& e) {
        EXPECT_EQ(e.number(), err::TooManyFields);
        EXPECT_EQ(e.description(), "Line 2 of wide.txt has 1000001 fields; a table can have at most 2000 columns.");
    }
    // 2000 fields are a table.
    std::string fits = "1";
    for (int i = 1; i < 2000; ++i) fits += ";1";
    EXPECT_EQ(PreviewTextFile(dir.write("fits.txt", fits)).columnCount, 2000);
}

// --- Column names ----------------------------------------------------------

TEST(TextColumns, HeadersComeFromTheFirstLineWithoutQuotes) {
    TempFolder dir;
    std::string path = dir.write("c.txt", "\"Name\";\"Born\"\nSmith;01021950\n");
    TextImportOptions options{true, {Column("Text"), Column("Date", "DDMMYYYY")}};
    std::vector<ColumnSpec> columns = TextImportColumns(path, options, "c");
    EXPECT_EQ(Names(columns), (std::vector<std::string>{"Name", "Born"}));
    EXPECT_EQ(columns[0].type, FieldType::Text);
    EXPECT_EQ(columns[0].size, 255);
    EXPECT_EQ(columns[1].type, FieldType::Date);
}

TEST(TextColumns, WithoutHeadersColumnsAreVarAndTheirNumber) {
    TempFolder dir;
    std::string path = dir.write("c.txt", "a;b;c\n");
    TextImportOptions options{false, {Column("Text"), Column("Integer"), Column("Long")}};
    std::vector<ColumnSpec> columns = TextImportColumns(path, options, "c");
    EXPECT_EQ(Names(columns), (std::vector<std::string>{"Var1", "Var2", "Var3"}));
    EXPECT_EQ(columns[1].type, FieldType::Integer);
    EXPECT_EQ(columns[2].type, FieldType::Long);
}

TEST(TextColumns, EmptyRepeatedOrInvalidHeadersAreRefused) {
    TempFolder dir;
    auto columnsOf = [&](const std::string& firstLine, int count) {
        std::string path = dir.write("h.txt", firstLine + "\n");
        TextImportOptions options{true, std::vector<TextColumn>(static_cast<size_t>(count))};
        return TextImportColumns(path, options, "h");
    };
    EXPECT_EQ(ErrorNumberOf([&] { columnsOf("a;;c", 3); }), err::InvalidName);
    EXPECT_EQ(ErrorNumberOf([&] { columnsOf("Age;AGE", 2); }), err::InvalidName);
    EXPECT_EQ(ErrorNumberOf([&] { columnsOf("a.b;c", 2); }), err::InvalidName);
    EXPECT_EQ(ErrorNumberOf([&] { columnsOf("[x];c", 2); }), err::InvalidName);
    // The header line is shorter than the widest line of the preview.
    EXPECT_EQ(ErrorNumberOf([&] { columnsOf("a;b", 3); }), err::InvalidName);
    EXPECT_EQ(ErrorNumberOf([&] { columnsOf("Name;Born", 2); }), 0);
    try {
        columnsOf("a;;c", 3);
    } catch (const VdxError& e) {
        EXPECT_NE(std::string(e.what()).find("Column 2"), std::string::npos) << e.what();
    }
}

// --- Conversions -----------------------------------------------------------

TEST(TextConversion, TextIsStoredUnchanged) {
    EXPECT_EQ(ConvertTextField(" a b ", Column("Text"), 1), Value::text(" a b "));
    EXPECT_EQ(ConvertTextField("", Column("Text"), 1), Value::text(""));
}

TEST(TextConversion, NumbersByType) {
    EXPECT_EQ(ConvertTextField("12", Column("Integer"), 1), Value::integer(12));
    EXPECT_EQ(ConvertTextField("2.5", Column("Integer"), 1), Value::integer(2));  // halves to even
    EXPECT_EQ(ConvertTextField("3.5", Column("Integer"), 1), Value::integer(4));
    EXPECT_EQ(ConvertTextField("-70000", Column("Long"), 1), Value::integer(-70000));
    EXPECT_EQ(ConvertTextField("0.1", Column("Single"), 1), Value::real(static_cast<double>(0.1f)));
    EXPECT_EQ(ConvertTextField(" 1.5e3 ", Column("Double"), 1), Value::real(1500.0));
}

TEST(TextConversion, WhatIsNoNumberOfTheTypeIsATypeMismatchNamingColumnAndType) {
    auto failure = [](const std::string& text, const std::string& type, int column) -> std::string {
        try {
            ConvertTextField(text, Column(type), column, 7);
        } catch (const TextConversionError& e) {
            EXPECT_EQ(e.number(), err::TypeMismatch);
            EXPECT_EQ(e.column(), column);
            EXPECT_EQ(e.line(), 7);
            return e.description();
        }
        return "no error";
    };
    EXPECT_EQ(failure("abc", "Integer", 3), "Can't convert data in column 3 to Integer");
    EXPECT_EQ(failure("", "Double", 2), "Can't convert data in column 2 to Double");
    EXPECT_EQ(failure("40000", "Integer", 1), "Can't convert data in column 1 to Integer");  // out of range
    EXPECT_EQ(failure("3000000000", "Long", 1), "Can't convert data in column 1 to Long");
    EXPECT_EQ(failure("1e39", "Single", 4), "Can't convert data in column 4 to Single");
    EXPECT_EQ(failure("12abc", "Long", 5), "Can't convert data in column 5 to Long");
}

TEST(TextConversion, DateLayouts) {
    EXPECT_EQ(ConvertTextField("01021950", Column("Date", "DDMMYYYY"), 1), Value::date(DayNumber(1950, 2, 1)));
    EXPECT_EQ(ConvertTextField("02011950", Column("Date", "MMDDYYYY"), 1), Value::date(DayNumber(1950, 2, 1)));
    EXPECT_EQ(ConvertTextField("05mar1960", Column("Date", "DDMMMYYYY"), 1), Value::date(DayNumber(1960, 3, 5)));
    EXPECT_EQ(ConvertTextField("05MAR1960", Column("Date", "DDMMMYYYY"), 1), Value::date(DayNumber(1960, 3, 5)));
    EXPECT_EQ(ConvertTextField("1948", Column("Date", "YYYY", "01", "07"), 1), Value::date(DayNumber(1948, 7, 1)));
    EXPECT_EQ(ConvertTextField("1948", Column("Date", "YYYY"), 1), Value::date(DayNumber(1948, 1, 1)));
    // Parts beyond their range roll over into the next month or year.
    EXPECT_EQ(ConvertTextField("31021950", Column("Date", "DDMMYYYY"), 1), Value::date(DayNumber(1950, 3, 3)));
    EXPECT_EQ(ConvertTextField("01131950", Column("Date", "DDMMYYYY"), 1), Value::date(DayNumber(1951, 1, 1)));
}

TEST(TextConversion, DatesThatDoNotFitTheLayoutAreConversionErrors) {
    auto fails = [](const std::string& text, const TextColumn& column) {
        return ErrorNumberOf([&] { ConvertTextField(text, column, 2); }) == err::TypeMismatch;
    };
    EXPECT_TRUE(fails("05xyz1960", Column("Date", "DDMMMYYYY")));
    EXPECT_TRUE(fails("", Column("Date", "DDMMYYYY")));
    EXPECT_TRUE(fails("1021950", Column("Date", "DDMMYYYY")));    // a digit short
    EXPECT_TRUE(fails("01.02.1950", Column("Date", "DDMMYYYY")));  // another layout
    EXPECT_TRUE(fails("48", Column("Date", "YYYY", "01", "01")));  // no four-digit year
    EXPECT_TRUE(fails("01021950", Column("Date")));                // no layout chosen
    try {
        ConvertTextField("Born", Column("Date", "DDMMYYYY"), 2);
        ADD_FAILURE();
    } catch (const VdxError& e) {
        EXPECT_EQ(e.description(), "Can't convert data in column 2 to Date");
    }
}

TEST(TextConversion, DatesOutsideTheYears100To9999AreConversionErrorsNamingTheLine) {
    TempFolder dir;
    const std::pair<const char*, TextColumn> outside[] = {
        {"00000000", Column("Date", "DDMMYYYY")},   // year 0
        {"99999999", Column("Date", "DDMMYYYY")},   // rolls over into the year 10007
        {"32129999", Column("Date", "DDMMYYYY")},   // 1 January 10000
        {"01010099", Column("Date", "MMDDYYYY")},   // year 99
        {"00000000", Column("Date", "MMDDYYYY")},
        {"01JAN0000", Column("Date", "DDMMMYYYY")},
        {"0000", Column("Date", "YYYY", "01", "01")},
    };
    for (const auto& [field, column] : outside) {
        const std::string path = dir.write("d.txt", std::string("Born\n") + field + "\n");
        try {
            Import(path, TextImportOptions{true, {column}});
            ADD_FAILURE() << field << " was read as a date";
        } catch (const TextConversionError& e) {
            EXPECT_EQ(e.line(), 2) << field;
            EXPECT_EQ(e.description(), "Can't convert data in column 1 to Date");
        }
    }
    // Rolling over stays, as long as the year is one of them.
    EXPECT_EQ(ConvertTextField("00020100", Column("Date", "DDMMYYYY"), 1), Value::date(DayNumber(100, 1, 31)));
    EXPECT_EQ(ConvertTextField("31129999", Column("Date", "DDMMYYYY"), 1), Value::date(DayNumber(9999, 12, 31)));
}

// --- Importing whole files -------------------------------------------------

TEST(TextImportRows, HeadersCheckedImportsTheLinesAfterTheFirst) {
    TempFolder dir;
    std::string path = dir.write("born.txt", "\"Name\";\"Born\"\r\nSmith;01021950\r\n");
    TextImportOptions options{true, {Column("Text"), Column("Date", "DDMMYYYY")}};
    Rows rows = Import(path, options);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value::text("Smith"));
    EXPECT_EQ(rows[0][1], Value::date(DayNumber(1950, 2, 1)));
}

TEST(TextImportRows, WithoutHeadersTheHeaderLineIsARowAndFailsInTheDateColumn) {
    TempFolder dir;
    std::string path = dir.write("born.txt", "\"Name\";\"Born\"\r\nSmith;01021950\r\n");
    TextImportOptions options{false, {Column("Text"), Column("Date", "DDMMYYYY")}};
    try {
        Import(path, options);
        ADD_FAILURE() << "the header line was converted to a date";
    } catch (const TextConversionError& e) {
        EXPECT_EQ(e.description(), "Can't convert data in column 2 to Date");
        EXPECT_EQ(e.line(), 1);
    }
    // As text, the header line is the first row.
    options.columns[1] = Column("Text");
    Rows rows = Import(path, options);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], Value::text("Born"));
}

TEST(TextImportRows, ATwentyFiveLineFileImportsEveryLine) {
    TempFolder dir;
    std::string text;
    for (int i = 1; i <= 25; ++i) text += std::to_string(i) + ";" + std::to_string(i * 10) + "\n";
    std::string path = dir.write("n.txt", text);
    TextImportOptions options{false, {Column("Integer"), Column("Long")}};
    Rows rows = Import(path, options);
    ASSERT_EQ(rows.size(), 25u);
    EXPECT_EQ(rows[24][1], Value::integer(250));
    options.headers = true;
    EXPECT_EQ(Import(path, options).size(), 24u);
}

TEST(TextImportRows, ShortLinesLeaveNullsAndEmptyLinesAreRowsOfNulls) {
    TempFolder dir;
    std::string path = dir.write("s.txt", "a;1\nb\n\nc;3\n");
    TextImportOptions options{false, {Column("Text"), Column("Integer")}};
    Rows rows = Import(path, options);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_TRUE(rows[1][1].isNull());
    EXPECT_TRUE(rows[2][0].isNull());
    EXPECT_TRUE(rows[2][1].isNull());
    EXPECT_EQ(rows[3][1], Value::integer(3));
}

TEST(TextImportRows, EveryLineEndIsALineEnd) {
    TempFolder dir;
    std::string path = dir.write("e.txt", "1\r\n2\n3\r4");
    TextImportOptions options{false, {Column("Integer")}};
    Rows rows = Import(path, options);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3][0], Value::integer(4));
}

TEST(TextImportRows, ALineWithMoreFieldsThanColumnsEndsTheImport) {
    TempFolder dir;
    std::string text;
    for (int i = 0; i < 12; ++i) text += "a;b\n";
    text += "a;b;c\n";
    std::string path = dir.write("m.txt", text);
    TextImportOptions options = DefaultTextImportOptions(PreviewTextFile(path), false);
    ASSERT_EQ(options.columns.size(), 2u);
    size_t delivered = 0;
    try {
        ImportTextRows(path, options, [&](const std::vector<Value>&) { return ++delivered, true; });
        ADD_FAILURE();
    } catch (const VdxError& e) {
        EXPECT_EQ(e.number(), err::ItemNotFound);
        EXPECT_NE(std::string(e.what()).find("Line 13"), std::string::npos) << e.what();
    }
    EXPECT_EQ(delivered, 12u);
}

TEST(TextImportRows, StopsWhenTheCallbackSaysSoOrProgressCancels) {
    TempFolder dir;
    std::string text;
    for (int i = 0; i < 10000; ++i) text += "x\n";
    std::string path = dir.write("c.txt", text);
    TextImportOptions options{false, {Column("Text")}};
    int delivered = 0;
    ImportTextRows(path, options, [&](const std::vector<Value>&) { return ++delivered < 5; });
    EXPECT_EQ(delivered, 5);

    struct CancelAtOnce : ReadProgress {
        int calls = 0;
        bool report(double) override { return ++calls, false; }
    } cancel;
    delivered = 0;
    ImportTextRows(path, options, [&](const std::vector<Value>&) { return ++delivered, true; }, &cancel);
    EXPECT_EQ(cancel.calls, 1);
    EXPECT_LT(delivered, 10000);
}

TEST(TextImportRows, ProgressRisesToOne) {
    TempFolder dir;
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "x;1\n";
    std::string path = dir.write("p.txt", text);
    struct Record : ReadProgress {
        std::vector<double> seen;
        bool report(double f) override { return seen.push_back(f), true; }
    } progress;
    ImportTextRows(path, TextImportOptions{false, {Column("Text"), Column("Integer")}},
                   [](const std::vector<Value>&) { return true; }, &progress);
    ASSERT_GE(progress.seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(progress.seen.begin(), progress.seen.end()));
    EXPECT_GT(progress.seen.front(), 0.0);
    EXPECT_DOUBLE_EQ(progress.seen.back(), 1.0);
}

// --- Character sets and bad files ------------------------------------------

TEST(TextEncoding, Utf8FilesAreReadAsUtf8) {
    TempFolder dir;
    std::string path = dir.write("u.txt", "M\xC3\xBCller;Z\xC3\xBCrich\n");
    Rows rows = Import(path, TextImportOptions{false, {Column("Text"), Column("Text")}});
    EXPECT_EQ(rows[0][0], Value::text("M\xC3\xBCller"));
}

TEST(TextEncoding, OtherFilesAreReadAsWindows1252) {
    TempFolder dir;
    // 0xFC is u-umlaut and 0x80 the euro sign in Windows-1252.
    std::string path = dir.write("w.txt", "M\xFCller;\x80 5\n");
    Rows rows = Import(path, TextImportOptions{false, {Column("Text"), Column("Text")}});
    EXPECT_EQ(rows[0][0], Value::text("M\xC3\xBCller"));
    EXPECT_EQ(rows[0][1], Value::text("\xE2\x82\xAC 5"));
}

TEST(TextEncoding, OneWindowsByteLateInTheFileDecidesForTheWholeFile) {
    TempFolder dir;
    std::string text = "M\xC3\xBCller\n";  // valid UTF-8 so far ...
    for (int i = 0; i < 200000; ++i) text += "abc\n";
    text += "Z\xFCrich\n";  // ... but not here: the file is Windows-1252
    std::string path = dir.write("late.txt", text);
    Rows rows = Import(path, TextImportOptions{false, {Column("Text")}});
    EXPECT_EQ(rows.front()[0], Value::text("M\xC3\x83\xC2\xBC" "ller"));
    EXPECT_EQ(rows.back()[0], Value::text("Z\xC3\xBCrich"));
}

TEST(TextEncoding, ACharacterAcrossTheOneMegabyteReadBoundaryStaysUtf8) {
    TempFolder dir;
    std::string text(1048575, 'a');  // the u-umlaut's two bytes straddle 1 MiB
    text += "\xC3\xBC\r\nx\r\n";
    std::string path = dir.write("big.txt", text);
    TextLineReader reader(path);
    std::string line;
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line.size(), 1048577u);
    EXPECT_EQ(line.substr(line.size() - 2), "\xC3\xBC");
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line, "x");
    EXPECT_FALSE(reader.next(line));
}

TEST(TextImportRows, ACrLfSplitByTheReadBoundaryEndsOneLine) {
    TempFolder dir;
    std::string path = dir.write("crlf.txt", std::string(1048575, 'a') + "\r\nb\r\n");  // CR is byte 1 MiB
    TextLineReader reader(path);
    std::string line;
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line.size(), 1048575u);
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line, "b");  // no empty line between
    EXPECT_FALSE(reader.next(line));
}

TEST(TextEncoding, AByteOrderMarkIsNoPartOfTheFirstName) {
    TempFolder dir;
    std::string path = dir.write("bom.txt", "\xEF\xBB\xBFName;Age\nx;1\n");
    TextImportOptions options{true, {Column("Text"), Column("Integer")}};
    EXPECT_EQ(Names(TextImportColumns(path, options, "bom")), (std::vector<std::string>{"Name", "Age"}));
}

TEST(TextBadFiles, BinaryAndUtf16FilesAreNotInTheExpectedFormat) {
    TempFolder dir;
    std::string binary = dir.write("b.txt", std::string("PK\x03\x04\0\0\x01\x02", 8));
    EXPECT_EQ(ErrorNumberOf([&] { PreviewTextFile(binary); }), err::NotExpectedFormat);
    std::string utf16 = dir.write("u16.txt", std::string("\xFF\xFEN\0a\0", 6));
    EXPECT_EQ(ErrorNumberOf([&] { PreviewTextFile(utf16); }), err::NotExpectedFormat);
}

TEST(TextBadFiles, AMissingFileIsFileNotFoundAndAnEmptyFileHasNoColumns) {
    TempFolder dir;
    EXPECT_EQ(ErrorNumberOf([&] { PreviewTextFile(dir.file("none.txt")); }), err::FileNotFound);
    std::string empty = dir.write("empty.txt", "");
    TextPreview preview = PreviewTextFile(empty);
    EXPECT_TRUE(preview.lines.empty());
    EXPECT_EQ(ErrorNumberOf([&] { TextImportColumns(empty, DefaultTextImportOptions(preview, true), "empty"); }),
              err::NotExpectedFormat);
}

TEST(TextTableSource, TheTextSourceReadsEveryTxtFileOfAFolderAsText) {
    TempFolder dir;
    dir.write("rates.txt", "Age;Rate\n40;0.5\n");
    dir.write("other.csv", "x\n");
    auto reader = std::make_unique<TextTableReader>(dir.path() + "/");
    EXPECT_EQ(reader->tableNames(), std::vector<std::string>{"rates"});
    EXPECT_EQ(Names(reader->columns("rates")), (std::vector<std::string>{"Age", "Rate"}));
    Rows rows = testing::ReadAll(*reader, "rates");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], Value::text("0.5"));
    EXPECT_EQ(ErrorNumberOf([&] { reader->columns("missing"); }), err::ObjectNotFound);
}

}  // namespace
}  // namespace vdx::exchange
