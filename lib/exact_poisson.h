// Exact confidence limits of a Poisson mean: the functions behind
// MultiplierExactLow and MultiplierExactHigh.
#pragma once

namespace veldrix {

// Natural logarithm of the gamma function by the Lanczos approximation
// (g = 7, nine coefficients). Returns 1.0 for x <= 0 and for NaN.
double LogGamma(double x);

// The function whose root in mu is the limit: S - alpha / 2, where n is the
// observed count truncated toward zero and S = P(X <= n) for side 1 or
// S = P(X >= n) for side 2, X being Poisson with mean mu >= 0.
double PoissonTail(double observed, double mu, double alpha, int side);

// The root in mu of PoissonTail: side 1 gives the upper limit of the mean
// (P(X <= n) = alpha / 2), side 2 the lower limit (P(X >= n) = alpha / 2).
// False position with the Pegasus modification, to a bracket narrower than
// 1e-9 (or a few units in the last place where 1e-9 is finer than the
// doubles around the root). The lower limit of n = 0 is 0; alpha <= 0 gives
// 0 and +infinity; NaN for alpha >= 2, a negative count or another side.
double ExactPoissonLimit(double observed, double alpha, int side);

}  // namespace veldrix
