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

const char* IntervalMethodName(IntervalMethod method)
{
    switch (method) {
    case IntervalMethod::Exact:
        return "Exact";
    case IntervalMethod::Byar:
        return "Byar";
    case IntervalMethod::ChiSquare:
        return "Chi Square";
    case IntervalMethod::SquareRoot:
        return "Square Root";
    case IntervalMethod::Wald:
        return "Wald";
    }
    return "";
}

std::optional<IntervalMethod> IntervalMethodNamed(const std::string& name)
{
    for (IntervalMethod method : kIntervalMethods)
        if (name == IntervalMethodName(method))
            return method;
    return std::nullopt;
}

double GetMultiplier(IntervalMethod method, BoundSide side, double observed, int16_t level)
{
    const bool low = side == BoundSide::Low;
    const double z = LevelQuantile(level);
    switch (method) {
    case IntervalMethod::Exact: {
        const double alpha = LevelAlpha(level);
        return low ? library::MultiplierExactLow(observed, alpha) : library::MultiplierExactHigh(observed, alpha);
    }
    case IntervalMethod::Byar:
        return low ? library::MultiplierByarLow(observed, z) : library::MultiplierByarHigh(observed, z);
    case IntervalMethod::ChiSquare:
        return low ? library::MultiplierChiSquareLow(observed, z) : library::MultiplierChiSquareHigh(observed, z);
    case IntervalMethod::SquareRoot:
        return low ? library::MultiplierSquareRootLow(observed, z) : library::MultiplierSquareRootHigh(observed, z);
    case IntervalMethod::Wald:
        return low ? library::MultiplierWaldLow(observed, z) : library::MultiplierWaldHigh(observed, z);
    }
    return 0;
}

double UpperLimitAtZero(IntervalMethod method, int16_t level)
{
    const double z = LevelQuantile(level);
    const double alpha = LevelAlpha(level);
    if (alpha <= 0)
        return 0;
    switch (method) {
    case IntervalMethod::Exact:
    case IntervalMethod::Wald:
        return -std::log(alpha / 2);
    case IntervalMethod::Byar:
        return std::pow(1.0 - 1.0 / 9.0 + z / 3.0, 3.0);
    case IntervalMethod::ChiSquare:
        return z * z;
    case IntervalMethod::SquareRoot:
        return std::pow(1.0 + z / 2.0, 2.0);
    }
    return 0;
}

}  // namespace vdx
