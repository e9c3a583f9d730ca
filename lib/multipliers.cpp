// Confidence-interval multipliers: the factor by which an SMR is multiplied
// to give its lower or upper bound, i.e. a bound of the Poisson mean divided
// by the observed count. Cubes and squares use the general power function,
// so a negative base keeps its sign when cubed; nothing is clipped at zero.
#include <cmath>

#include "exact_poisson.h"
#include "veldrix.h"

extern "C" {

VELDRIX_API double MultiplierExactLow(double observed, double alpha)
{
    return veldrix::ExactPoissonLimit(observed, alpha, 2) / observed;
}

VELDRIX_API double MultiplierExactHigh(double observed, double alpha)
{
    return veldrix::ExactPoissonLimit(observed, alpha, 1) / observed;
}

VELDRIX_API double MultiplierByarLow(double observed, double z)
{
    return std::pow(1.0 - 1.0 / (9.0 * observed) - z / (3.0 * std::sqrt(observed)), 3.0);
}

VELDRIX_API double MultiplierByarHigh(double observed, double z)
{
    double next = observed + 1.0;
    return (next / observed) * std::pow(1.0 - 1.0 / (9.0 * next) + z / (3.0 * std::sqrt(next)), 3.0);
}

VELDRIX_API double MultiplierChiSquareLow(double observed, double z)
{
    return 1.0 + (z * z / (2.0 * observed)) * (1.0 - std::sqrt(1.0 + 4.0 * observed / (z * z)));
}

VELDRIX_API double MultiplierChiSquareHigh(double observed, double z)
{
    return 1.0 + (z * z / (2.0 * observed)) * (1.0 + std::sqrt(1.0 + 4.0 * observed / (z * z)));
}

VELDRIX_API double MultiplierSquareRootLow(double observed, double z)
{
    return std::pow(1.0 - z / (2.0 * std::sqrt(observed)), 2.0);
}

VELDRIX_API double MultiplierSquareRootHigh(double observed, double z)
{
    double next = observed + 1.0;
    return (next / observed) * std::pow(1.0 + z / (2.0 * std::sqrt(next)), 2.0);
}

VELDRIX_API double MultiplierWaldLow(double observed, double z)
{
    return 1.0 / std::exp(z / std::sqrt(observed));
}

VELDRIX_API double MultiplierWaldHigh(double observed, double z)
{
    return std::exp(z / std::sqrt(observed));
}

}  // extern "C"
