// What Compute > Rate ratios and veldrix-cli rate-ratios ask for: the death
// value, the adjustment factors, the reference category, the level, the
// name of the result; read from the words a user types.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mortality/rate_ratios.h"

namespace vdx::mortality {

struct RateRatioRequest {
    std::string deathColumn;
    std::string deathValueText;  // a code or a group of codes and ranges, as for SMR
    std::string causeList, cause;  // or a cause of a cause list (CategoryRequest)
    bool adjustAge = true;
    bool adjustCalendar = true;
    bool adjustSex = false;
    int reference = 1;    // position of the reference category, from 1
    int16_t level = 95;   // 90, 95 or 99
    std::string name;     // of the result; empty: the next free default
};

// Reads "COLUMN=VALUE" (or "COLUMN" with a cause), "age,calendar,sex" (any of the three, or "none"),
// the reference's position and the level (90, 95, 99 or the error
// probabilities 0.10, 0.05, 0.01) into the request; the words of the first
// problem otherwise.
std::optional<std::string> ReadDeath(RateRatioRequest& request, const std::string& text);
// "LIST:CAUSE": the death value is that cause of the list; the death
// option then names the column alone ("COLUMN").
std::optional<std::string> ReadCause(RateRatioRequest& request, const std::string& text);
// After all options: a death column with a value or a cause, not both.
std::optional<std::string> CheckDeath(const RateRatioRequest& request);
std::optional<std::string> ReadAdjustment(RateRatioRequest& request, const std::string& text);
std::optional<std::string> ReadReference(RateRatioRequest& request, const std::string& text);
std::optional<std::string> ReadLevel(RateRatioRequest& request, const std::string& text);

// The fit's input for the request over the strata cells of the categories.
RateRatioInput MakeRateRatioInput(const RateRatioRequest& request, std::vector<std::string> categories,
                                  std::vector<StrataCell> cells);

}  // namespace vdx::mortality
