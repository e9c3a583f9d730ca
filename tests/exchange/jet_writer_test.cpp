// The Jet 3 writer, proved by mdbtools' own command-line tools
// (mdb-ver, mdb-tables, mdb-schema, mdb-export) and by our Access reader:
// every column type, texts of Windows-1252, Nulls,
// dates before 1900, memos longer than a page, rows of every length, tables
// of many pages and of many columns, and the values refused.
#include "exchange/formats/access/jet_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "exchange/formats/access/access_reader.h"
#include "state/text_values.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

using testing::CommandOutput;
using testing::ErrorNumberOf;
using testing::TempFolder;

std::vector<std::string> Split(const std::string& s, char by) {
    std::vector<std::string> parts;
    std::istringstream in(s);
    for (std::string part; std::getline(in, part, by);) parts.push_back(part);
    return parts;
}

// mdb-export's rows: "|" between fields, "~" for Null, dates as ISO text.
std::vector<std::vector<std::string>> Export(const std::string& file, const std::string& table) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : Split(CommandOutput("mdb-export -H -Q -d '|' -0 '~' -T '%Y-%m-%d %H:%M:%S' '" + file + "' '" + table + "'"), '\n'))
        rows.push_back(Split(line + "|", '|'));  // the extra "|" keeps a trailing empty field
    return rows;
}

std::vector<std::vector<Value>> ReadBack(const std::string& file, const std::string& table) {
    std::vector<std::vector<Value>> rows;
    AccessReader(file).readRows(table, [&](const std::vector<Value>& row) { return rows.push_back(row), true; }, nullptr);
    return rows;
}

const std::vector<ColumnSpec> kColumns = {
    {"Name", FieldType::Text, 40}, {"Small", FieldType::Integer, 0}, {"Count", FieldType::Long, 0},
    {"Rate", FieldType::Single, 0}, {"Dose", FieldType::Double, 0},  {"Born", FieldType::Date, 0},
    {"Alive", FieldType::Boolean, 0}, {"Note", FieldType::Memo, 0},
};

std::vector<std::vector<Value>> SampleRows() {
    // Windows-1252 characters beyond Latin-1 (euro, OE, quotes, dash).
    const std::string wide = "\xC5\x92uvre \xE2\x80\x9Cq\xE2\x80\x9D";
    const std::string longNote = std::string(5000, 'x') + "\xC5\x93" + std::string(5000, 'y');  // long-value pages
    return {
        {Value::text("M\xC3\xBC" "ller \xE2\x82\xAC " + wide), Value::integer(-32768),
         Value::integer(2147483647), Value::real(0.5), Value::real(0.1), Value::date(DayNumber(1950, 3, 15) + 0.75),
         Value::boolean(true), Value::text("short memo \xC3\xA9")},
        {Value::text("\xE2\x80\x94 a dash, no Latin-1 \xE2\x80\x94"), Value::integer(32767),
         Value::integer(-2147483647 - 1), Value::real(-1.25e10), Value::real(-123456789.125),
         Value::date(DayNumber(1871, 7, 1)), Value::boolean(false), Value::text(longNote)},
        {Value::text(""), Value::null(), Value::null(), Value::null(), Value::null(), Value::null(), Value::boolean(false), Value::null()},
        {Value::null(), Value::integer(0), Value::integer(1), Value::real(3), Value::real(1e-300),
         Value::date(DayNumber(9999, 12, 31)), Value::boolean(true), Value::text("")},
    };
}

void Write(const std::string& path, const std::vector<std::pair<std::string, std::vector<ColumnSpec>>>& tables,
           const std::function<std::vector<Value>(size_t table, uint64_t row)>& rowOf, const std::vector<uint64_t>& counts) {
    JetDatabaseWriter w(path);
    for (size_t t = 0; t < tables.size(); ++t) {
        w.beginTable(tables[t].first, tables[t].second);
        for (uint64_t r = 0; r < counts[t]; ++r) w.addRow(rowOf(t, r), r + 1);
        w.endTable();
    }
    w.commit();
}

