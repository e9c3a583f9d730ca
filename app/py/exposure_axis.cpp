#include "py/exposure_axis.h"

#include "db/database.h"
#include "db/exposure_tables.h"
#include "db/work_history_stream.h"
#include "py/py_comp.h"
#include "state/errors.h"

namespace vdx::py {

std::optional<ExposureAxis> ReadAxisClasses(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return std::nullopt;
    ExposureAxis axis;
    axis.kind = db::AxisFromKey(text.substr(0, colon));
    axis.bounds = db::ReadBounds(text.substr(colon + 1));
    if (axis.kind == ExposureAxisKind::None || axis.bounds.empty()) return std::nullopt;
    return axis;
}

bool CheckExposureAxis(const ProgramState& state, Interaction& ui, const ExposureAxis& axis) {
    if (axis.kind == ExposureAxisKind::None) return true;
    auto refuse = [&](const std::string& text) {
        ui.message(text, Buttons::Ok, Icon::Critical, "Error");
        return false;
    };
    if (axis.bounds.empty())
        return refuse("The exposure classes must be lower bounds in ascending order, such as 0,1,5,10,20.");
    if (axis.lagYears < 0 || axis.lagYears > 100) return refuse("The exposure lag must be 0 to 100 whole years.");
    const bool fromColumn = axis.kind == ExposureAxisKind::TimeSinceHire && !axis.hireColumn.empty();
    if (fromColumn) {
        if (!IsMainTableColumn(state, axis.hireColumn)) return refuse(NoColumnText(state, axis.hireColumn));
        return true;
    }
    if (axis.workHistory.empty())
        return refuse(axis.kind == ExposureAxisKind::TimeSinceHire
                          ? "Time since hire needs the hire date: a date column of the main table, or a work "
                            "history whose first period starts on the hire date."
                          : "Duration of employment and cumulative exposure are computed from a work history: "
                            "choose one (Tables > Work history > Add brings it in).");
    if (axis.idColumn.empty() || !IsMainTableColumn(state, axis.idColumn))
        return refuse(axis.idColumn.empty()
                          ? "Choose the column of the main table that holds the person ids the work history names."
                          : NoColumnText(state, axis.idColumn));
    try {
        auto db = db::Database::open(state.WorkingCopyName);
        db::RegisteredWorkHistory(*db, axis.workHistory);
    } catch (const VdxError& e) {
        return refuse(e.description());
    }
    return true;
}

}  // namespace vdx::py
