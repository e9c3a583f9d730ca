#include "state/multiplier.h"

#include "state/veldrix_library.h"

#include <cmath>

namespace vdx {

double LevelQuantile(int16_t level)
{
    switch (level) {
    case 90:
        return 1.64485362695147;
    case 95:
        return 1.95996398454005;
    case 99:
        return 2.5758293035489;
    default:
        return 0;
    }
}

double LevelAlpha(int16_t level)
{
    switch (level) {
    case 90:
        return 0.1;
    case 95:
        return 0.05;
    case 99:
        return 0.01;
    default:
        return 0;
    }
}

double GetMultiplier(const std::string& method, const std::string& side, double observed, int16_t level)
{
    const double z = LevelQuantile(level);
    const double alpha = LevelAlpha(level);
    using Export = double (*)(double, double);
    struct Method {
        const char* name;
        Export low;
        Export high;
        bool takesAlpha;
    };
    static const Method methods[] = {
        {"exact", library::MultiplierExactLow, library::MultiplierExactHigh, true},
        {"byar", library::MultiplierByarLow, library::MultiplierByarHigh, false},
        {"chisquare", library::MultiplierChiSquareLow, library::MultiplierChiSquareHigh, false},
        {"squareroot", library::MultiplierSquareRootLow, library::MultiplierSquareRootHigh, false},
        {"wald", library::MultiplierWaldLow, library::MultiplierWaldHigh, false},
    };
    for (const Method& m : methods) {
        if (method != m.name)
            continue;
        const double second = m.takesAlpha ? alpha : z;
        if (side == "low")
            return m.low(observed, second);
        if (side == "high")
            return m.high(observed, second);
        return 0;
    }
    return 0;
}

double UpperLimitAtZero(const std::string& method, int16_t level)
{
    const double z = LevelQuantile(level);
    const double alpha = LevelAlpha(level);
    if (alpha <= 0)
        return 0;
    if (method == "exact" || method == "wald")
        return -std::log(alpha / 2);
    if (method == "byar")
        return std::pow(1.0 - 1.0 / 9.0 + z / 3.0, 3.0);
    if (method == "chisquare")
        return z * z;
    if (method == "squareroot")
        return std::pow(1.0 + z / 2.0, 2.0);
    return 0;
}

}  // namespace vdx
