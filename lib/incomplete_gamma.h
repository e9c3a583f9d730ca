// Regularised incomplete gamma functions P(a, x) and Q(a, x) = 1 - P(a, x),
// evaluated in bounded time for any a: the Poisson tails of the exact
// confidence limits are P and Q of the observed count.
#pragma once

namespace veldrix {

struct GammaTails {
    double p;  // P(a, x): lower tail
    double q;  // Q(a, x): upper tail
};

// For a > 0 and x >= 0; NaN for anything else.
GammaTails RegularizedGamma(double a, double x);

// mu - log(1 + mu), accurate also for small mu.
double MuMinusLog1pMu(double mu);

}  // namespace veldrix
