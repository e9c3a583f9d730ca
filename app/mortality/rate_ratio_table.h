// The rate-ratio table as text: the columns category, observed,
// person_years, rate_ratio, low, high, std_rate, std_ratio, std_low,
// std_high, one row per category (the reference first), then the lines
// trend,<ratio per category>,<low>,<high>,<chi-square>,<p> and
// heterogeneity,<chi-square>,<df>,<p>. Numbers in full precision (%.17g); a
// value that cannot be estimated is an empty field. Used by veldrix-cli
// rate-ratios.
#pragma once

#include <string>

#include "mortality/rate_ratios.h"

namespace vdx::mortality {

std::string RateRatioTable(const RateRatioResult& result, char separator = ',');

}  // namespace vdx::mortality
