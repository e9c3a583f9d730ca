// The plots of a study: the forest plot of every SMR project, observed
// versus expected deaths of one project by age class and by calendar period,
// and the person-years by age class and calendar period as a heat map. What
// they plot comes from app/mortality (plot_data.h, strata_table.h); here it
// becomes charts (chart.h), which chart_painter.h draws and plot_file.h
// saves.
#pragma once

#include <string>

#include <vector>

#include "mortality/plot_data.h"
#include "plots/chart.h"
#include "state/state.h"

namespace vdx::plots {

// Causes: the forest plot of one analysis of causes, a row per cause;
// Categories: that of one analysis of categories, a row per category and the
// total; RateRatios: the rate ratios of one analysis with their bounds, a row
// per exposure category.
enum class PlotKind { Forest, ObservedExpected, PersonYears, Causes, Categories, RateRatios };

// The plot kinds by their veldrix-cli names: "forest", "observed-expected",
// "person-years", "causes", "categories", "rate-ratios".
bool PlotKindFromName(const std::string& name, PlotKind& kind);

// The charts of one plot (observed versus expected is two charts: by age
// class, by calendar period). `project` is used by ObservedExpected,
// Causes, Categories and RateRatios (the analysis) only.
// Throws VdxError when the project file cannot give what the plot needs (no
// SMR project, no person-years...).
Plot BuildPlot(const ProgramState& state, PlotKind kind, const std::string& project);

// The forest plot of the given SMR projects (as ReadForestRows gives them),
// SMR and bounds times `nullValue`.
Plot ForestPlot(const std::vector<mortality::ForestRow>& rows, double nullValue);

}  // namespace vdx::plots