TEST(JetWriter, EveryTypeReadsBackThroughMdbtoolsAndOurReader) {
    TempFolder dir;
    const std::string file = dir.file("study.mdb");
    const auto rows = SampleRows();
    Write(file, {{"Sample", kColumns}, {"Empty", {{"A", FieldType::Text, 10}}}},
          [&](size_t, uint64_t r) { return rows[r]; }, {rows.size(), 0});

    EXPECT_EQ(CommandOutput("mdb-ver '" + file + "'"), "JET3\n");
    EXPECT_EQ(CommandOutput("mdb-tables -1 '" + file + "'"), "Sample\nEmpty\n");
    std::string schema = CommandOutput("mdb-schema -T Sample '" + file + "'");
    for (const char* line : {"[Name]\t\t\tText (40)", "[Small]\t\t\tInteger", "[Count]\t\t\tLong Integer",
                             "[Rate]\t\t\tSingle", "[Dose]\t\t\tDouble", "[Born]\t\t\tDateTime", "[Alive]\t\t\tBoolean",
                             "[Note]\t\t\tMemo/Hyperlink"})
        EXPECT_NE(schema.find(line), std::string::npos) << line << " in\n" << schema;

    const auto exported = Export(file, "Sample");
    ASSERT_EQ(exported.size(), rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE(r);
        ASSERT_EQ(exported[r].size(), kColumns.size());
        for (size_t c = 0; c < kColumns.size(); ++c) {
            const Value& v = rows[r][c];
            const std::string& got = exported[r][c];
            if (kColumns[c].type == FieldType::Boolean) EXPECT_EQ(got, v.asBool() ? "1" : "0");
            else if (v.isNull()) EXPECT_EQ(got, "~") << kColumns[c].name;
            else if (v.kind() == Value::Kind::Text) EXPECT_EQ(got, v.asText().empty() ? "~" : v.asText());  // mdb-export: "" as Null
            else if (v.kind() == Value::Kind::Date && v.asDouble() > 0 && v.asDouble() < DayNumber(9999, 1, 1)) {
                const CivilDate d = DateOfDayNumber(v.asDouble());
                char text[32];
                const int seconds = static_cast<int>(std::lround((v.asDouble() - std::floor(v.asDouble())) * 86400));
                std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, seconds / 3600,
                              seconds / 60 % 60, seconds % 60);
                EXPECT_EQ(got, text);
            } else if (v.kind() != Value::Kind::Date) {  // mdbtools prints the dates outside 1900..9998 wrongly
                const double precision = kColumns[c].type == FieldType::Single ? 1e-7 : 1e-14;
                EXPECT_NEAR(std::strtod(got.c_str(), nullptr), v.asDouble(), std::fabs(v.asDouble()) * precision) << kColumns[c].name;
            }
        }
    }

    // Our reader: the same values exactly (Singles with single precision).
    EXPECT_EQ(AccessReader(file).columns("Sample"), kColumns);
    auto expected = rows;
    for (auto& row : expected)
        if (!row[3].isNull()) row[3] = Value::real(static_cast<float>(row[3].asDouble()));
    EXPECT_EQ(ReadBack(file, "Sample"), expected);
    EXPECT_TRUE(ReadBack(file, "Empty").empty());
}

