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

// The upper bound of the Poisson mean when no death is observed (O = 0), by
// the method at the level; the SMR's upper bound is this divided by E, its
// lower bound 0. The multipliers above divide by O and have no value there:
//   exact        -ln(alpha / 2), the exact bound itself;
//   byar         (1 - 1/9 + z/3)^3: Byar's formula holds at O = 0;
//   chisquare    z^2, where the score interval O + z^2/2 + z sqrt(O + z^2/4) is at O = 0;
//   squareroot   (1 + z/2)^2, its formula (sqrt(O + 1) + z/2)^2 at O = 0;
//   wald         the exact bound: the Wald interval works on ln O, which O = 0
//                does not have (its upper bound grows without limit as O
//                goes to 0).
// 0 for a method that is none of these names or a level that is not 90, 95 or 99.
double UpperLimitAtZero(const std::string& method, int16_t level);

}  // namespace vdx
