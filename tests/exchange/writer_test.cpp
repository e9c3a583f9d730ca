// The table writers, each proved by a reader of another making: a small table
// with awkward texts, integers, fractions, dates and Nulls is written in every
// format and read back cell for cell by xlrd, dbfread, python's html.parser
// and csv module, openpyxl, LibreOffice, R's haven, FreeXL and pxlib (through
// our Paradox reader), and by our own readers.
#include "exchange/io/file_formats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <fcntl.h>
#include <sys/file.h>

extern "C" {
#include <paradox.h>  // has no extern "C" guard of its own
}

#include "exchange/formats/excel/biff_reader.h"
#include "exchange/formats/text/csv_reader.h"
#include "exchange/formats/dbase/dbase_reader.h"
#include "exchange/formats/dbase/dbase_writer.h"
#include "exchange/formats/statistics/dta_writer.h"
#include "exchange/formats/excel/excel_reader.h"
#include "exchange/formats/paradox/paradox_reader.h"
#include "exchange/formats/statistics/statistics_reader.h"
#include "exchange/io/text_encoding.h"
#include "exchange/formats/text/text_import.h"
#include "exchange/io/writer_support.h"
#include "exchange/formats/xlsx/xlsx_reader.h"
#include "state/text_values.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

// The writer of the format a CLI name names, as the table of formats makes it.
std::unique_ptr<TableWriter> WriterOf(const std::string& format, const std::string& path, const std::string& table) {
    return FormatNamed(format).writer(path, table);
}

using testing::ErrorNumberOf;
using testing::ReadFileBytes;
using testing::TempFolder;
using Grid = std::vector<std::vector<std::string>>;  // cells as "T:text", "N:1.5", "D:yyyy-mm-dd", "B:1", "Z:"

const std::vector<ColumnSpec> kColumns = {
    {"Name", FieldType::Text, 255}, {"Age class", FieldType::Text, 255}, {"1970-1974", FieldType::Double, 0},
    {"Deaths", FieldType::Long, 0},  {"Born", FieldType::Date, 0},     {"Alive", FieldType::Boolean, 0},
};

std::vector<std::vector<Value>> SampleRows(bool withSemicolon) {
    return {
        {Value::text("M\xC3\xBCller & S\xC3\xB6hne <GmbH>"), Value::text(" 40- 44"), Value::real(1234.56),
         Value::integer(3), Value::date(DayNumber(1950, 3, 15)), Value::boolean(true)},
        {Value::text(withSemicolon ? "\"Quoted\" x;y" : "\"Quoted\" x,y"), Value::text(" 45- 49"), Value::real(0.1),
         Value::integer(-7), Value::date(DayNumber(1901, 1, 2)), Value::boolean(false)},
        {Value::null(), Value::text("100-104"), Value::real(123456789.125), Value::integer(2147483647),
         Value::date(DayNumber(2099, 12, 31)), Value::null()},
        {Value::text("\xE2\x82\xAC 5 \xC3\x9F"), Value::text("105+"), Value::null(), Value::null(), Value::null(),
         Value::boolean(true)},
    };
}

std::string Canon(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: return "Z:";
        case Value::Kind::Boolean: return v.asBool() ? "B:1" : "B:0";
        case Value::Kind::Integer:
        case Value::Kind::Double: return "N:" + ExactNumberText(v.asDouble());
        case Value::Kind::Date: return "D:" + IsoDateText(v.asDouble());
        case Value::Kind::Text: return "T:" + v.asText();
    }
    return "";
}

// How a format gives the sample back: the header names it keeps, what a Null
// text reads as, whether every cell is text (HTML).
struct Traits {
    std::function<std::vector<std::string>(const std::vector<ColumnSpec>&)> names;
    std::string nullText = "Z:";
    bool allText = false;
    bool booleansAsText = false;     // "True" / "False" where the format has no booleans
    bool booleansAsNumbers = false;  // FreeXL gives boolean cells as 1 and 0
};

