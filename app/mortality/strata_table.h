// The stratum table of an SMR project: one row per age class and calendar
// period with its person-years, observed deaths, reference rate, expected
// deaths and O/E, and a totals row that repeats the project's O, E and SMR.
// Derived from what the project file holds (the person-years cells, the
// project's deaths table and its rate table); nothing is stored. The SMR run
// reads its cells and sums its expected deaths with the same functions, so
// the totals agree with the report to the last digit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/navigator_commands.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::mortality {

// The cells of person-years table `selector` (1 all persons, 2 and 3 the sex
// codes) from VdxPyValues in whole days, age class outer, period inner.
// Throws VdxError when VdxPyValues holds too few cells or a cell is no number.
std::vector<int64_t> ReadPersonDays(db::Database& db, int selector, int ages, int periods);

// Message 34 with both shapes: the rate table's rows and columns and the
// person-years tables' age classes and periods.
std::string RateShapeMessage(const std::string& rateTable, int64_t rows, int columns, int ages, int periods);

// The rates of a rate table (one row per age class, one column per period),
// age class outer, period inner. Throws VdxError when the table does not
// conform (message 34) or a rate is empty, not a number or negative.
std::vector<double> ReadRates(db::Database& db, const std::string& rateTable, int ages, int periods);

// Person-years times rate of one stratum.
double ExpectedInStratum(int64_t days, double rate);
// The expected deaths of all strata, summed age class by age class, periods inner.
double ExpectedDeaths(const std::vector<int64_t>& days, const std::vector<double>& rates);

struct Stratum {
    int ageClass = 0;  // 1..A-1
    int period = 0;    // 1..C-1
    int64_t days = 0;
    int32_t observed = 0;
    double rate = 0;
    double expected = 0;
    std::string sex;  // a project on rates by sex: the stratum's sex code
};

struct StrataTable {
    std::string project;
    int pyTable = 1;  // 1 all persons, 2 and 3 the sex codes
    int16_t sexCode = 0;
    // A project on a long rate table by sex: one stratum per sex x age class
    // x period, each with its sex (the rate shown: expected / person-years).
    bool sexRows = false;
    std::vector<std::string> ageLabels;     // "15–19" per age class (ClassRangeLabel)
    std::vector<std::string> periodLabels;  // "1950–1954" per period
    std::vector<Stratum> strata;            // age class outer, period inner
    int64_t totalDays = 0;
    int64_t observedTotal = 0;
    double expectedTotal = 0;
    // The person-years were computed again after the project was made: no
    // strata and no labels, the totals as the project stores them.
    bool outOfDate = false;
    double storedPersonYears = 0, storedSmr = 0;
};

// The stratum table of SMR project `project` of the open project file; for
// a project whose person-years run is gone (see db::CheckProjectRun), its
// stored totals, marked out of date. Throws VdxError when the project is
// unknown, is not an SMR project, or its tables cannot be read.
StrataTable BuildStrataTable(const ProgramState& state, const std::string& project);

// The table as text: a header row, one row per stratum and the totals row.
// Columns "Age class", "Calendar period", ["Sex",] "Person-years",
// "Observed", "Rate", "Expected", "O/E" (O/E times SmrNullValue, as the
// report scales the SMR; empty where nothing is expected, "not defined" in
// the totals row). Numbers in full (up to 15 significant digits). A table
// out of date has the header, the stored totals and a row "Out of date"
// whose third column says why.
std::vector<std::vector<std::string>> StrataRows(const StrataTable& table, double nullValue);

// A click on a project's "Strata" node: the table in the result grid (row
// labels the age class and period), shown as the result grid; its figures
// show with fixed decimals (ResultGridText::decimals), the cells keep them
// in full.
db::ResultGridText ShowStrata(ProgramState& state, const std::string& project);

}  // namespace vdx::mortality
