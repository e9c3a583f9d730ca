// What an analysis of SMR by exposure category shows besides its table: the
// report and the rows of its plot, both read from the stored analysis
// (VdxAnalyses and its table Name + "_Categories"), so that they show what
// the run stored.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "mortality/plot_data.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::mortality {

struct StoredCategories {
    std::string name, created;
    std::vector<std::pair<std::string, std::string>> settings;  // rate, death, level, method, axis, below, leftout
    // One row per category, then "total"; SMR and bounds NaN where not defined.
    struct Row {
        std::string category;
        double days = 0, personYears = 0, observed = 0, expected = 0, smr = 0, low = 0, high = 0;
    };
    std::vector<Row> rows;
    std::string setting(const std::string& key) const;
};
// Throws VdxError when the analysis or its table cannot be read.
StoredCategories ReadCategoriesAnalysis(db::Database& db, const std::string& name);

// The report: the axis, the rate table, the death value, the bounds, one
// line per category and the total (person-years, observed, expected, SMR and
// bounds times state.SmrNullValue), the persons left out after the cohort
// check and the person-days below the first bound. Lines end in CR LF.
std::string BuildCategoriesReport(const ProgramState& state, const std::string& name);

// One forest row per category and the total, for the plot.
std::vector<ForestRow> CategoryForestRows(const ProgramState& state, const std::string& name);

}  // namespace vdx::mortality
