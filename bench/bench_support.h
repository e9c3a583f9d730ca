// What the benchmarks that generate a cohort share: the clock, a stop with
// the interaction's messages, a random series that is the same on every
// machine, the dates of a generated person and the cohort of the
// person-years benchmarks.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "db/database.h"
#include "state/scripted_interaction.h"
#include "state/text_values.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Stops the benchmark, naming what failed and what the program said.
[[noreturn]] inline void Die(const std::string& what, const vdx::ScriptedInteraction& ui) {
    std::cerr << program_invocation_short_name << ": " << what << "\n";
    for (const auto& m : ui.messages) std::cerr << "  " << m.text << "\n";
    std::exit(1);
}

// splitmix64, for a cohort that is the same on every machine.
struct Random {
    uint64_t s;
    uint64_t next() {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int64_t between(int64_t lo, int64_t hi) {
        return lo + static_cast<int64_t>(next() % static_cast<uint64_t>(hi - lo + 1));
    }
};

inline int64_t Day(int year, int month, int day) { return static_cast<int64_t>(vdx::DayNumber(year, month, day)); }

// The dates of one generated person, drawn in this order: born 1900-1960,
// entering 1950-1990 at 16 or older, followed up to 50 years and at most
// to the end of 2020.
struct PersonDates {
    int64_t birth, entry, exit;
};
inline PersonDates DrawPersonDates(Random& rng) {
    const int64_t birth = rng.between(Day(1900, 1, 1), Day(1960, 12, 31));
    const int64_t entry = std::max(rng.between(Day(1950, 1, 1), Day(1990, 12, 31)), birth + 16 * 365);
    const int64_t exit = std::min(Day(2020, 12, 31), entry + rng.between(0, 50 * 365));
    return {birth, entry, exit};
}

// The cohort of bench_pyears and bench_exposure: table Cohort (ID, DOB, DOH,
// DOE, DOX, SEX) of `persons` persons, each hired up to 10 years before
// entry, written in the caller's transaction.
inline void AddHiredCohort(vdx::db::Database& d, int persons, const vdx::ScriptedInteraction& ui) {
    using vdx::FieldType;
    d.createTable({"Cohort",
                   0,
                   {{"ID", FieldType::Long, 0},
                    {"DOB", FieldType::Date, 0},
                    {"DOH", FieldType::Date, 0},
                    {"DOE", FieldType::Date, 0},
                    {"DOX", FieldType::Date, 0},
                    {"SEX", FieldType::Integer, 0}}});
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(d.handle(), "INSERT INTO Cohort VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &insert, nullptr);
    Random rng{1950};
    for (int i = 1; i <= persons; ++i) {
        const PersonDates p = DrawPersonDates(rng);
        const int64_t hire = p.entry - rng.between(0, 10 * 365);
        sqlite3_bind_int64(insert, 1, i);
        sqlite3_bind_int64(insert, 2, p.birth);
        sqlite3_bind_int64(insert, 3, hire);
        sqlite3_bind_int64(insert, 4, p.entry);
        sqlite3_bind_int64(insert, 5, p.exit);
        sqlite3_bind_int64(insert, 6, 1 + static_cast<int64_t>(rng.next() % 2));
        if (sqlite3_step(insert) != SQLITE_DONE) Die("insert failed", ui);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
}

}  // namespace bench
