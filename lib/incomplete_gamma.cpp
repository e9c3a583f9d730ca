// Regularised incomplete gamma functions.
//
// Three evaluations, each of bounded cost:
//   - the uniform asymptotic expansion (Temme) for a >= kUniformMinA while x
//     is within reach of its tabulated coefficients (|eta| <= kUniformMaxEta);
//     this is where the confidence limits of larger counts live;
//   - the power series of P for x < a + 1 and the continued fraction of Q
//     otherwise, for small a and for x far from a (where both converge in a
//     few dozen terms);
//   - far out in the tails of large a, where the tail is below the smallest
//     double, the tails are 0 and 1.
#include "incomplete_gamma.h"

#include <cmath>
#include <limits>

#include "exact_poisson.h"

namespace veldrix {
namespace {

#include "temme_coefficients.inc"

constexpr double kUniformMinA = 20.0;
constexpr double kUniformMaxEta = 1.0;
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxTerms = 10000;

// Q(a, x) = erfc(eta sqrt(a/2)) / 2 + R, P(a, x) = erfc(-eta sqrt(a/2)) / 2 - R,
// R = exp(-a eta^2 / 2) / sqrt(2 pi a) * sum_k c_k(eta) a^-k.
GammaTails uniformExpansion(double a, double eta, double halfEtaSquared)
{
    double sum = 0.0;
    double power = 1.0;
    for (int k = 0; k < kTemmeTerms; ++k) {
        double ck = 0.0;
        for (int j = kTemmeDegree - 1; j >= 0; --j)
            ck = ck * eta + kTemme[k][j];
        sum += ck * power;
        power /= a;
    }
    double r = std::exp(-a * halfEtaSquared) / std::sqrt(2.0 * kPi * a) * sum;
    double w = eta * std::sqrt(a / 2.0);
    return {0.5 * std::erfc(-w) - r, 0.5 * std::erfc(w) + r};
}

// P(a, x) = x^a e^-x / Gamma(a + 1) * sum_k x^k / ((a+1)...(a+k)), for x < a + 1.
double lowerSeries(double a, double x)
{
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < kMaxTerms; ++k) {
        term *= x / (a + k);
        sum += term;
        if (term < sum * kEpsilon)
            break;
    }
    return std::exp(a * std::log(x) - x - LogGamma(a + 1.0)) * sum;
}

// Q(a, x) by its continued fraction (modified Lentz), for x >= a + 1.
double upperFraction(double a, double x)
{
    constexpr double tiny = 1e-300;
    double b = x + 1.0 - a;
    double c = 1.0 / tiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < kMaxTerms; ++i) {
        double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < tiny)
            d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny)
            c = tiny;
        d = 1.0 / d;
        double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < kEpsilon)
            break;
    }
    return std::exp(a * std::log(x) - x - LogGamma(a)) * h;
}

}  // namespace

double MuMinusLog1pMu(double mu)
{
    if (std::fabs(mu) < 0.25) {
        // mu^2/2 - mu^3/3 + mu^4/4 - ...: no cancellation for small mu.
        double power = mu * mu;
        double sum = 0.0;
        for (int k = 2; k < 80; ++k) {
            double term = power / k;
            sum += (k % 2 == 0) ? term : -term;
            if (std::fabs(term) < std::fabs(sum) * 1e-17)
                break;
            power *= mu;
        }
        return sum;
    }
    return mu - std::log1p(mu);
}

GammaTails RegularizedGamma(double a, double x)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    if (!(a > 0.0) || !(x >= 0.0) || std::isinf(a))
        return {nan, nan};
    if (x == 0.0)
        return {0.0, 1.0};
    if (std::isinf(x))
        return {1.0, 0.0};

    if (a >= kUniformMinA) {
        double mu = (x - a) / a;
        double half = MuMinusLog1pMu(mu);  // eta^2 / 2
        double eta = std::copysign(std::sqrt(2.0 * half), mu);
        if (std::fabs(eta) <= kUniformMaxEta)
            return uniformExpansion(a, eta, half);
        // exp(-a eta^2/2) bounds the smaller tail; past exp(-750) it is 0.
        if (a * half > 750.0)
            return mu < 0 ? GammaTails{0.0, 1.0} : GammaTails{1.0, 0.0};
    }
    if (x < a + 1.0) {
        double p = lowerSeries(a, x);
        return {p, 1.0 - p};
    }
    double q = upperFraction(a, x);
    return {1.0 - q, q};
}

}  // namespace veldrix
