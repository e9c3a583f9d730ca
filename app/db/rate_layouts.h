// Rate tables in long form: one row per sex x age x year as statistics
// offices publish them. A long rate table is a rate table like the grids
// (registered in VdxSystemRateTables) plus one row in VdxRateLayouts naming
// its columns and the unit of its rates; a table without a row is a grid
// and is handled exactly as before. VdxRateLayouts is created when the
// first long table is added, so a study without one keeps its tables as
// they were.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vdx::db {

class Database;

inline constexpr const char* kVdxRateLayouts = "VdxRateLayouts";

// The columns of a long rate table. Age: the start of the age class in
// years; year: the start of the calendar period; sex and cause optional
// ("" when the table has none); rate: deaths per `unit` person-years
// (1, 1,000 or 100,000), stored as read and divided when used.
struct RateLayout {
    std::string ageColumn, yearColumn, sexColumn, causeColumn, rateColumn;
    double unit = 1;
};

// The layout recorded for `table`; nullopt for a grid (no row, or no
// VdxRateLayouts table).
std::optional<RateLayout> ReadRateLayout(Database& db, const std::string& table);

// Records `table` as long with `layout` (creating VdxRateLayouts when it is
// missing). Runs inside the caller's transaction.
void WriteRateLayout(Database& db, const std::string& table, const RateLayout& layout);

// Removes the row of `table`, when there is one (the table was removed).
void DeleteRateLayout(Database& db, const std::string& table);

// Checks the columns of a long table as it is stored: each named column
// exists (the sex and cause only when named), age, year and rate hold
// numbers (or text reading as one), no age, year or rate is empty, no rate
// is negative or not a number, and no sex x cause x age x year appears
// twice. Throws DataError in words naming the column, the row and the value.
// With checkRates false the rates are left to the caller (an SMR run names
// a bad rate by its sex, age and year).
void CheckLongRateTable(Database& db, const std::string& table, const RateLayout& layout, bool checkRates = true);

}  // namespace vdx::db
