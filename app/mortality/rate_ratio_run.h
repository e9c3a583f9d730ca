// Compute > Rate ratios and veldrix-cli rate-ratios: the fit over the strata
// cells of the exposure categories, stored as an analysis of the study
// (a row of VdxAnalyses, kind "RateRatios", and the table name +
// "_RateRatios"), read back for the grid, the report and the plot.
// Widget-free.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mortality/rate_ratio_request.h"
#include "mortality/rate_ratios.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::mortality {

inline constexpr const char* kRateRatiosKind = "RateRatios";
inline constexpr const char* kRateRatiosSuffix = "_RateRatios";

// The strata cells the fit runs over: the categories in order and per cell
// its age class, period, sex, category, person-years and deaths.
struct RateRatioCells {
    std::vector<std::string> categories;
    std::vector<StrataCell> cells;
    std::map<int, std::string> ageNames, periodNames, sexNames;  // the levels' labels for the notes
};

// The fit for the request over `cells`, stored as the analysis request.name
// (empty: "RateRatios" + the first free n) in one transaction. A refused
// request or a fit that cannot be made shows its message through `ui` and
// leaves the study as it was: nullopt then. `stored` receives the name.
std::optional<RateRatioResult> RunRateRatios(ProgramState& state, Interaction& ui, const RateRatioRequest& request,
                                             const RateRatioCells& cells, std::string* stored = nullptr);

// The message for a study without person-years by exposure category.
inline constexpr const char* kNoExposureCategories =
    "This study holds no person-years by exposure category: rate ratios need a person-years run with an exposure "
    "axis (Compute > Person-Years, Exposure axis).";

// The data source (rate_ratio_source.cpp): the names of the exposure
// categories of the study's last person-years run with an exposure axis,
// none without one; and the strata cells of those categories with the
// deaths of the request's death value. Throws VdxError with a message in
// words (no categories, a death value that is no code or group, a date that
// cannot be used).
std::vector<std::string> ExposureCategoryNames(const ProgramState& state);
RateRatioCells RateRatioCellsOf(ProgramState& state, db::Database& workingCopy, const RateRatioRequest& request,
                                Progress& progress);

// Compute > Rate ratios after its dialog, veldrix-cli rate-ratios: the
// cells from the data source, then the run above.
std::optional<RateRatioResult> RunRateRatios(ProgramState& state, Interaction& ui, const RateRatioRequest& request,
                                             std::string* stored);

// A stored analysis: its settings (death, adjust, reference, level, cells,
// note...) in order and the result as the run gave it.
struct StoredRateRatios {
    std::string name, created;
    std::vector<std::pair<std::string, std::string>> settings;
    RateRatioResult result;
    std::string setting(const std::string& key) const;
};
// Throws VdxError when the analysis or its table cannot be read.
StoredRateRatios ReadRateRatioAnalysis(db::Database& db, const std::string& name);
bool IsRateRatioAnalysis(db::Database& db, const std::string& name);

// The stored adjustment ("age,calendar", "none") in words: "age class,
// calendar period", "nothing".
std::string AdjustedForWords(const std::string& adjustSetting);

// The report: the settings, the table (rate ratios and standardised rates
// with their bounds), the trend and heterogeneity lines and the notes (cells
// and levels left out, categories without a ratio) in words. Lines end in CR LF.
std::string BuildRateRatioReport(const ProgramState& state, const std::string& name);

}  // namespace vdx::mortality
