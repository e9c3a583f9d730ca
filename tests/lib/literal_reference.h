// Literal, unoptimised versions of the kernels, kept as the reference that
// the library's fast versions are compared with: the day-by-day walk of the
// person-years kernel, the linear class search of the death kernel, and the
// exact Poisson limits by summed Poisson terms (the upper tail cut after 501
// terms) with a bracket found in steps of 10.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

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

// The third axis, day by day. A work period: days start .. end at an
// intensity per year.
struct WorkPeriod {
    double start, end, intensity;
};
enum class Axis { TimeSinceHire, Duration, Cumulative };

// The day `lag` calendar years before `day` (29 February to 28 February).
inline double LaggedDay(double day, int lag)
{
    using namespace std::chrono;
    const sys_days origin = sys_days{year{1899} / December / 30};
    year_month_day date{origin + days{static_cast<long>(day)}};
    date = date - years{lag};
    if (!date.ok())
        date = date.year() / date.month() / std::chrono::day{28};
    return static_cast<double>((sys_days{date} - origin).count());
}

// Person-years of one person by age, calendar period and axis class (bound k
// <= value < bound k+1, the last class open), cell i + A(j-1) + AC(k-1), the
// days with an age and calendar cell below the first bound in `below`; the
// class of each day from the employed days before its lagged day, counted
// one at a time. Returns the cell of day `death` (0 when none).
inline int32_t AxisWalk(Axis axis, int lag, const std::vector<double>& bounds, double hire,
                        const std::vector<WorkPeriod>& periods, double start, double end, double birth,
                        const double* ageBounds, int A, const double* calendarBounds, int C,
                        std::vector<double>& cells, double& below, double death)
{
    const int K = static_cast<int>(bounds.size());
    cells.assign(static_cast<size_t>(A) * C * K + 1, 0.0);
    below = 0;
    int32_t deathCell = 0;
    std::vector<double> counted(periods.size(), 0.0);  // days of each period before `next`
    double next = 1e300;
    for (const WorkPeriod& p : periods)
        next = std::fmin(next, p.start);
    for (double d = std::fmin(start, death); d <= std::fmax(end, death); d = d + 1.0) {
        const double x = lag ? LaggedDay(d, lag) : d;
        for (; next < x; next = next + 1.0)
            for (size_t p = 0; p < periods.size(); ++p)
                if (periods[p].start <= next && next <= periods[p].end)
                    counted[p] += 1.0;
        double value = 0;
        if (axis == Axis::TimeSinceHire) {
            value = (x - hire) / 365.25;
        } else {
            for (size_t p = 0; p < periods.size(); ++p)
                value += axis == Axis::Cumulative ? periods[p].intensity * counted[p] : counted[p];
            value = value / 365.25;
        }
        int k = 0;
        for (int m = 0; m < K; ++m)
            if (bounds[m] <= value && (m + 1 == K || value < bounds[m + 1]))
                k = m + 1;
        const int i = ageOrPeriodClass(ageBounds, A, (d - birth) / 365.25);
        const int j = ageOrPeriodClass(calendarBounds, C, d);
        if (!i || !j)
            continue;
        const int32_t cell = i + A * (j - 1) + A * C * (k - 1);
        if (d == death && k)
            deathCell = cell;
        if (d < start || d > end)
            continue;
        if (k)
            cells[cell] += 1.0;
        else
            below += 1.0;
    }
    return deathCell;
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
