// The rate-ratio table as text: the columns category, observed,
// person_years, rate_ratio, low, high, std_rate, std_ratio, std_low,
// std_high, one row per category (the reference first), then the lines
// trend,<ratio per category>,<low>,<high>,<chi-square>,<p> and
// heterogeneity,<chi-square>,<df>,<p>. Numbers in full precision (%.17g); a
// value that cannot be estimated is an empty field. Used by veldrix-cli
// rate-ratios.
#pragma once

#include <string>
#include <vector>

#include "mortality/rate_ratios.h"

namespace vdx::mortality {

std::string RateRatioTable(const RateRatioResult& result, char separator = ',');

// The strata cells the fit runs over, one line each: age_class, period, sex,
// category (its name), person_years, deaths (veldrix-cli rate-ratios --cells).
std::string StrataCellsText(const std::vector<std::string>& categories, const std::vector<StrataCell>& cells,
                            char separator = ',');

}  // namespace vdx::mortality