Grid Expected(const Traits& traits, bool withSemicolon) {
    Grid grid;
    std::vector<std::string> header;
    for (const std::string& n : traits.names ? traits.names(kColumns) : testing::Names(kColumns))
        header.push_back("T:" + n);
    grid.push_back(header);
    for (const auto& row : SampleRows(withSemicolon)) {
        std::vector<std::string> cells;
        for (size_t c = 0; c < row.size(); ++c) {
            if (traits.allText) cells.push_back("T:" + CellText(row[c]));
            else if (row[c].isNull() && kColumns[c].type == FieldType::Text) cells.push_back(traits.nullText);
            else if (traits.booleansAsText && row[c].kind() == Value::Kind::Boolean) cells.push_back("T:" + CellText(row[c]));
            else if (traits.booleansAsNumbers && row[c].kind() == Value::Kind::Boolean)
                cells.push_back(row[c].asBool() ? "N:1" : "N:0");
            else if (traits.booleansAsText && row[c].isNull() && kColumns[c].type == FieldType::Boolean)
                cells.push_back(traits.nullText);
            else cells.push_back(Canon(row[c]));
        }
        grid.push_back(cells);
    }
    return grid;
}

Grid GridOfRows(const std::vector<ColumnSpec>& columns, const testing::Rows& rows) {
    Grid grid(1);
    for (const ColumnSpec& c : columns) grid[0].push_back("T:" + c.name);
    for (const auto& row : rows) {
        grid.emplace_back();
        for (const Value& v : row) grid.back().push_back(Canon(v));
    }
    return grid;
}

Grid GridOfCells(const std::vector<SheetCell>& cells) {
    Grid grid;
    for (const SheetCell& cell : cells) {
        if (grid.size() <= cell.row) grid.resize(cell.row + 1);
        auto& row = grid[cell.row];
        if (row.size() <= cell.column) row.resize(cell.column + 1, "Z:");
        row[cell.column] = Canon(cell.value);
    }
    for (auto& row : grid) row.resize(kColumns.size(), "Z:");
    return grid;
}

// Runs tests/exchange/readers/independent_read.py; nullopt when the reader's
// module is missing. The lines starting with "#" are returned in `notes`.
std::optional<Grid> ReadWithPython(const std::string& reader, const std::string& path, std::string& notes) {
    const std::string command = "/usr/bin/python3 " VDX_TEST_SOURCES "/readers/independent_read.py " + reader + " '" +
                                path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = pclose(pipe);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) return std::nullopt;
    EXPECT_EQ(status, 0) << out;
    Grid grid;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("#", 0) == 0) {
            notes += line + "\n";
            continue;
        }
        grid.emplace_back();
        std::string cell;
        std::istringstream cells(line);
        while (std::getline(cells, cell, '\x1f')) {
            // Numbers come in Python's notation; compare them as doubles.
            if (cell.rfind("N:", 0) == 0) cell = "N:" + ExactNumberText(std::stod(cell.substr(2)));
            grid.back().push_back(cell);
        }
    }
    return grid;
}

// A Paradox table read with pxlib alone. A field whose bytes are all zero is
// Null: pxlib's own test for that reads 8 bytes of a 4-byte field on 64-bit
// machines, so it is done here.
Grid ReadWithPxlib(const std::string& path, std::string& notes) {
    notes = "version " + std::to_string(ReadParadoxHeader(path).version);
    pxdoc_t* doc = PX_new();
    EXPECT_EQ(PX_open_file(doc, path.c_str()), 0);
    const int n = PX_get_num_fields(doc);
    pxfield_t* fields = PX_get_fields(doc);
    CodePageDecoder cp1252(1252);
    Grid grid(1);
    for (int i = 0; i < n; ++i) grid[0].push_back("T:" + cp1252.decode(fields[i].px_fname));
    std::vector<char> record(PX_get_recordsize(doc));
    for (int r = 0; r < PX_get_num_records(doc); ++r) {
        EXPECT_NE(PX_get_record(doc, r, record.data()), nullptr);
        grid.emplace_back();
        int offset = 0;
        for (int i = 0; i < n; ++i) {
            char* data = record.data() + offset;
            const int len = fields[i].px_flen;
            offset += len;
            if (std::all_of(data, data + len, [](char b) { return b == 0; })) {
                grid.back().push_back("Z:");
                continue;
            }
            char* text = nullptr;
            long number = 0;
            short small = 0;
            double real = 0;
            char text_byte = 0;
            switch (fields[i].px_ftype) {
                case pxfAlpha:
                    PX_get_data_alpha(doc, data, len, &text);
                    grid.back().push_back("T:" + cp1252.decode(text ? text : ""));
                    break;
                case pxfShort:
                    PX_get_data_short(doc, data, len, &small);
                    grid.back().push_back(Canon(Value::integer(small)));
                    break;
                case pxfLong:
                    PX_get_data_long(doc, data, len, &number);
                    grid.back().push_back(Canon(Value::integer(number)));
                    break;
                case pxfDate:
                    PX_get_data_long(doc, data, len, &number);
                    grid.back().push_back(Canon(Value::date(static_cast<double>(number) - 693594)));
                    break;
                case pxfNumber:
                    PX_get_data_double(doc, data, len, &real);
                    grid.back().push_back(Canon(Value::real(real)));
                    break;
                case pxfLogical:
                    PX_get_data_byte(doc, data, len, &text_byte);
                    grid.back().push_back(Canon(Value::boolean(text_byte != 0)));
                    break;
                default: grid.back().push_back("?");
            }
        }
    }
    PX_close(doc);
    PX_delete(doc);
    return grid;
}

