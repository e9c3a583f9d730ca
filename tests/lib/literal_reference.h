// Literal, unoptimised versions of the kernels, kept as the reference that
// the library's fast versions are compared with: the day-by-day walk of the
// person-years kernel, the linear class search of the death kernel, and the
// exact Poisson limits by summed Poisson terms (the upper tail cut after 501
// terms) with a bracket found in steps of 10.
#pragma once

#include <cmath>
#include <cstdint>

namespace literal {

inline int ageOrPeriodClass(const double* bounds, int count, double v)
{
    for (int i = 1; i <= count; ++i)
        if (bounds[i] <= v && v < bounds[i + 1])
            return i;
    return 0;
}

inline double PyCompute(double start, double end, double birth, double* cells, int32_t cellLimit,
                        const double* ageBounds, int32_t ageSlot, const double* calendarBounds,
                        int32_t periodSlot)
{
    const int A = static_cast<int16_t>(ageSlot);
    const int C = static_cast<int16_t>(periodSlot);
    for (int32_t k = 0; k <= cellLimit; ++k)
        cells[k] = 0.0;
    for (double d = start; d <= end; d = d + 1.0) {
        double age = (d - birth) / 365.25;
        int i = ageOrPeriodClass(ageBounds, A, age);
        int j = ageOrPeriodClass(calendarBounds, C, d);
        if (i && j)
            cells[i + A * (j - 1)] += 1.0;
    }
    return 1.0;
}

inline double DeathCompute(double death, double birth, double* cells, int32_t cellLimit,
                           const double* ageBounds, int32_t ageSlot, const double* calendarBounds,
                           int32_t periodSlot)
{
    const int A = static_cast<int16_t>(ageSlot);
    const int C = static_cast<int16_t>(periodSlot);
    for (int32_t k = 0; k <= cellLimit; ++k)
        cells[k] = 0.0;
    int i = ageOrPeriodClass(ageBounds, A, (death - birth) / 365.25);
    int j = ageOrPeriodClass(calendarBounds, C, death);
    if (i && j)
        cells[i + A * (j - 1)] = 1.0;
    return 1.0;
}

inline double LogGamma(double x)
{
    if (!(x > 0.0))
        return 1.0;
    const double c[9] = {0.9999999999995183,  676.5203681218835,     -1259.139216722289,
                         771.3234287757674,   -176.6150291498386,    12.50734324009056,
                         -0.1385710331296526, 9.934937113930748e-06, 1.659470187408462e-07};
    double t = x + 7.0, s = 0.0;
    for (int k = 8; k >= 1; --k) {
        s = s + c[k] / t;
        t = t - 1.0;
    }
    s = s + c[0];
    return std::log(s) + 0.9189385332046727 - (x + 6.5) + (x - 0.5) * std::log(x + 6.5);
}

inline double PoissonTail(double observed, double mu, double alpha, int side)
{
    const int32_t n = static_cast<int32_t>(observed);
    auto term = [&](int i) { return std::exp(-mu + i * std::log(mu) - LogGamma(i + 1.0)); };
    double s = 0.0;
    if (side == 1)
        for (int i = 0; i <= n; ++i)
            s += term(i);
    else
        for (int i = n; i <= n + 500; ++i)
            s += term(i);
    return s - alpha / 2.0;
}

inline double ExactPoissonLimit(double observed, double alpha, int side)
{
    auto f = [&](double mu) { return PoissonTail(observed, mu, alpha, side); };
    double a = 1e-9, fa = f(a);
    double b = 0.0, fb;
    do {
        b = b + 10.0;
        fb = f(b);
    } while (!(std::fabs(fa - fb) > 0.1));
    do {
        double slope = (fb - fa) / (b - a);
        double c = b - fb / slope;
        if (c < 0)
            c = 0;
        double fc = f(c);
        if (fc == 0.0 || std::isnan(fc))
            return c;
        if (fc * fb < 0) {
            a = b;
            fa = fb;
        } else if (fc * fb > 0) {
            fa = fa * fb / (fb + fc);
        }
        b = c;
        fb = fc;
    } while (std::fabs(b - a) >= 1e-9);
    return std::fabs(fa) < std::fabs(fb) ? a : b;
}

}  // namespace literal
