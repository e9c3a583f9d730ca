// The cells the rate ratios are fitted over: the person-years and deaths by
// exposure category of the study's last person-years run with an exposure
// axis (ComputeCategoryTable, one pass over the main table).
#include "db/exposure_tables.h"
#include "mortality/categories.h"
#include "mortality/rate_ratio_run.h"
#include "state/text_values.h"
#include "state/errors.h"

namespace vdx::mortality {

std::vector<std::string> ExposureCategoryNames(const ProgramState& state) {
    std::vector<std::string> names;
    if (!state.py.computed || !state.Exposure.computed()) return names;
    for (int k = 1; k <= static_cast<int>(state.Exposure.categories.size()); ++k)
        names.push_back(db::CategoryLabel(state.Exposure.axis.bounds, k));
    return names;
}

RateRatioCells RateRatioCellsOf(ProgramState& state, db::Database& workingCopy, const RateRatioRequest& request,
                                Progress& progress) {
    if (ExposureCategoryNames(state).empty()) throw VdxError(err::InvalidProcedureCall, kNoExposureCategories);
    CategoryRequest c;
    c.deathColumn = request.deathColumn;
    c.deathValueText = request.deathValueText;  // no rate table: no expected deaths
    c.causeList = request.causeList;
    c.cause = request.cause;
    const CategoryTable table = ComputeCategoryTable(state, workingCopy, c, progress);
    RateRatioCells out;
    out.categories = table.names;
    out.cells.reserve(table.cells.size());
    // The levels by their labels: "15–19", "1960–1964", the sex by its code.
    auto label = [](const std::vector<int16_t>& bounds, int k) {
        return k >= 1 && static_cast<size_t>(k) + 1 < bounds.size()
                   ? ClassRangeLabel(bounds[static_cast<size_t>(k)], bounds[static_cast<size_t>(k) + 1])
                   : std::to_string(k);
    };
    for (const CategoryCell& cell : table.cells) {
        out.ageNames.try_emplace(cell.ageClass, label(state.AgeBounds, cell.ageClass));
        out.periodNames.try_emplace(cell.period, label(state.CalendarBounds, cell.period));
        out.sexNames.try_emplace(cell.sex, "code " + std::to_string(cell.sex));
    }
    for (const CategoryCell& cell : table.cells)
        out.cells.push_back({cell.ageClass, cell.period, cell.sex, cell.category - 1,
                             static_cast<double>(cell.days) / 365.25, static_cast<double>(cell.deaths)});
    return out;
}

}  // namespace vdx::mortality
