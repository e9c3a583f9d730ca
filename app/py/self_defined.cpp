#include "py/self_defined.h"

#include <cmath>
#include <optional>

#include "state/messages.h"
#include "state/text_values.h"

namespace vdx::py {

std::string SelfDefinedCaption(bool calendar) {
    return calendar ? "Self defined calendar classes" : "Self defined age classes";
}

std::string SelfDefinedFormat(bool calendar) {
    return calendar ? "<Classes|<1st January|<31st December" : "<Classes|<Begin (incl.)|<End (incl.)";
}

SelfDefinedGrid LoadSelfDefined(const ProgramState& state, bool calendar) {
    const auto& bounds = calendar ? state.CalendarBounds : state.AgeBounds;
    int count = calendar ? state.py.calendarBoundCount : state.py.ageBoundCount;
    // Only the bounds the list holds can be shown.
    if (count > static_cast<int>(bounds.size()) - 1) count = static_cast<int>(bounds.size()) - 1;
    SelfDefinedGrid grid;
    for (int i = 1; i < count && i <= kSelfDefinedRows; ++i) {
        grid.cell(i, kBeginColumn) = std::to_string(bounds[static_cast<size_t>(i)]);
        grid.cell(i, kEndColumn) = std::to_string(bounds[static_cast<size_t>(i) + 1] - 1);
    }
    return grid;
}

namespace {

// The number a cell stands for, or nullopt when it is not acceptable.
// Ages: a number of at least 0. Calendar periods: "01/01/" + text reads as
// a date, and the text is that date's year itself ("70" would read as 1970
// but give the bound 70, so it is refused).
std::optional<double> CellNumber(const std::string& text, bool calendar) {
    const auto number = ReadNumber(text);
    if (!number) return std::nullopt;
    if (!calendar) return *number >= 0 ? number : std::nullopt;
    const auto date = ReadDate("01/01/" + text);
    if (!date) return std::nullopt;
    if (DateOfDayNumber(*date).year != *number) return std::nullopt;
    return number;
}

}  // namespace

SelfDefinedCheck SelfDefinedOk(ProgramState& state, Interaction& ui, bool calendar,
                               const SelfDefinedGrid& grid) {
    const int message = calendar ? msg::InconsistentCalendarClasses : msg::InconsistentAgeClasses;
    auto failWith = [&](const std::string& text, int row, int column) {
        ui.message(text, Buttons::Ok, Icon::Critical, "Error");
        return SelfDefinedCheck{message, row, column};
    };
    auto fail = [&](int row, int column) { return failWith(Message(message), row, column); };

    int m = 0;
    while (m < kSelfDefinedRows && !grid.cell(m + 1, kBeginColumn).empty()) ++m;
    if (m == 0) return fail(1, kBeginColumn);

    std::vector<double> begin(static_cast<size_t>(m) + 1), end(static_cast<size_t>(m) + 1);
    for (int r = 1; r <= m; ++r) {
        const auto b = CellNumber(grid.cell(r, kBeginColumn), calendar);
        if (!b) return fail(r, kBeginColumn);
        const auto e = CellNumber(grid.cell(r, kEndColumn), calendar);
        if (!e) return fail(r, kEndColumn);
        // Classes are whole years: 20.5 is refused, not rounded.
        for (const auto& [value, column] : {std::pair{*b, kBeginColumn}, std::pair{*e, kEndColumn}})
            if (value != std::floor(value))
                return failWith("Age classes are whole years: row " + std::to_string(r) + " holds " +
                                    NumberText(value) + " in " + (column == kBeginColumn ? "Begin" : "End") +
                                    ", which is not a whole number.",
                                r, column);
        begin[static_cast<size_t>(r)] = *b;
        end[static_cast<size_t>(r)] = *e;
    }
    for (int r = 2; r <= m; ++r)
        if (begin[static_cast<size_t>(r)] - end[static_cast<size_t>(r) - 1] != 1) return fail(r, kBeginColumn);
    for (int r = 1; r <= m; ++r)
        if (end[static_cast<size_t>(r)] < begin[static_cast<size_t>(r)]) return fail(r, kEndColumn);

    // The bounds are 16-bit numbers: the last End + 1 must fit.
    std::vector<int16_t> bounds(static_cast<size_t>(m) + 2, 0);
    for (int r = 1; r <= m; ++r) {
        const double rounded = std::nearbyint(begin[static_cast<size_t>(r)]);  // halves to even
        if (rounded > INT16_MAX) return fail(r, kBeginColumn);
        bounds[static_cast<size_t>(r)] = static_cast<int16_t>(rounded);
    }
    const double last = std::nearbyint(end[static_cast<size_t>(m)] + 1);
    if (last > INT16_MAX) return fail(m, kEndColumn);
    bounds[static_cast<size_t>(m) + 1] = static_cast<int16_t>(last);

    if (calendar) {
        state.py.calendarBoundCount = static_cast<int16_t>(m + 1);
        state.CalendarBounds = std::move(bounds);
    } else {
        state.py.ageBoundCount = static_cast<int16_t>(m + 1);
        state.AgeBounds = std::move(bounds);
    }
    return {};
}

}  // namespace vdx::py
