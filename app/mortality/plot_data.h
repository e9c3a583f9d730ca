// What the plots show, without widgets: the SMR of every SMR project for the
// forest plot, and a project's observed and expected deaths summed by age
// class and by calendar period.
#pragma once

#include <string>
#include <vector>

#include "mortality/strata_table.h"
#include "state/state.h"

namespace vdx::mortality {

// One SMR project as its SMR table stores it: SMR and bounds as plain ratios.
struct ForestRow {
    std::string project;
    double observed = 0, expected = 0, smr = 0, low = 0, high = 0;
    std::string level;       // "95" ...
    bool outOfDate = false;  // made from person-years computed again since (db::CheckProjectRun)
    // The project's settings as its SMR table stores them.
    std::string method, pyTable, rateTable, deathColumn, deathValues;
};

// A row of an analysis's forest plot (a cause, a category): a ratio or bound
// that is not defined (NaN) is drawn as 0, the plot's "no ratio".
ForestRow AnalysisForestRow(std::string label, double observed, double expected, double smr, double low,
                            double high, std::string level);

// Every SMR project of the open project file, in the order of
// VdxSystemProjects (SRR projects have no ratio and are left out). Throws
// VdxError when a project's SMR table cannot be read.
std::vector<ForestRow> ReadForestRows(const ProgramState& state);

// Observed and expected deaths of a stratum table summed over the periods of
// each age class (byAge) and over the age classes of each period (byPeriod).
struct MarginalSums {
    std::vector<std::string> labels;
    std::vector<double> observed, expected;
};
MarginalSums SumsByAgeClass(const StrataTable& table);
MarginalSums SumsByPeriod(const StrataTable& table);
// A table out of date has no strata: its stored totals as one entry.
MarginalSums StoredTotals(const StrataTable& table);

}  // namespace vdx::mortality