struct Case {
    std::string name;
    std::string format;  // the CLI name of the format's entry
    std::string file;
    std::string reader;  // "ours", "freexl", or a python reader
    Traits traits;
    std::string note;    // what the reader's notes must hold
    // Our Paradox reader takes pxlib's word on Null and so misreads Null Long
    // and Date fields (the sample's last row); it is compared up to that row.
    size_t rowsCompared = SIZE_MAX;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Traits kDBase{DBaseFieldNames, "T:"};

Grid ReadOurs(const Case& c, const std::string& folder, const std::string& path, std::string& notes) {
    const std::string table = StemOf(c.file);
    const std::string family = c.format.substr(0, c.format.find_first_of("0123456789"));
    if (family == "text") {
        // Our import, with each column read as its type; an empty field is Null.
        TextTableReader reader(folder);
        std::vector<ColumnSpec> columns = reader.columns(table);
        const std::vector<TextColumn> types = {{"Text"}, {"Text"}, {"Double"}, {"Long"}, {"Date", "DDMMYYYY"}, {"Text"}};
        testing::Rows rows;
        reader.readRows(table, [&](const std::vector<Value>& row) {
            rows.emplace_back();
            for (size_t i = 0; i < row.size(); ++i)
                rows.back().push_back(types[i].type != "Text" && row[i].asText().empty()
                                          ? Value::null()
                                          : ConvertTextField(row[i].asText(), types[i], static_cast<int>(i) + 1));
            return true;
        }, nullptr);
        return GridOfRows(columns, rows);
    }
    if (family == "dbase") {
        DBaseReader reader(folder);
        return GridOfRows(reader.columns(table), testing::ReadAll(reader, table));
    }
    if (family == "paradox") {
        notes = "version " + std::to_string(ReadParadoxHeader(path).version);
        ParadoxReader reader(folder);
        return GridOfRows(reader.columns(table), testing::ReadAll(reader, table));
    }
    if (family == "csv") {
        CsvReader reader(path);
        return GridOfRows(reader.columns(table), testing::ReadAll(reader, table));
    }
    if (family == "dta") {
        StatisticsReader reader(StatisticsFormat::Stata, path);
        return GridOfRows(reader.columns(table), testing::ReadAll(reader, table));
    }
    if (family == "xlsx") {
        XlsxReader reader(path);
        notes = "sheet " + reader.tableNames().front();
        return GridOfCells(reader.sheetCells(0));
    }
    BiffWorkbook book = BiffWorkbook::FromFile(path, table);
    notes = "biff " + std::to_string(book.version()) + " sheet " + book.sheetNames().front();
    return GridOfCells(book.sheetCells(0));
}

class WriterRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(WriterRoundTrip, TheIndependentReaderSeesEveryCell) {
    const Case& c = GetParam();
    TempFolder folder;
    const std::string path = folder.file(c.file);
    const bool withSemicolon = c.format != "text";
    auto writer = WriterOf(c.format, path, "Age*Calendar");
    const auto rows = SampleRows(withSemicolon);
    writer->begin(kColumns, rows.size());
    for (const auto& row : rows) ASSERT_TRUE(writer->writeRow(row));
    writer->finish();
    ASSERT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1) << "only the table's file";

