// Export speed: a table of N rows and 10 columns (an age label, six
// person-years figures with two decimals, two counts, a date) written to
// ASCII, HTML, dBase IV, Paradox 5.x, CSV, .xlsx (at most the 1,048,575 rows
// a sheet holds) and Stata .dta, and the 65,535 rows an Excel 8.0 sheet holds
// (a larger table is refused before anything is written).
// Usage: bench_write [rows = 1000000] [folder = a temporary folder]
//                    [formats = ascii,html,dbase,paradox,csv,xlsx,dta,excel]
// Prints seconds, rows per second, the file's size and the peak memory of the
// process (dBase, Paradox and Stata keep the rows until they know the field
// widths and, for Stata, the row count).
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_measure.h"
#include "exchange/io/file_formats.h"
#include "state/errors.h"

namespace {

using bench::Clock;
using bench::PeakKibibytes;
using namespace vdx;
using namespace vdx::exchange;

const std::vector<ColumnSpec> kColumns = {
    {"Age class", FieldType::Text, 255}, {"1970-1974", FieldType::Double, 0}, {"1975-1979", FieldType::Double, 0},
    {"1980-1984", FieldType::Double, 0}, {"1985-1989", FieldType::Double, 0}, {"1990-1994", FieldType::Double, 0},
    {"1995-1999", FieldType::Double, 0}, {"Deaths", FieldType::Long, 0},    {"Cases", FieldType::Long, 0},
    {"Born", FieldType::Date, 0},
};

void Write(const std::string& format, const std::string& what, const std::string& path, long rows) {
    auto start = Clock::now();
    std::vector<Value> row(kColumns.size());
    auto writer = FormatNamed(format).writer(path, "result");
    writer->begin(kColumns, static_cast<uint64_t>(rows));
    for (long i = 0; i < rows; ++i) {
        const int age = 15 + 5 * static_cast<int>(i % 14);
        row[0] = Value::text((age < 100 ? " " : "") + std::to_string(age) + "-" + (age + 4 < 100 ? " " : "") +
                             std::to_string(age + 4));
        for (int c = 1; c <= 6; ++c) row[c] = Value::real(static_cast<double>((i * 7 + c * 131) % 1000000) / 100.0);
        row[7] = Value::integer(i % 97);
        row[8] = Value::integer(i);
        row[9] = Value::date(static_cast<double>(i % 40000));
        writer->writeRow(row);
    }
    writer->finish();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::cout << what << ": " << rows << " rows in " << seconds << " s (" << static_cast<long>(rows / seconds)
              << " rows/s), " << std::filesystem::file_size(path) / 1048576 << " MiB, peak memory "
              << PeakKibibytes() / 1024 << " MiB" << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    const std::string folder = argc > 2 ? argv[2]
                                        : (std::filesystem::temp_directory_path() /
                                           ("vdx_export_bench_" + std::to_string(rows))).string();
    const std::string formats = argc > 3 ? argv[3] : "ascii,html,dbase,paradox,csv,xlsx,dta,excel";
    auto chosen = [&](const char* key) { return formats.find(key) != std::string::npos; };
    std::filesystem::create_directories(folder);
    if (chosen("ascii")) Write("text", "ASCII", folder + "/result.txt", rows);
    if (chosen("html")) Write("html", "HTML", folder + "/result.html", rows);
    if (chosen("dbase")) Write("dbase4", "dBase IV", folder + "/result.dbf", rows);
    if (chosen("paradox")) Write("paradox5", "Paradox 5.x", folder + "/result.db", rows);
    if (chosen("csv")) Write("csv", "CSV", folder + "/result.csv", rows);
    if (chosen("xlsx")) Write("xlsx", "Excel 2007+ (.xlsx)", folder + "/result.xlsx", std::min(rows, 1048575L));
    if (chosen("dta")) Write("dta", "Stata (.dta)", folder + "/result.dta", rows);
    if (!chosen("excel")) return 0;
    Write("excel8", "Excel 8.0, one full sheet", folder + "/result.xls", std::min(rows, 65535L));
    try {
        FormatNamed("excel8").writer(folder + "/refused.xls", "result")->begin(kColumns, rows);
    } catch (const VdxError& e) {
        std::cout << "Excel 8.0 with " << rows << " rows: " << e.description() << std::endl;
    }
    std::filesystem::remove_all(folder);
}
