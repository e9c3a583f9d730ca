// Helpers of the attach and import tests (and the attach benchmark): a study
// with its working copy in a temporary folder, a dump of the working copy
// read with SQLite itself, and writers of dBase, Paradox and text cohorts of
// any length.
#pragma once

extern "C" {
#include <paradox.h>
}
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "db/file_commands.h"
#include "state/scripted_interaction.h"
#include "state/state.h"
#include "state/text_values.h"

namespace vdx::exchange::testing {

// A refused table's message: "Table <name> has wrong format!" and, on its
// next line, what the reader found wrong in `file`.
inline std::string WrongFormatReason(const std::string& text, const std::string& table, const std::string& file) {
    const std::string head = "Table " + table + " has wrong format!\r\n" + file + " ";
    return text.rfind(head, 0) == 0 ? text.substr(head.size()) : "(not a wrong-format message: " + text + ")";
}

// Every table of a database file with its definition and its rows, in
// stored order, read by SQLite directly (not through the adapter): two dumps
// are equal exactly when the tables and their contents are.
inline std::string DumpDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open " + path;
    }
    std::string out;
    std::vector<std::string> tables;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name, sql FROM sqlite_master ORDER BY name", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        const char* sql = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        out += std::string("object ") + name + ": " + (sql ? sql : "") + "\n";
        tables.push_back(name);
    }
    sqlite3_finalize(st);
    for (const auto& table : tables) {
        std::string quoted = "\"";
        for (char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        quoted += "\"";
        if (sqlite3_prepare_v2(db, ("SELECT * FROM " + quoted + " ORDER BY rowid").c_str(), -1, &st, nullptr) !=
            SQLITE_OK)
            continue;
        while (sqlite3_step(st) == SQLITE_ROW) {
            out += table + ":";
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* text = sqlite3_column_text(st, i);
                out += std::string(" [") + (text ? reinterpret_cast<const char*>(text) : "NULL") + "]";
            }
            out += "\n";
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

// The names of the working copy's tables (without SQLite's own).
inline std::vector<std::string> TableNames(const std::string& path) {
    std::vector<std::string> names;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY rowid",
                       -1, &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW)
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return names;
}

// One column of a table, as SQLite's text of each value ("" for Null).
inline std::vector<std::string> ColumnTexts(const std::string& path, const std::string& table,
                                            const std::string& column) {
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, ("SELECT \"" + column + "\" FROM \"" + table + "\" ORDER BY rowid").c_str(), -1, &st,
                       nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(st, 0);
        values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return values;
}

inline long RowCount(const std::string& path, const std::string& table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    long n = -1;
    if (sqlite3_prepare_v2(db, ("SELECT count(*) FROM \"" + table + "\"").c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = static_cast<long>(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

// Person i of the generated cohorts.
inline int BirthYear(long i) { return 1900 + static_cast<int>(i % 100); }
inline int BirthMonth(long i) { return 1 + static_cast<int>(i % 12); }
inline int BirthDay(long i) { return 1 + static_cast<int>(i % 28); }

// A semicolon file of `rows` persons with a header line and 8 columns:
// Name;Sex;Id;Weight;Born (DDMMYYYY);Height;City;Entry (year).
inline void WriteTextCohort(const std::string& path, long rows) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("Name;Sex;Id;Weight;Born;Height;City;Entry\r\n", f);
    for (long i = 0; i < rows; ++i)
        std::fprintf(f, "\"Person %ld\";%ld;%ld;%.2f;%02d%02d%04d;%.1f;Z\xC3\xBCrich;%04ld\r\n", i, 1 + i % 2, i,
                     50 + (i % 500) / 10.0, BirthDay(i), BirthMonth(i), BirthYear(i), 150 + (i % 50) * 1.0,
                     1950 + i % 50);
    std::fclose(f);
}

// A dBase III table of `rows` persons: NAME C(20), BORN D, SEX N(1), ID N(9),
// WEIGHT N(6,2). With garbageAtRow >= 0 that record's WEIGHT is no number.
inline void WriteDBaseCohort(const std::string& path, long rows, long garbageAtRow = -1) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    struct Field {
        const char* name;
        char type;
        int length, decimals;
    } fields[] = {{"NAME", 'C', 20, 0}, {"BORN", 'D', 8, 0}, {"SEX", 'N', 1, 0}, {"ID", 'N', 9, 0}, {"WEIGHT", 'N', 6, 2}};
    const int n = 5;
    int recordLength = 1;
    for (const Field& x : fields) recordLength += x.length;
    unsigned char head[32] = {0x03, 124, 1, 1};
    const uint32_t count = static_cast<uint32_t>(rows);
    std::memcpy(head + 4, &count, 4);
    const uint16_t headerLength = static_cast<uint16_t>(32 + 32 * n + 1), rl = static_cast<uint16_t>(recordLength);
    std::memcpy(head + 8, &headerLength, 2);
    std::memcpy(head + 10, &rl, 2);
    head[29] = 0x57;  // ANSI
    std::fwrite(head, 1, 32, f);
    for (const Field& x : fields) {
        unsigned char d[32] = {};
        std::memcpy(d, x.name, std::strlen(x.name));
        d[11] = static_cast<unsigned char>(x.type);
        d[16] = static_cast<unsigned char>(x.length);
        d[17] = static_cast<unsigned char>(x.decimals);
        std::fwrite(d, 1, 32, f);
    }
    std::fputc(0x0D, f);
    char record[128];
    for (long i = 0; i < rows; ++i) {
        std::snprintf(record, sizeof record, " %-20.20s%04d%02d%02d%1ld%9ld%6.2f", ("Person " + std::to_string(i)).c_str(),
                      BirthYear(i), BirthMonth(i), BirthDay(i), 1 + i % 2, i, 50 + (i % 500) / 10.0);
        if (i == garbageAtRow) std::memcpy(record + 1 + 20 + 8 + 1 + 9, "xx.xx ", 6);
        std::fwrite(record, 1, static_cast<size_t>(recordLength), f);
    }
    std::fputc(0x1A, f);
    std::fclose(f);
}

// A Paradox table of `rows` persons: Name A20, Born D, Sex S, Id I, Weight N.
inline void WriteParadoxCohort(const std::string& path, long rows) {
    pxdoc_t* doc = PX_new();
    const int n = 5;
    auto* f = static_cast<pxfield_t*>(std::malloc(sizeof(pxfield_t) * n));
    const char* names[] = {"Name", "Born", "Sex", "Id", "Weight"};
    const char types[] = {pxfAlpha, pxfDate, pxfShort, pxfLong, pxfNumber};
    const int lengths[] = {20, 4, 2, 4, 8};
    for (int i = 0; i < n; ++i) f[i] = {strdup(names[i]), types[i], lengths[i], 0};
    PX_create_file(doc, f, n, path.c_str(), pxfFileTypNonIndexDB);
    std::vector<char> record(static_cast<size_t>(PX_get_recordsize(doc)));
    for (long i = 0; i < rows; ++i) {
        std::fill(record.begin(), record.end(), 0);
        std::string name = "Person " + std::to_string(i);
        char* p = record.data();
        PX_put_data_alpha(doc, p, 20, name.data());
        p += 20;
        PX_put_data_long(doc, p, 4,
                         static_cast<int>(PX_GregorianToSdn(BirthYear(i), BirthMonth(i), BirthDay(i)) - 1721425));
        p += 4;
        PX_put_data_short(doc, p, 2, static_cast<short>(1 + i % 2));
        p += 2;
        PX_put_data_long(doc, p, 4, static_cast<int>(i));
        p += 4;
        PX_put_data_double(doc, p, 8, 50 + (i % 500) / 10.0);
        PX_put_record(doc, record.data());
    }
    PX_close(doc);
    PX_delete(doc);
}

}  // namespace vdx::exchange::testing
