#include "py/class_bounds.h"

#include <cmath>

#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::py {

void BuildBounds(int16_t from, int16_t to, int16_t step, int16_t& count, std::vector<int16_t>& bounds) {
    if (step == 0) return;
    const double n = (static_cast<double>(to) - from) / step + 1;
    int16_t bounded = 0;
    try {
        bounded = RoundToInt16(n);
    } catch (const VdxError&) {
        bounded = n > 0 ? INT16_MAX : 0;  // cannot happen with the dialog's 3- and 4-character reads
    }
    if (bounded < 0) bounded = 0;  // a step against the direction of the series
    count = bounded;
    bounds.assign(static_cast<size_t>(count) + 1, 0);
    if (count >= 1) bounds[1] = from;
    for (int k = 2; k <= count; ++k)
        bounds[static_cast<size_t>(k)] = static_cast<int16_t>(bounds[static_cast<size_t>(k) - 1] + step);
}

void BuildAgeBounds(ProgramState& state) {
    BuildBounds(state.py.ageFrom, state.py.ageTo, state.py.ageStep, state.py.ageBoundCount,
                state.AgeBounds);
}

void BuildCalendarBounds(ProgramState& state) {
    BuildBounds(state.py.calendarFrom, state.py.calendarTo, state.py.calendarStep,
                state.py.calendarBoundCount, state.CalendarBounds);
}

std::string FirstCharacters(const std::string& text, int n) {
    size_t i = 0;
    int seen = 0;
    while (i < text.size()) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == n) break;
            ++seen;
        }
        ++i;
    }
    return text.substr(0, i);
}

std::optional<int16_t> ReadBoxNumber(const std::string& text, int chars) {
    const double value = Val(FirstCharacters(text, chars));
    try {
        return RoundToInt16(value);
    } catch (const VdxError&) {
        return std::nullopt;
    }
}

}  // namespace vdx::py
