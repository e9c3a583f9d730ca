// What an analysis of causes shows besides its table: the report and the
// rows of its forest plot, both read from the stored analysis (VdxAnalyses
// and its table Name + "_Causes"), so that they show what the run stored.
#pragma once

#include <string>
#include <vector>

#include "mortality/cause_list.h"
#include "mortality/plot_data.h"
#include "state/state.h"

namespace vdx::mortality {

struct StoredCauses {
    std::string name, created;
    std::vector<std::pair<std::string, std::string>> settings;  // list, death, rate, pytable, level, method, revisions
    std::vector<CauseRow> rows;                                // SMR and bounds NaN where not defined
    std::string setting(const std::string& key) const;
};
// Throws VdxError when the analysis or its table cannot be read.
StoredCauses ReadCausesAnalysis(db::Database& db, const std::string& name);

// The report: the settings, then one line per cause (observed, expected,
// SMR and bounds times state.SmrNullValue), the closing row, and what "*"
// and "not in the list" mean. Lines end in CR LF.
std::string BuildCausesReport(const ProgramState& state, const std::string& name);

// One forest row per cause of the list; the closing row has no expected
// deaths and is left out.
std::vector<ForestRow> CauseForestRows(const ProgramState& state, const std::string& name);

}  // namespace vdx::mortality