    std::string notes;
    Grid grid;
    if (c.reader == "ours") {
        grid = ReadOurs(c, folder.path(), path, notes);
    } else if (c.reader == "pxlib") {
        grid = ReadWithPxlib(path, notes);
    } else if (c.reader == "freexl") {
        FreeXlWorkbook book = ReadWithFreeXl(path);
        notes = "biff " + std::to_string(book.biffVersion);
        grid = GridOfCells(book.sheets.at(0));
    } else {
        std::optional<Grid> read = ReadWithPython(c.reader, path, notes);
        if (!read) GTEST_SKIP() << "python3 module for " << c.reader << " is not installed";
        grid = *read;
    }
    Grid expected = Expected(c.traits, withSemicolon);
    if (c.rowsCompared < expected.size()) {
        ASSERT_EQ(grid.size(), expected.size());
        grid.resize(c.rowsCompared);
        expected.resize(c.rowsCompared);
    }
    EXPECT_EQ(grid, expected);
    EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
}

const Traits kTextTraits{nullptr, "T:", false, true};
const Traits kParadox4{nullptr, "Z:", false, true};
const Traits kFreeXl{nullptr, "Z:", false, false, true};
const Traits kHtml{nullptr, "T:", true};
const Traits kCsvOurs{nullptr, "Z:", false, true};
// Stata: valid variable names, empty strings for Null texts, booleans as bytes.
const Traits kStata{StataVariableNames, "T:", false, false, true};

const Case kCases[] = {
    {"ascii_ours", "text", "result.txt", "ours", kTextTraits, ""},
    {"html_htmlparser", "html", "result.html", "html", kHtml, "#charset utf-8 tables 1"},
    {"dbase3_dbfread", "dbase3", "result.dbf", "dbfread", kDBase, "cp1252"},
    {"dbase4_dbfread", "dbase4", "result.dbf", "dbfread", kDBase, "cp1252"},
    {"dbase5_dbfread", "dbase5", "result.dbf", "dbfread", kDBase, "cp1252"},
    {"dbase3_ours", "dbase3", "result.dbf", "ours", {DBaseFieldNames}, ""},
    {"dbase5_ours", "dbase5", "result.dbf", "ours", {DBaseFieldNames}, ""},
    {"excel3_xlrd", "excel3", "result.xls", "xlrd", {}, "biff 30"},
    {"excel4_xlrd", "excel4", "result.xls", "xlrd", {}, "biff 40"},
    {"excel5_xlrd", "excel5", "result.xls", "xlrd", {}, "#sheet Age_Calendar biff 50"},
    {"excel7_xlrd", "excel7", "result.xls", "xlrd", {}, "#sheet Age_Calendar biff 50"},
    {"excel8_xlrd", "excel8", "result.xls", "xlrd", {}, "#sheet Age_Calendar biff 80"},
    {"excel3_ours", "excel3", "result.xls", "ours", {}, "biff 3"},
    {"excel4_ours", "excel4", "result.xls", "ours", {}, "biff 4"},
    {"excel5_ours", "excel5", "result.xls", "ours", {}, "biff 5 sheet Age_Calendar"},
    {"excel7_ours", "excel7", "result.xls", "ours", {}, "biff 5 sheet Age_Calendar"},
    {"excel8_ours", "excel8", "result.xls", "ours", {}, "biff 8 sheet Age_Calendar"},
    {"excel3_freexl", "excel3", "result.xls", "freexl", kFreeXl, "biff 3"},
    {"excel4_freexl", "excel4", "result.xls", "freexl", kFreeXl, "biff 4"},
    {"excel5_freexl", "excel5", "result.xls", "freexl", kFreeXl, "biff 5"},
    {"excel8_freexl", "excel8", "result.xls", "freexl", kFreeXl, "biff 8"},
    {"excel3_ssconvert", "excel3", "result.xls", "ssconvert", {}, ""},
    {"excel4_ssconvert", "excel4", "result.xls", "ssconvert", {}, ""},
    {"excel5_ssconvert", "excel5", "result.xls", "ssconvert", {}, ""},
    {"excel8_ssconvert", "excel8", "result.xls", "ssconvert", {}, ""},
    {"paradox3_pxlib", "paradox3", "result.db", "pxlib", kParadox4, "version 9"},
    {"paradox4_pxlib", "paradox4", "result.db", "pxlib", kParadox4, "version 9"},
    {"paradox5_pxlib", "paradox5", "result.db", "pxlib", {}, "version 11"},
    {"paradox4_ours", "paradox4", "result.db", "ours", kParadox4, "version 9", 4},
    {"paradox5_ours", "paradox5", "result.db", "ours", {}, "version 11", 4},
    {"csv_python", "csv", "result.csv", "csv", {}, "#crlf 5 lf 5"},
    {"csv_ours", "csv", "result.csv", "ours", kCsvOurs, ""},
    {"xlsx_openpyxl", "xlsx", "result.xlsx", "openpyxl", {}, "#sheet Age_Calendar sheets 1"},
    {"xlsx_libreoffice", "xlsx", "result.xlsx", "soffice", {}, ""},
    {"xlsx_ours", "xlsx", "result.xlsx", "ours", {}, "sheet Age_Calendar$"},
    {"dta_haven", "dta", "result.dta", "haven", kStata, "#label Age*Calendar"},
    {"dta_ours", "dta", "result.dta", "ours", kStata, ""},
};

