// Upper tail of the chi-square distribution: Q(df / 2, x / 2), the
// regularised upper incomplete gamma function.
#include <cmath>

#include "incomplete_gamma.h"
#include "veldrix.h"

extern "C" {

VELDRIX_API double ChiSquareUpperTail(double chiSquare, double df)
{
    if (!(df > 0.0) || std::isnan(chiSquare))
        return NAN;
    if (chiSquare <= 0.0)
        return 1.0;
    return veldrix::RegularizedGamma(0.5 * df, 0.5 * chiSquare).q;
}

}  // extern "C"
