// Exact Poisson limits. The tails are regularised incomplete gamma functions
// of the count (P(X <= n) = Q(n + 1, mu), P(X >= n) = P(n, mu)), evaluated in
// bounded time, so the cost does not grow with the observed count and the
// upper tail is complete, however large the count. The root is bracketed
// around a normal-theory first guess and then found by false position with
// the Pegasus modification.
#include "exact_poisson.h"

#include <cmath>
#include <limits>

#include "incomplete_gamma.h"

namespace veldrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kTolerance = 1e-9;
constexpr int kMaxIterations = 200;

// Upper standard normal quantile of p (0 < p < 1), to about 5e-4: only the
// first guess of the root depends on it.
double roughNormalQuantile(double p)
{
    double q = p < 0.5 ? p : 1.0 - p;
    double t = std::sqrt(-2.0 * std::log(q));
    double z = t - (2.515517 + 0.802853 * t + 0.010328 * t * t) /
                       (1.0 + 1.432788 * t + 0.189269 * t * t + 0.001308 * t * t * t);
    return p < 0.5 ? z : -z;
}

// Wilson-Hilferty approximation of the limit.
double firstGuess(double n, double alpha, int side)
{
    double z = roughNormalQuantile(alpha / 2.0);
    if (side == 1) {
        double m = n + 1.0;
        return m * std::pow(1.0 - 1.0 / (9.0 * m) + z / (3.0 * std::sqrt(m)), 3.0);
    }
    return n * std::pow(1.0 - 1.0 / (9.0 * n) - z / (3.0 * std::sqrt(n)), 3.0);
}

}  // namespace

double LogGamma(double x)
{
    if (!(x > 0.0))
        return 1.0;
    static constexpr double c[9] = {
        0.9999999999995183,  676.5203681218835,     -1259.139216722289,
        771.3234287757674,   -176.6150291498386,    12.50734324009056,
        -0.1385710331296526, 9.934937113930748e-06, 1.659470187408462e-07,
    };
    double t = x + 7.0;
    double s = 0.0;
    for (int k = 8; k >= 1; --k) {
        s = s + c[k] / t;
        t = t - 1.0;
    }
    s = s + c[0];
    return std::log(s) + 0.9189385332046727 - (x + 6.5) + (x - 0.5) * std::log(x + 6.5);
}

double PoissonTail(double observed, double mu, double alpha, int side)
{
    double n = std::trunc(observed);
    if (std::isnan(n) || std::isnan(mu) || mu < 0.0 || (side != 1 && side != 2))
        return kNaN;
    double s;
    if (side == 1)  // P(X <= n)
        s = n < 0.0 ? 0.0 : (mu == 0.0 ? 1.0 : RegularizedGamma(n + 1.0, mu).q);
    else  // P(X >= n)
        s = n <= 0.0 ? 1.0 : (mu == 0.0 ? 0.0 : RegularizedGamma(n, mu).p);
    return s - alpha / 2.0;
}

double ExactPoissonLimit(double observed, double alpha, int side)
{
    double n = std::trunc(observed);
    if (std::isnan(n) || std::isnan(alpha) || n < 0.0 || std::isinf(n) || (side != 1 && side != 2) ||
        alpha >= 2.0)
        return kNaN;
    if (alpha <= 0.0)
        return side == 1 ? kInfinity : 0.0;
    if (side == 2 && n == 0.0)
        return 0.0;  // no count is below 0: the lower limit is the least mean

    auto f = [&](double mu) { return PoissonTail(observed, mu, alpha, side); };
    // f falls with mu for side 1 and rises for side 2; rising(mu) < 0 means
    // the root lies above mu.
    const double direction = side == 1 ? -1.0 : 1.0;
    auto rising = [&](double value) { return direction * value; };

    // Bracket: from the first guess, steps that double away from it. At
    // mu = 0 the function is on the "root above" side for every alpha < 2.
    double guess = std::fmax(firstGuess(n, alpha, side), 0.0);
    if (!std::isfinite(guess))
        guess = n;
    double fGuess = f(guess);
    if (fGuess == 0.0)
        return guess;
    double lo, fLo, hi, fHi;
    double step = 0.1 * std::sqrt(std::fmax(guess, 1e-12));
    if (rising(fGuess) < 0.0) {
        lo = guess, fLo = fGuess;
        for (int k = 0;; ++k) {
            hi = lo + step;
            fHi = f(hi);
            if (rising(fHi) >= 0.0)
                break;
            if (k > 1100 || std::isinf(hi))
                return kNaN;
            lo = hi, fLo = fHi;
            step *= 2.0;
        }
    } else {
        hi = guess, fHi = fGuess;
        for (;;) {
            lo = std::fmax(hi - step, 0.0);
            fLo = f(lo);
            if (rising(fLo) < 0.0)
                break;
            if (lo == 0.0)
                return kNaN;  // cannot happen for 0 < alpha < 2
            hi = lo, fHi = fLo;
            step *= 2.0;
        }
    }
    if (fLo == 0.0)
        return lo;
    if (fHi == 0.0)
        return hi;

    // False position with the Pegasus modification.
    double a = lo, fa = fLo, b = hi, fb = fHi;
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        double slope = (fb - fa) / (b - a);
        double c = b - fb / slope;
        if (c < 0.0)
            c = 0.0;
        double fc = f(c);
        if (fc == 0.0 || std::isnan(fc))
            return c;
        if (fc * fb < 0.0) {
            a = b;
            fa = fb;
        } else if (fc * fb > 0.0) {
            fa = fa * fb / (fb + fc);
        }
        b = c;
        fb = fc;
        double width = std::fabs(b - a);
        double spacing = 8.0 * std::numeric_limits<double>::epsilon() * std::fmax(std::fabs(a), std::fabs(b));
        if (width < kTolerance || width <= spacing)
            break;
    }
    return std::fabs(fa) < std::fabs(fb) ? a : b;
}

}  // namespace veldrix
