// The third axis of Compute > Person-Years as a request: what the dialog's
// group "Exposure axis" and veldrix-cli pyears --by hold, and its checks.
#pragma once

#include <optional>
#include <string>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::py {

// "cumulative:0,1,5,10" into an axis (kind and bounds); nullopt when the
// kind is not one of time-since-hire, duration, cumulative or the bounds are
// not numbers in ascending order.
std::optional<ExposureAxis> ReadAxisClasses(const std::string& text);

// The checks before a run with an axis, each refusal a message in words
// (title "Error"): classes given and ascending, a lag of 0 to 100 years, the
// hire column a column of the main table, the work history registered and
// the id column a column of the main table when the axis needs them. True
// for an axis of kind None.
bool CheckExposureAxis(const ProgramState& state, Interaction& ui, const ExposureAxis& axis);

}  // namespace vdx::py