INSTANTIATE_TEST_SUITE_P(EveryFormat, WriterRoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

// A writer that fails half-way, is cancelled or is dropped unfinished leaves
// the file it was to replace byte for byte, and nothing else.
struct Failure {
    std::string name;
    std::string format;
    std::vector<Value> badRow;  // empty: the user cancels, or the writer is dropped
    int error = err::TypeMismatch;
};

void PrintTo(const Failure& f, std::ostream* os) { *os << f.name; }

class WriterFailure : public ::testing::TestWithParam<Failure> {};

struct CancelAtOnce : ReadProgress {
    bool report(double) override { return false; }
};

TEST_P(WriterFailure, LeavesTheOldTargetAsItWas) {
    const Failure& f = GetParam();
    TempFolder folder;
    const std::string old = "the user's old file\r\n";
    const std::string target = folder.write("result.out", old);
    CancelAtOnce cancel;
    {
        auto writer = WriterOf(f.format, target, "result");
        writer->begin(kColumns, 0, f.name.find("cancel") != std::string::npos ? &cancel : nullptr);
        const auto good = SampleRows(false).front();
        if (f.badRow.empty() && f.name.find("cancel") != std::string::npos) {
            bool going = true;
            for (int i = 0; i < 5000 && going; ++i) going = writer->writeRow(good);
            EXPECT_FALSE(going);
            writer->finish();  // after a cancel: nothing to finish
        } else if (!f.badRow.empty()) {
            ASSERT_TRUE(writer->writeRow(good));
            EXPECT_EQ(ErrorNumberOf([&] { writer->writeRow(f.badRow); writer->finish(); }), f.error);
        } else {
            ASSERT_TRUE(writer->writeRow(good));  // dropped without finish()
        }
    }
    EXPECT_EQ(ReadFileBytes(target), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

std::vector<Value> RowWith(size_t column, Value v) {
    std::vector<Value> row = SampleRows(false).front();
    row[column] = std::move(v);
    return row;
}

const Value kCheckMark = Value::text("\xE2\x9C\x93");  // U+2713, not in Windows-1252

const Failure kFailures[] = {
    {"ascii_semicolon_in_text", "text", RowWith(0, Value::text("a;b"))},
    {"ascii_line_break_in_text", "text", RowWith(1, Value::text("a\nb"))},
    {"ascii_cancel", "text", {}},
    {"ascii_infinity", "text", RowWith(2, Value::real(HUGE_VAL))},
    {"html_dropped", "html", {}},
    {"dbase3_character_not_in_cp1252", "dbase3", RowWith(0, kCheckMark)},
    {"dbase3_number_too_wide", "dbase3", RowWith(2, Value::real(-1e25))},
    {"dbase4_text_for_number", "dbase4", RowWith(3, Value::text("x"))},
    {"excel3_character_not_in_cp1252", "excel3", RowWith(0, kCheckMark)},
    {"excel8_text_too_long", "excel8", RowWith(0, Value::text(std::string(300, 'x')))},
    {"excel5_cancel", "excel5", {}},
    {"paradox5_character_not_in_cp1252", "paradox5", RowWith(0, kCheckMark)},
    {"paradox4_dropped", "paradox4", {}},
    {"csv_cancel", "csv", {}},
    {"xlsx_text_too_long", "xlsx", RowWith(0, Value::text(std::string(32768, 'x')))},
    {"xlsx_text_not_utf8", "xlsx", RowWith(0, Value::text("M\xFCller"))},
    {"xlsx_dropped", "xlsx", {}},
    {"xlsx_cancel", "xlsx", {}},
    {"dta_text_in_number_column", "dta", RowWith(3, Value::text("x"))},
    {"dta_number_beyond_stata", "dta", RowWith(2, Value::real(1e308))},
    {"dta_text_not_utf8", "dta", RowWith(1, Value::text("M\xFCller"))},
    {"dta_cancel", "dta", {}},
};

INSTANTIATE_TEST_SUITE_P(EveryKind, WriterFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return info.param.name; });

TEST(TableWriters, ATargetInAMissingFolderIsAPathError) {
    TempFolder folder;
    for (const char* format : {"text", "dbase4", "excel8", "paradox5"}) {
        auto writer = WriterOf(format, folder.file("missing/result.out"), "result");
        EXPECT_EQ(ErrorNumberOf([&] {
                      writer->begin(kColumns, 1);
                      writer->writeRow(SampleRows(false).front());
                      writer->finish();
                  }),
                  err::PathAccess);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 0);
}

// A writer killed by kill -9 leaves its temporary file unheld; the next
// writer into that folder removes such files, leaves a running writer's
// (held with flock) and the user's own hidden files, and holds its own.
TEST(TableWriters, TemporaryFilesOfKilledWritersGoWhenTheNextOneStarts) {
    TempFolder folder;
    const std::vector<std::string> stale{".t.csv.unfinished.a1B2c3", ".OUT.jet.unfinished.Zz9Yy8",
                                         ".t.csv.Q1w2E3"};  // the last: the naming of before, of this target
    const std::vector<std::string> kept{".u.txt.unfinished.live00", ".other.csv.Q1w2E3", ".bashrc.backup", "t.csv.txt"};
    for (const auto& name : stale) folder.write(name, "part of a killed export");
    for (const auto& name : kept) folder.write(name, "kept");
    const int running = ::open(folder.file(kept[0]).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(running, LOCK_EX), 0);

    auto writer = WriterOf("csv", folder.file("t.csv"), "t");
    writer->begin(kColumns, 1);
    std::vector<std::string> own;
    for (const auto& e : std::filesystem::directory_iterator(folder.path())) {
        const std::string name = e.path().filename().string();
        if (std::find(kept.begin(), kept.end(), name) == kept.end()) own.push_back(name);
    }
    ASSERT_EQ(own.size(), 1u) << ::testing::PrintToString(own);  // every stale file gone, one of its own
    EXPECT_TRUE(IsUnfinishedWrite(own[0], "t.csv")) << own[0];
    const int probe = ::open(folder.file(own[0]).c_str(), O_RDONLY);
    EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0);  // held while written
    ::close(probe);
    writer->writeRow(SampleRows(false).front());
    writer->finish();
    for (const auto& name : kept) EXPECT_TRUE(std::filesystem::exists(folder.file(name))) << name;
    EXPECT_FALSE(std::filesystem::exists(folder.file(own[0])));
    EXPECT_TRUE(std::filesystem::exists(folder.file("t.csv")));
    ::close(running);
}

// A full sheet is written; a table of one row more is refused before any
// file exists, whether the caller says so in begin() or the row comes anyway.
// The full Excel 8.0 sheet of ten columns (12 MB) needs more FAT sectors than
// the compound file's header lists, so it also proves the DIFAT sector.
TEST(ExcelWriter, ASheetHoldsItsVersionsRowsAndNotOneMore) {
    std::vector<ColumnSpec> ten;
    for (int c = 0; c < 10; ++c) ten.push_back({"C" + std::to_string(c), FieldType::Double, 0});
    std::vector<Value> row(10);
    auto fill = [&](uint32_t r) {
        for (int c = 0; c < 10; ++c) row[c] = Value::real(r * 10.0 + c);
        return row;
    };
    for (auto [format, rows] : {std::pair{"excel4", 16383u}, std::pair{"excel5", 16383u}, std::pair{"excel8", 65535u}}) {
        SCOPED_TRACE(rows);
        TempFolder folder;
        const std::string path = folder.file("big.xls");
        EXPECT_EQ(ErrorNumberOf([&] { WriterOf(format, path, "big")->begin(ten, rows + 1); }), err::PathAccess);
        EXPECT_FALSE(std::filesystem::exists(path));
        {
            auto writer = WriterOf(format, path, "big");
            writer->begin(ten, 0);
            for (uint32_t r = 0; r < rows; ++r) writer->writeRow(fill(r));
            EXPECT_EQ(ErrorNumberOf([&] { writer->writeRow(fill(rows)); }), err::PathAccess);
            writer->finish();
        }
        EXPECT_FALSE(std::filesystem::exists(path));

        auto writer = WriterOf(format, path, "big");
        writer->begin(ten, rows);
        for (uint32_t r = 0; r < rows; ++r) writer->writeRow(fill(r));
        writer->finish();
        std::vector<SheetCell> cells = BiffWorkbook::FromFile(path, "big").sheetCells(0);
        ASSERT_EQ(cells.size(), (rows + 1) * 10);
        EXPECT_EQ(cells.back().row, rows);
        EXPECT_EQ(cells.back().value, Value::real((rows - 1) * 10.0 + 9));
    }
}

// Dates before 1900 (and Excel's awkward first days of 1900) come back as the
// same dates through our readers, whatever the format stores them as. (31
// December 1899, which the .xlsx date system cannot hold, is left out.)
TEST(ModernWriters, DatesBefore1900ComeBackAsDates) {
    const std::vector<ColumnSpec> columns = {{"id", FieldType::Long, 0}, {"birth", FieldType::Date, 0}};
    std::vector<std::vector<Value>> rows;
    const double days[] = {DayNumber(1868, 4, 2), DayNumber(1899, 12, 30), DayNumber(1900, 1, 1),
                           DayNumber(1900, 2, 28), DayNumber(1900, 3, 1),
                           DayNumber(1900, 3, 1) + 0.75, DayNumber(1701, 1, 1)};
    for (double day : days) rows.push_back({Value::integer(static_cast<int64_t>(rows.size()) + 1), Value::date(day)});
    for (const std::string file : {"cohort.csv", "cohort.xlsx", "cohort.dta"}) {
        const std::string format = file.substr(file.find('.') + 1);
        SCOPED_TRACE(file);
        TempFolder folder;
        auto writer = WriterOf(format, folder.file(file), "cohort");
        writer->begin(columns, rows.size());
        for (const auto& row : rows) writer->writeRow(row);
        writer->finish();
        std::unique_ptr<TableReader> reader;
        if (format == "csv") reader = std::make_unique<CsvReader>(folder.file(file));
        if (format == "xlsx") reader = std::make_unique<XlsxReader>(folder.file(file));
        if (format == "dta") reader = std::make_unique<StatisticsReader>(StatisticsFormat::Stata, folder.file(file));
        const std::string table = reader->tableNames().front();
        EXPECT_EQ(reader->columns(table).at(1).type, FieldType::Date);
        std::vector<std::string> read, written;
        for (const auto& row : testing::ReadAll(*reader, table)) read.push_back(Canon(row.at(1)));
        for (const auto& row : rows) written.push_back(Canon(row[1]));
        EXPECT_EQ(read, written);
    }
}

TEST(XlsxWriter, ATableBeyondTheSheetsRowsIsRefusedBeforeAnyFileExists) {
    TempFolder folder;
    EXPECT_EQ(ErrorNumberOf([&] { WriterOf("xlsx", folder.file("big.xlsx"), "big")->begin(kColumns, 1048576); }),
              err::PathAccess);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 0);
}

