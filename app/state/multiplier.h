// Selection of the confidence-bound multiplier for the SMR computation and
// the SMR calculator.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vdx {

// The methods of an SMR's confidence bounds, in the order the dialogs list them.
enum class IntervalMethod { Exact, Byar, ChiSquare, SquareRoot, Wald };
inline constexpr std::array<IntervalMethod, 5> kIntervalMethods{IntervalMethod::Exact, IntervalMethod::Byar,
                                                                IntervalMethod::ChiSquare, IntervalMethod::SquareRoot,
                                                                IntervalMethod::Wald};

// The name a method is listed, stored and reported by: "Exact", "Byar",
// "Chi Square", "Square Root", "Wald".
const char* IntervalMethodName(IntervalMethod method);
// The method of a listed name (compared exactly, letter case included);
// none for any other text.
std::optional<IntervalMethod> IntervalMethodNamed(const std::string& name);

enum class BoundSide { Low, High };

// The two-sided standard normal quantile of a level in per cent (90, 95 or
// 99) and its error probability alpha; 0 for any other level.
double LevelQuantile(int16_t level);
double LevelAlpha(int16_t level);

// The multiplier of the method's bound on `side` for the observed count at
// the level, from the computation library: the exact method gets alpha, the
// others z. Throws VdxError when the library or the export is missing.
double GetMultiplier(IntervalMethod method, BoundSide side, double observed, int16_t level);

// The upper bound of the Poisson mean when no death is observed (O = 0), by
// the method at the level; the SMR's upper bound is this divided by E, its
// lower bound 0. The multipliers above divide by O and have no value there:
//   Exact        -ln(alpha / 2), the exact bound itself;
//   Byar         (1 - 1/9 + z/3)^3: Byar's formula holds at O = 0;
//   Chi Square   z^2, where the score interval O + z^2/2 + z sqrt(O + z^2/4) is at O = 0;
//   Square Root  (1 + z/2)^2, its formula (sqrt(O + 1) + z/2)^2 at O = 0;
//   Wald         the exact bound: the Wald interval works on ln O, which O = 0
//                does not have (its upper bound grows without limit as O
//                goes to 0).
// 0 for a level that is not 90, 95 or 99.
double UpperLimitAtZero(IntervalMethod method, int16_t level);

}  // namespace vdx
