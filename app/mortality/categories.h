// SMR by exposure category: the observed deaths of the last person-years
// run's categories (each death in the class of its day, as the person-years
// are split), the expected deaths from a grid rate table, and per category
// the SMR and its bounds, with a total over the categories. Widget-free: the
// dialog Compute > SMR by category, veldrix-cli categories and the rate-ratio
// and study-report commands call these functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::mortality {

struct CategoryRequest {
    std::string rateTable;       // a grid or long rate table of the study; "": no expected deaths (rate ratios)
    std::string deathColumn;     // a numeric or text column of the main table
    std::string deathValueText;  // a code or a group of codes and ranges ("160-165, 170", "C33-C34, C45")
    // Or a cause of a cause list (then deathValueText is not read): the
    // list's name (a registered list or "default") and the cause's, its
    // deaths read by revision as Compute > SMR for a cause list reads them.
    std::string causeList, cause;
    std::string sexColumn;       // long rates by sex: each person's sex ("" the run's sex column)
    std::string levelText = "0.05";  // "0.01", "0.05", "0.10"
    std::string method = "Byar";     // as the SMR dialog lists them
};

// One row of the table: a category, or the total over the categories. The
// SMR and its bounds are absent when nothing is expected.
struct CategoryRow {
    std::string category;  // "0-1", "40+", "total"
    int64_t days = 0;
    double personYears = 0;  // days / 365.25
    int64_t observed = 0;
    double expected = 0;
    std::optional<double> smr, low, high;
};

// A stratum of one category: age class, calendar period, sex code (0 for
// all persons in a study without the stratification by sex).
struct CategoryCell {
    int ageClass = 0, period = 0, sex = 0, category = 0;  // classes from 1
    int64_t days = 0;
    int64_t deaths = 0;
    double expected = 0;
};

struct CategoryTable {
    std::string axis;                // "Cumulative", "Duration", "Since hire"
    std::vector<std::string> names;  // the categories in order ("0-1", ...)
    std::vector<CategoryRow> rows;   // one per category, in order
    CategoryRow total;               // over the categories
    std::vector<CategoryCell> cells; // by sex when the study is stratified by sex
    int64_t daysBelow = 0;           // person-days below the first bound, in no category
    std::string leftOut;             // the persons left out after the cohort check, in words ("" none)
    std::string analysis;            // the name RunCategories stored it under
};

// The death value in words for the stored settings and reports: the code
// or group, or "the cause 'CAUSE' of the list LIST".
std::string DeathValueWords(const std::string& valueText, const std::string& causeList, const std::string& cause);
// Reads "LIST:CAUSE" into the two names; false for a text without both.
bool ReadCauseWords(const std::string& text, std::string& causeList, std::string& cause);

// The table for the request from the study's last person-years run with an
// exposure axis (state.Exposure) and one pass over the main table. Throws
// VdxError with a message in words: no categories, a rate table that does
// not conform, a rate or date that cannot be used, a death value that is no
// code or group.
// The deaths are counted by the SMR's one pass (CountDeathClasses), a
// death group on a text column read as the SMR reads it; a long rate table
// gives the expected deaths at its own resolution (by the persons' sex when
// it has sex), so that the total equals the SMR of the whole cohort. With
// long rates not by the run's sex column, `cells` hold all persons only.
CategoryTable ComputeCategoryTable(ProgramState& state, db::Database& workingCopy, const CategoryRequest& request,
                                   Progress& progress);

// Compute > SMR by category after its dialog: the table computed and stored
// as the analysis `name` (a row of VdxAnalyses, kind "Categories", and the
// table name + "_Categories"), in one transaction; then its entry in the
// tree and ProjectChanged. A refused or failed request shows its message
// and changes nothing; returns false then. `name` empty: "Categories" + n.
bool RunCategories(ProgramState& state, Interaction& ui, const CategoryRequest& request, std::string name,
                   CategoryTable* result = nullptr);

// The analyses of kind "Categories" of the study, in the order they were made.
std::vector<std::string> CategoryAnalyses(db::Database& workingCopy);

// The columns of the command line's output, as CSV or TSV text with a header.
std::string CategoryTableText(const CategoryTable& table, char separator);

}  // namespace vdx::mortality
