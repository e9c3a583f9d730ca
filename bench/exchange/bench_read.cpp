// Reading speed of the ASCII import, the dBase and the Paradox reader on
// large inputs written here: a semicolon-delimited file of N lines and 8
// columns, and dBase and Paradox tables of N rows.
// Usage: bench_read [rows = 1000000] [folder = a temporary folder]
// Prints seconds, rows per second and the peak memory of the process, which
// stays small because rows are streamed.
extern "C" {
#include <paradox.h>
}

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "exchange/dbase_reader.h"
#include "exchange/paradox_reader.h"
#include "exchange/text_import.h"

namespace {

using Clock = std::chrono::steady_clock;

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

void WriteText(const std::string& path, long rows) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("Name;Sex;Id;Weight;Born;Height;City;Entry\r\n", f);
    for (long i = 0; i < rows; ++i)
        std::fprintf(f, "\"Person %ld\";%ld;%ld;%.2f;%02ld%02ld%04ld;%.1f;Z\xFCrich;%04ld\r\n", i, 1 + i % 2, i,
                     50 + (i % 500) / 10.0, 1 + i % 28, 1 + i % 12, 1900 + i % 100, 150 + (i % 50) * 1.0, 1950 + i % 50);
    std::fclose(f);
}

void WriteDBase(const std::string& path, long rows) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    struct F { const char* name; char type; int length, decimals; } fields[] = {
        {"NAME", 'C', 20, 0}, {"BORN", 'D', 8, 0}, {"SEX", 'N', 1, 0}, {"ID", 'N', 9, 0},
        {"WEIGHT", 'N', 6, 2}, {"HEIGHT", 'N', 5, 1}, {"ALIVE", 'L', 1, 0}, {"CITY", 'C', 15, 0}};
    const int n = 8;
    int recordLength = 1;
    for (const F& x : fields) recordLength += x.length;
    unsigned char head[32] = {0x03, 124, 1, 1};
    uint32_t count = static_cast<uint32_t>(rows);
    std::memcpy(head + 4, &count, 4);
    uint16_t headerLength = static_cast<uint16_t>(32 + 32 * n + 1), rl = static_cast<uint16_t>(recordLength);
    std::memcpy(head + 8, &headerLength, 2);
    std::memcpy(head + 10, &rl, 2);
    head[29] = 0x57;
    std::fwrite(head, 1, 32, f);
    for (const F& x : fields) {
        unsigned char d[32] = {};
        std::memcpy(d, x.name, std::strlen(x.name));
        d[11] = static_cast<unsigned char>(x.type);
        d[16] = static_cast<unsigned char>(x.length);
        d[17] = static_cast<unsigned char>(x.decimals);
        std::fwrite(d, 1, 32, f);
    }
    std::fputc(0x0D, f);
    char record[256];
    for (long i = 0; i < rows; ++i) {
        std::snprintf(record, sizeof record, " %-20.20s%04ld%02ld%02ld%1ld%9ld%6.2f%5.1f%c%-15.15s",
                      ("Person " + std::to_string(i)).c_str(), 1900 + i % 100, 1 + i % 12, 1 + i % 28, 1 + i % 2, i,
                      50 + (i % 500) / 10.0, 150 + (i % 50) * 1.0, i % 3 ? 'T' : 'F', "Zurich");
        std::fwrite(record, 1, static_cast<size_t>(recordLength), f);
    }
    std::fputc(0x1A, f);
    std::fclose(f);
}

void WriteParadox(const std::string& path, long rows) {
    pxdoc_t* doc = PX_new();
    const int n = 6;
    auto* f = static_cast<pxfield_t*>(std::malloc(sizeof(pxfield_t) * n));
    const char* names[] = {"Name", "Born", "Sex", "Id", "Weight", "Alive"};
    const char types[] = {pxfAlpha, pxfDate, pxfShort, pxfLong, pxfNumber, pxfLogical};
    const int lengths[] = {20, 4, 2, 4, 8, 1};
    for (int i = 0; i < n; ++i) f[i] = {strdup(names[i]), types[i], lengths[i], 0};
    PX_create_file(doc, f, n, path.c_str(), pxfFileTypNonIndexDB);
    std::vector<char> record(static_cast<size_t>(PX_get_recordsize(doc)));
    for (long i = 0; i < rows; ++i) {
        std::fill(record.begin(), record.end(), 0);
        std::string name = "Person " + std::to_string(i);
        char* p = record.data();
        PX_put_data_alpha(doc, p, 20, name.data()); p += 20;
        PX_put_data_long(doc, p, 4, static_cast<int>(PX_GregorianToSdn(1900 + i % 100, 1 + i % 12, 1 + i % 28) - 1721425)); p += 4;
        PX_put_data_short(doc, p, 2, static_cast<short>(1 + i % 2)); p += 2;
        PX_put_data_long(doc, p, 4, static_cast<int>(i)); p += 4;
        PX_put_data_double(doc, p, 8, 50 + (i % 500) / 10.0); p += 8;
        PX_put_data_byte(doc, p, 1, static_cast<char>(i % 3 ? 1 : 0));
        PX_put_record(doc, record.data());
    }
    PX_close(doc);
    PX_delete(doc);
}

template <typename F>
void Time(const std::string& what, long expectedRows, F&& read) {
    auto start = Clock::now();
    long rows = read();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::cout << what << ": " << rows << " rows in " << seconds << " s (" << static_cast<long>(rows / seconds)
              << " rows/s), peak memory " << PeakKilobytes() / 1024 << " MiB"
              << (rows == expectedRows ? "" : "  ROW COUNT WRONG") << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vdx::exchange;
    const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    const std::string folder = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / ("vdx_exchange_bench_" + std::to_string(rows))).string();
    std::filesystem::create_directories(folder);
    const std::string text = folder + "/cohort.txt", dbf = folder + "/cohort.dbf", db = folder + "/cohort.db";
    if (!std::filesystem::exists(text)) WriteText(text, rows);
    if (!std::filesystem::exists(dbf)) WriteDBase(dbf, rows);
    if (!std::filesystem::exists(db)) WriteParadox(db, rows);
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
    Time("dBase table, 8 fields", rows, [&] {
        long count = 0;
        DBaseReader(folder).readRows("cohort", [&](const std::vector<vdx::Value>&) { return ++count, true; }, nullptr);
        return count;
    });
    Time("Paradox table, 6 fields", rows, [&] {
        long count = 0;
        ParadoxReader(folder).readRows("cohort", [&](const std::vector<vdx::Value>&) { return ++count, true; }, nullptr);
        return count;
    });
    return 0;
}