// Rows come back in the order they were added across hundreds of pages
// (usage map through map pages), and a table of 255 columns (definition
// spanning pages) keeps every column and value.
TEST(JetWriter, LargeTablesKeepRowOrderAndEveryColumn) {
    TempFolder dir;
    const std::string file = dir.file("big.mdb");
    constexpr uint64_t kRows = 60000;  // about 1000 data pages
    std::vector<ColumnSpec> wide;
    for (int c = 0; c < 255; ++c) wide.push_back({"Calendar period number " + std::to_string(c), c % 2 ? FieldType::Double : FieldType::Text, c % 2 ? 0 : 12});
    Write(file, {{"Cells", {{"Id", FieldType::Long, 0}, {"Label", FieldType::Text, 30}}}, {"Wide", wide}},
          [&](size_t t, uint64_t r) {
              if (t == 0) return std::vector<Value>{Value::integer(static_cast<int64_t>(r)), Value::text("row " + std::to_string(r))};
              std::vector<Value> row;
              for (int c = 0; c < 255; ++c) row.push_back(c % 2 ? Value::real(c * 1000.0 + r) : Value::text(std::to_string(c)));
              return row;
          },
          {kRows, 3});

    const auto exported = Export(file, "Cells");
    ASSERT_EQ(exported.size(), kRows);
    for (uint64_t r = 0; r < kRows; ++r)
        if (exported[r][0] != std::to_string(r)) FAIL() << "mdb-export gives row " << exported[r][0] << " at " << r;
    const auto read = ReadBack(file, "Cells");
    ASSERT_EQ(read.size(), kRows);
    for (uint64_t r = 0; r < kRows; ++r)
        if (read[r][1] != Value::text("row " + std::to_string(r))) FAIL() << "our reader gives " << read[r][1].asText() << " at " << r;

    EXPECT_EQ(AccessReader(file).columns("Wide"), wide);
    const auto wideRows = ReadBack(file, "Wide");
    ASSERT_EQ(wideRows.size(), 3u);
    EXPECT_EQ(wideRows[2][254], Value::text("254"));
    EXPECT_EQ(wideRows[2][253], Value::real(253002));
}

// Rows from a few bytes to a whole page, their variable columns at every
// distance from the 256-byte boundaries Jet 3 rows count offsets by.
TEST(JetWriter, RowsOfEveryLengthReadBack) {
    TempFolder dir;
    const std::string file = dir.file("lengths.mdb");
    std::vector<ColumnSpec> columns{{"Id", FieldType::Long, 0}};
    for (int c = 0; c < 8; ++c) columns.push_back({"T" + std::to_string(c), FieldType::Text, 255});
    columns.push_back({"Note", FieldType::Memo, 0});
    auto rowOf = [](size_t, uint64_t r) {
        std::vector<Value> row{Value::integer(static_cast<int64_t>(r))};
        for (int c = 0; c < 8; ++c) {
            const size_t length = (r * (c + 1) * 7 + r / 3) % (r < 300 ? 40 : 256);
            row.push_back(length % 17 == 5 ? Value::null() : Value::text(std::string(length, static_cast<char>('a' + c))));
        }
        row.push_back(r % 5 ? Value::text(std::string(r % 700, 'm')) : Value::null());
        return row;
    };
    constexpr uint64_t kRows = 900;
    Write(file, {{"Lengths", columns}}, rowOf, {kRows});
    const auto read = ReadBack(file, "Lengths");
    ASSERT_EQ(read.size(), kRows);
    const auto exported = Export(file, "Lengths");
    ASSERT_EQ(exported.size(), kRows);
    for (uint64_t r = 0; r < kRows; ++r) {
        const auto row = rowOf(0, r);
        ASSERT_EQ(read[r], row) << "row " << r;
        for (size_t c = 1; c < row.size(); ++c)
            ASSERT_EQ(exported[r][c], row[c].isNull() || row[c].asText().empty() ? "~" : row[c].asText()) << "row " << r << " column " << c;
    }
}

