// Selection of the confidence-bound multiplier for the SMR computation and
// the SMR calculator.
#pragma once

#include <cstdint>
#include <string>

namespace vdx {

// The two-sided standard normal quantile of a level in per cent (90, 95 or
// 99) and its error probability alpha; 0 for any other level.
double LevelQuantile(int16_t level);
double LevelAlpha(int16_t level);

// The multiplier of method "exact", "byar", "chisquare", "squareroot" or
// "wald" and side "low" or "high" (compared exactly, letter case included)
// for the observed count at the level, from the computation library: the
// exact method gets alpha, the others z. Returns 0 without calling the
// library when the method or the side is none of these names. Throws
// VdxError when the library or the export is missing.
double GetMultiplier(const std::string& method, const std::string& side, double observed, int16_t level);

}  // namespace vdx
