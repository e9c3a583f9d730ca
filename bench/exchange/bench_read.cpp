// Reading speed of the ASCII import, the dBase and the Paradox reader on
// large inputs: a semicolon-delimited file of N lines and 8 columns, and
// dBase and Paradox tables of N rows with 5 fields (the generated cohorts of
// the attach tests, which bench_attach brings into a study).
// Usage: bench_read [rows = 1000000] [folder = a temporary folder]
// Prints seconds, rows per second and the peak memory of the process, which
// stays small because rows are streamed.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_measure.h"
#include "exchange/formats/dbase/dbase_reader.h"
#include "exchange/formats/paradox/paradox_reader.h"
#include "exchange/formats/text/text_import.h"
#include "attach_test_support.h"

namespace {

using bench::Clock;
using bench::PeakKibibytes;

template <typename F>
void Time(const std::string& what, long expectedRows, F&& read) {
    auto start = Clock::now();
    long rows = read();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::cout << what << ": " << rows << " rows in " << seconds << " s (" << static_cast<long>(rows / seconds)
              << " rows/s), peak memory " << PeakKibibytes() / 1024 << " MiB"
              << (rows == expectedRows ? "" : "  ROW COUNT WRONG") << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vdx::exchange;
    const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    const std::string folder = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / ("vdx_exchange_bench_" + std::to_string(rows))).string();
    std::filesystem::create_directories(folder);
    const std::string text = folder + "/cohort.txt", dbf = folder + "/cohort.dbf", db = folder + "/cohort.db";
    if (!std::filesystem::exists(text)) vdx::exchange::testing::WriteTextCohort(text, rows);
    if (!std::filesystem::exists(dbf)) vdx::exchange::testing::WriteDBaseCohort(dbf, rows);
    if (!std::filesystem::exists(db)) vdx::exchange::testing::WriteParadoxCohort(db, rows);
    std::cout << "inputs in " << folder << ": text " << std::filesystem::file_size(text) / 1048576 << " MiB, dBase "
              << std::filesystem::file_size(dbf) / 1048576 << " MiB, Paradox " << std::filesystem::file_size(db) / 1048576
              << " MiB" << std::endl;

    Time("ASCII import, 8 columns typed", rows, [&] {
        TextImportOptions options = DefaultTextImportOptions(PreviewTextFile(text), true);
        const char* types[] = {"Text", "Integer", "Long", "Double", "Date", "Single", "Text", "Date"};
        for (size_t i = 0; i < options.columns.size(); ++i) options.columns[i].type = types[i];
        options.columns[4].dateLayout = "DDMMYYYY";
        options.columns[7].dateLayout = "YYYY";
        TextImportColumns(text, options, "cohort");
        long count = 0;
        ImportTextRows(text, options, [&](const std::vector<vdx::Value>&) { return ++count, true; });
        return count;
    });
    Time("dBase table, 5 fields", rows, [&] {
        long count = 0;
        DBaseReader(folder).readRows("cohort", [&](const std::vector<vdx::Value>&) { return ++count, true; }, nullptr);
        return count;
    });
    Time("Paradox table, 5 fields", rows, [&] {
        long count = 0;
        ParadoxReader(folder).readRows("cohort", [&](const std::vector<vdx::Value>&) { return ++count, true; }, nullptr);
        return count;
    });
    return 0;
}
