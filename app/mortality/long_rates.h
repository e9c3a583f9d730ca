// Expected deaths from a long rate table (one row per sex x age x year), at
// the rates' own resolution: each person's follow-up is split by the
// person-years kernel over the union of the display class bounds and the
// rate table's age and year bounds, so that every fine cell lies in one
// display cell and one rate cell; E += days / 365.25 x rate of the person's
// own sex. The days are summed per sex and fine cell during the pass that
// counts the deaths and multiplied by the rates after it, in cell order.
//
// The rate table's last age class is open upward; its last period extends
// as far past the last year as the period before it is wide (one year for a
// table of one year). A person-day before the first age or year, after the
// last period, or in a cell the table does not give stops the run naming
// the sex, age and year; a rate that is empty, negative or not a number
// stops it before the pass, naming its sex, age and year too.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/rate_layouts.h"
#include "state/veldrix_library.h"

namespace vdx::db {
class Database;
}

namespace vdx::mortality {

class LongRateExpected {
public:
    // Reads `table` by `layout` (rates divided by its unit). displayAges /
    // displayYears: the class bounds of the person-years run (ages in years,
    // calendar years). Throws DataError for a table that cannot be used.
    LongRateExpected(db::Database& db, const std::string& table, const db::RateLayout& layout,
                     const std::vector<double>& displayAges, const std::vector<int>& displayYears);

    bool bySex() const { return !sexCodes_.empty(); }
    // The sexes in the order of the rate table's codes (one, "", without sex).
    const std::vector<std::string>& sexCodes() const { return sexCodes_; }
    // The index of a person's sex code (its text, numbers as NumberText), -1
    // when the table gives no rates for it. 0 when the table has no sex.
    int sexIndex(const std::string& code) const;
    // The same for a code read as a number (no text made per person).
    int sexIndex(double code) const;

    // The pass: one person's follow-up from start to exit (day numbers).
    void addPerson(int sex, double start, double exit, double birth);
    // A death in display cell `cell` (1-based, age class inner).
    void addDeath(int sex, int32_t cell);

    // After the pass: throws DataError naming the sex, age and year of the
    // first person-day without a usable rate; else the totals below.
    void finish();
    double expected() const { return expected_; }
    // Per sex (sexCodes order; one entry without sex) and display cell
    // (age class inner, 0-based): days, deaths and expected deaths.
    struct SexCells {
        std::vector<double> days, expected;
        std::vector<int64_t> deaths;
    };
    const std::vector<SexCells>& bySexCells() const { return sexCells_; }
    int displayAges() const { return displayA_; }
    int displayPeriods() const { return displayC_; }

private:
    enum Status : unsigned char { Ok = 0, NoCell = 1 };
    std::string table_;
    std::vector<std::string> sexCodes_;
    std::map<std::string, int> sexIndex_;
    std::vector<std::pair<double, int>> numericSex_;  // the codes that read as numbers
    std::vector<double> fineAges_, fineYears_;  // lower bounds, 0-based classes, last entry the upper end
    int fineA_ = 0, fineC_ = 0, displayA_ = 0, displayC_ = 0;
    std::vector<int32_t> toDisplay_;  // fine cell -> display cell (0-based)
    std::vector<double> rate_;        // [sex][fine cell]
    std::vector<unsigned char> status_;
    std::vector<double> days_;            // [sex][fine cell]
    std::vector<int64_t> deaths_;         // [sex][display cell]
    std::vector<double> kernelAges_, kernelDays_;
    std::unique_ptr<library::Strata> strata_;
    std::vector<int32_t> cellIndex_;
    std::vector<double> cellDays_;
    double expected_ = 0;
    std::vector<SexCells> sexCells_;
};

// A project on a long rate table: project + "_Cells" (Sex TEXT, AgeClass
// LONG, Period LONG, Deaths DOUBLE, Days DOUBLE, Expected DOUBLE), one row
// per sex x age class x period of the person-years classes ("" as the sex
// when the rates have none), written with the project. The stratum table
// and the report's lines per sex read it. Projects on grids have none.
inline constexpr const char* kCellsSuffix = "_Cells";
void StoreCellsTable(db::Database& db, const std::string& project, const LongRateExpected& rates);

struct SexSmrLine {
    std::string sex;
    double observed = 0, expected = 0, personYears = 0;
};
// The totals per sex of the project's "_Cells" table in its order; empty
// when the project has none or its rates are not by sex.
std::vector<SexSmrLine> ReadSexTotals(db::Database& db, const std::string& project);

// The sex code of a value as the rate table and the persons are matched:
// a number as NumberText, text trimmed.
std::string SexCodeText(const std::string& text);

}  // namespace vdx::mortality
