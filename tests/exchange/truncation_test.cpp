// Every fixture of the Excel, dBase and Paradox readers cut short at many
// lengths: a cut file is either refused as not in the expected format or
// reads as exactly the table of the whole file, never as a table with
// missing or wrong rows.
#include <gtest/gtest.h>

#include <filesystem>

#include "exchange/formats/dbase/dbase_reader.h"
#include "exchange/formats/excel/excel_reader.h"
#include "exchange/formats/paradox/paradox_reader.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

namespace fs = std::filesystem;
using testing::ReadAll;
using testing::ReadFileBytes;
using testing::Rows;
using testing::TempFolder;

// What attaching one table gives: the error it is refused with, or its columns and rows.
struct TableOutcome {
    int error = 0;
    std::string message;
    std::vector<ColumnSpec> columns;
    Rows rows;
    bool sameTable(const TableOutcome& o) const { return error == o.error && columns == o.columns && rows == o.rows; }
};

TableOutcome ReadTable(TableReader& reader, const std::string& table) {
    TableOutcome out;
    try {
        out.columns = reader.columns(table);
        out.rows = ReadAll(reader, table);
    } catch (const VdxError& e) {
        out = {e.number(), e.description(), {}, {}};
    }
    return out;
}

// The cuts of a file of n bytes: every k-th length and the last few.
std::vector<size_t> Cuts(size_t n) {
    const size_t step = std::max<size_t>(1, n / 61);
    std::vector<size_t> cuts;
    for (size_t keep = 0; keep < n; keep += step) cuts.push_back(keep);
    for (size_t back = 1; back <= 8 && back <= n; ++back) cuts.push_back(n - back);
    return cuts;
}

// A cut table that is not the whole one must be refused with 3274 naming the file.
void ExpectWholeOrRefused(const TableOutcome& whole, const TableOutcome& cut, const std::string& file,
                          const std::string& where) {
    if (cut.sameTable(whole)) return;
    EXPECT_EQ(cut.error, err::NotExpectedFormat) << where << ": " << cut.rows.size() << " of " << whole.rows.size()
                                                 << " rows, or " << cut.message;
    EXPECT_NE(cut.message.find(file), std::string::npos) << where << ": " << cut.message;
}

TEST(Truncation, ExcelWorkbooksCutShortAreRefusedOrReadWhole) {
    TempFolder dir;
    for (const auto& entry : fs::directory_iterator(std::string(VDX_FIXTURES) + "/excel")) {
        const std::string file = entry.path().filename().string();
        const std::string bytes = ReadFileBytes(entry.path().string());
        ExcelReader wholeReader(entry.path().string());
        const std::vector<std::string> tables = wholeReader.tableNames();
        std::vector<TableOutcome> whole;
        for (const std::string& t : tables) whole.push_back(ReadTable(wholeReader, t));

        for (size_t keep : Cuts(bytes.size())) {
            // A single-sheet file names its sheet after the file: keep the name.
            const std::string path = dir.write(file, bytes.substr(0, keep));
            const std::string where = file + " cut at " + std::to_string(keep);
            try {
                ExcelReader reader(path);
                ASSERT_EQ(reader.tableNames(), tables) << where;
                for (size_t i = 0; i < tables.size(); ++i)
                    ExpectWholeOrRefused(whole[i], ReadTable(reader, tables[i]), file, where + " " + tables[i]);
            } catch (const VdxError& e) {
                EXPECT_EQ(e.number(), err::NotExpectedFormat) << where << ": " << e.description();
                EXPECT_NE(e.description().find(file), std::string::npos) << where << ": " << e.description();
            }
        }
    }
}

// dBase and Paradox: each file of a fixture folder (tables and memo files) cut
// in a copy of the folder, and the table it belongs to read.
template <typename Reader>
void ScanFolder(const std::string& fixtures, const std::string& tableExtension) {
    TempFolder dir;
    for (const auto& entry : fs::directory_iterator(fixtures)) fs::copy_file(entry.path(), dir.file(entry.path().filename()));
    Reader wholeReader(fixtures);
    for (const auto& entry : fs::directory_iterator(fixtures)) {
        const std::string file = entry.path().filename().string();
        const std::string table = entry.path().stem().string();
        const bool isTable = entry.path().extension() == tableExtension;
        const std::string bytes = ReadFileBytes(entry.path().string());
        const TableOutcome whole = ReadTable(wholeReader, table);
        ASSERT_EQ(whole.error, 0) << file << ": " << whole.message;
        Reader reader(dir.path());
        for (size_t keep : Cuts(bytes.size())) {
            dir.write(file, bytes.substr(0, keep));
            // A cut table file names itself; a cut memo file names the memo file or the table.
            ExpectWholeOrRefused(whole, ReadTable(reader, table), isTable ? file : table,
                                 file + " cut at " + std::to_string(keep));
        }
        dir.write(file, bytes);
    }
}

TEST(Truncation, DBaseTablesAndMemoFilesCutShortAreRefusedOrReadWhole) {
    ScanFolder<DBaseReader>(std::string(VDX_FIXTURES) + "/dbase", ".dbf");
}

TEST(Truncation, ParadoxTablesCutShortAreRefusedOrReadWhole) {
    ScanFolder<ParadoxReader>(std::string(VDX_FIXTURES) + "/paradox", ".db");
}

}  // namespace
}  // namespace vdx::exchange