TEST(DtaWriter, VariableNamesAreValidStataNames) {
    std::vector<ColumnSpec> columns;
    for (const char* name : {"Age class", "1970-1974", "M\xC3\xBCller", "if", "str80", "_n", "",
                             "a_very_long_column_name_of_forty_characters", "a_very_long_column_name_of_forty_characters",
                             "Age_class"})
        columns.push_back({name, FieldType::Double, 0});
    EXPECT_EQ(StataVariableNames(columns),
              (std::vector<std::string>{"Age_class", "_1970_1974", "M_ller", "if_", "str80_", "_n_", "var",
                                        "a_very_long_column_name_of_forty", "a_very_long_column_name_of_for_2",
                                        "Age_class_2"}));
}

TEST(DBaseWriter, FieldNamesAreShortUniqueAndPlain) {
    std::vector<ColumnSpec> columns;
    for (const char* name : {"Age class", "1970-1974", "Lower Confidence Bound", "Lower Confidence Bounds",
                             "lower confidence bound x", "M\xC3\xBCller", ""})
        columns.push_back({name, FieldType::Text, 10});
    EXPECT_EQ(DBaseFieldNames(columns), (std::vector<std::string>{"Age_class", "1970_1974", "Lower_Conf", "Lower_Co_2",
                                                                  "lower_co_3", "M_ller", "FIELD"}));
}

}  // namespace
}  // namespace vdx::exchange
