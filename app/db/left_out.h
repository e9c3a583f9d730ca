// The persons a user chose to leave out after Tools > Check cohort: rows of
// the main data table with the code of their (first) problem, stored in the
// table VdxLeftOut (Row INTEGER, Code TEXT), created when a list is first
// kept, and the main table's name in VdxStudySettings. A study without the
// table leaves nobody out. Every run that reads the main table (person-years,
// deaths counts, categories, rate ratios) skips exactly these rows, and its
// summary and reports say how many and why.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vdx::db {

class Database;

inline constexpr const char* kVdxLeftOut = "VdxLeftOut";

struct LeftOutPersons {
    std::map<int64_t, std::string> rows;  // main-table row (from 1) -> problem code

    bool empty() const { return rows.empty(); }
    int64_t count() const { return static_cast<int64_t>(rows.size()); }
    bool contains(int64_t row) const { return rows.count(row) != 0; }
    // Persons per problem code, codes in alphabetical order.
    std::map<std::string, int64_t> countsByCode() const;
    // 16 hex digits over the rows and codes; "" for an empty list.
    std::string fingerprint() const;
};

// Replaces the list of `mainTable` in the caller's transaction, if any. An
// empty list removes the table: runs are normal again.
void StoreLeftOut(Database& db, const std::string& mainTable, const std::map<int64_t, std::string>& rows);

// The list kept for `mainTable`; empty when there is none or it was kept for
// another main table.
LeftOutPersons ReadLeftOut(Database& db, const std::string& mainTable);

// The person-years run records the list it applied (its fingerprint and
// LeftOutSentence) in VdxStudySettings; for a study without a list nothing
// is written.
void RecordLeftOutOfRun(Database& db, const LeftOutPersons& persons);
// The sentence the last person-years run recorded ("" when none).
std::string LeftOutOfRun(Database& db);

// The list a deaths count applies: the one kept for `mainTable`, which must
// be the one the person-years run applied. Throws VdxError (saying to compute
// the person-years again) when the list changed since that run.
LeftOutPersons LeftOutForCount(Database& db, const std::string& mainTable);

// "2 persons left out after the cohort check: 1 date-missing, 1 period-overlap."
// Empty when nobody is left out.
std::string LeftOutSentence(const LeftOutPersons& persons);

}  // namespace vdx::db