TEST(JetWriter, WhatAccessCannotHoldIsRefusedAndTheTargetKept) {
    struct Case {
        const char* what;
        std::vector<ColumnSpec> columns;
        std::vector<Value> row;  // empty: the columns themselves are refused
        int error;  // 0: written
    };
    const std::vector<ColumnSpec> twentyTexts(20, ColumnSpec{"T", FieldType::Text, 255});
    std::vector<ColumnSpec> tooLongRow;
    for (int c = 0; c < 20; ++c) tooLongRow.push_back({"T" + std::to_string(c), FieldType::Text, 255});
    const std::vector<Case> cases = {
        {"16-bit overflow", {{"A", FieldType::Integer, 0}}, {Value::integer(32768)}, err::TypeMismatch},
        {"32-bit overflow", {{"A", FieldType::Long, 0}}, {Value::integer(int64_t{1} << 31)}, err::TypeMismatch},
        {"fraction in a Long", {{"A", FieldType::Long, 0}}, {Value::real(1.5)}, err::TypeMismatch},
        {"text in a Double", {{"A", FieldType::Double, 0}}, {Value::text("1.5")}, err::TypeMismatch},
        {"Null in a Yes/No column", {{"A", FieldType::Boolean, 0}}, {Value::null()}, err::TypeMismatch},
        {"text beyond its size", {{"A", FieldType::Text, 3}}, {Value::text("abcd")}, err::TypeMismatch},
        {"text with a NUL", {{"A", FieldType::Memo, 0}}, {Value::text(std::string("a\0b", 3))}, err::TypeMismatch},
        {"text after a byte-order mark", {{"A", FieldType::Text, 9}}, {Value::text("\xEF\xBB\xBFid")}, err::TypeMismatch},
        {"text not in UTF-8", {{"A", FieldType::Text, 9}}, {Value::text("M\xFCller")}, err::TypeMismatch},
        {"row beyond a page", tooLongRow, std::vector<Value>(20, Value::text(std::string(255, 'x'))), err::TypeMismatch},
        {"text outside Windows-1252", {{"A", FieldType::Text, 9}}, {Value::text("\xCE\xA9")}, err::TypeMismatch},
        {"column name outside Windows-1252", {{"\xCE\xA9", FieldType::Long, 0}}, {Value::integer(1)}, err::InvalidName},
        {"twice the same column", twentyTexts, {}, err::InvalidName},
        {"a name of 65 characters", {{std::string(65, 'n'), FieldType::Long, 0}}, {}, err::InvalidName},
        {"256 columns", std::vector<ColumnSpec>(256, ColumnSpec{"A", FieldType::Long, 0}), {}, err::TooManyFields},
    };
    TempFolder dir;
    const std::string target = dir.write("old.mdb", "the user's file");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int error = c.error;
        const std::string scratch = dir.file("written.mdb");
        const std::string& path = error ? target : scratch;
        EXPECT_EQ(ErrorNumberOf([&] {
                      JetDatabaseWriter w(path);
                      w.beginTable("T", c.columns);
                      w.addRow(c.row, 1);
                      w.endTable();
                      w.commit();
                  }),
                  error);
        EXPECT_EQ(testing::ReadFileBytes(target), "the user's file");
        if (!error) {
            EXPECT_EQ(ReadBack(scratch, "T"), std::vector<std::vector<Value>>{c.row});
        }
        std::filesystem::remove(scratch);
    }
    EXPECT_EQ(ErrorNumberOf([&] {
                  JetDatabaseWriter w(target);
                  w.beginTable("Rates", {{"A", FieldType::Long, 0}});
                  w.endTable();
                  w.beginTable("RATES", {{"A", FieldType::Long, 0}});
              }),
              err::TableExists);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary file left

    try {  // the message says which character, beyond the BMP too
        JetDatabaseWriter w(target);
        w.beginTable("T", {{"Cause", FieldType::Memo, 0}});
        w.addRow({Value::text("ok")}, 1);
        w.addRow({Value::text("x \xF0\x9F\x98\x80")}, 2);
        ADD_FAILURE() << "a character outside Windows-1252 was written";
    } catch (const VdxError& e) {
        EXPECT_EQ(e.description().substr(0, 45), "Row 2, column \"Cause\": the character U+1F600 ") << e.description();
    }
}


}  // namespace
}  // namespace vdx::exchange
