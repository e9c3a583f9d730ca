// The age x calendar split of one person's follow-up, as a template over
// what receives each run of days, so that the kernels that split (the
// person-years kernels in person_years.cpp, the third axis in exposure.cpp)
// take their runs without a call through a pointer per run.
#pragma once

#include <cmath>
#include <cstdint>

#include "strata.h"

namespace veldrix {

// Whole day numbers up to this size are exact in a double, and so are their
// differences and midpoints; the crossing computation keeps within it.
inline constexpr double kDayLimit = 4503599627370496.0;  // 2^52

inline double ageOn(double day, double birth) { return (day - birth) / 365.25; }

// The first whole day in [lo, hi] on which pred holds, or hi + 1 when it
// holds on none; pred must be monotone (false, then true). The guess is where
// the crossing should be; two probes confirm it in the usual case, a bisection
// finds it otherwise.
template <class Pred>
inline double firstDayWhere(double lo, double hi, double guess, Pred pred)
{
    if (lo > hi)
        return hi + 1;
    double below = lo - 1;  // known (or taken) false
    double above = hi + 1;  // known (or taken) true
    if (!(guess >= lo))
        guess = lo;  // also a NaN guess
    if (guess > hi)
        guess = hi;
    if (pred(guess)) {
        above = guess;
        if (guess - 1 > below) {
            if (pred(guess - 1))
                above = guess - 1;
            else
                below = guess - 1;
        }
    } else {
        below = guess;
        if (guess + 1 < above) {
            if (pred(guess + 1))
                above = guess + 1;
            else
                below = guess + 1;
        }
    }
    while (above - below > 1) {
        double mid = below + std::floor((above - below) / 2);
        if (pred(mid))
            above = mid;
        else
            below = mid;
    }
    return above;
}

// Reports every run of consecutive days in one stratum to sink(cell, days),
// in the order of the walk.
template <class Sink>
void splitFollowUp(double start, double end, double birth, const ClassBounds& ages,
                   const ClassBounds& periods, Sink&& sink)
{
    const int A = ages.count();
    const int C = periods.count();
    if (A == 0 || C == 0 || !(start <= end))
        return;

    const bool wholeStart = std::floor(start) == start && std::fabs(start) <= kDayLimit;

    if (wholeStart && ages.ascending() && periods.ascending()) {
        // No day before the first or on or after the last calendar bound can
        // be counted; with a whole start the walk's days are whole numbers,
        // so the first and last days that matter follow directly.
        double first = std::fmax(start, std::ceil(periods.bound(1)));
        double last = std::fmin(std::floor(end), std::ceil(periods.bound(C + 1)) - 1);
        last = std::fmin(last, kDayLimit);
        if (!(first <= last) || std::isnan(birth))
            return;

        int age = ages.boundsAtOrBelow(ageOn(first, birth));  // bounds crossed so far
        int period = periods.boundsAtOrBelow(first);
        double day = first;
        auto nextAgeCrossing = [&](double from) {
            if (age > A)
                return last + 1;
            const double bound = ages.bound(age + 1);
            const double scaled = bound * 365.25;
            const double guess = std::ceil(birth + scaled);
            // Usually the guess is the crossing: the day before lies so far
            // below bound * 365.25 days from birth that no rounding of its
            // age can reach the bound, and the day itself so far above that
            // none can fall short of it (or, when it lies on the bound, its
            // age says so). Then the search is not needed.
            const double margin = std::fabs(scaled) * 0x1p-48 + 0x1p-1000;
            const double since = guess - birth;
            if ((guess - 1) - birth <= scaled - margin && (since >= scaled + margin || bound <= since / 365.25))
                return guess < from ? from : guess > last ? last + 1 : guess;
            return firstDayWhere(from, last, guess, [&](double d) { return bound <= ageOn(d, birth); });
        };
        double ageChange = nextAgeCrossing(day + 1);
        while (day <= last && age <= A && period <= C) {
            // Whole days: a period bound is reached on the day ceil(bound).
            const double periodBound = std::ceil(periods.bound(period + 1));
            const double periodChange = periodBound < last + 1 ? periodBound : last + 1;
            const double next = ageChange < periodChange ? ageChange : periodChange;
            if (age >= 1 && period >= 1)
                sink(cellIndex(age, period, A), next - day);
            day = next;
            if (day > last)
                break;
            if (day == ageChange) {
                ++age;  // the bound that was crossed
                // The age grows by a day's worth from one day to the next:
                // a bound less than two days' worth further on (an equal
                // bound above all) may be crossed on the same day.
                if (age <= A && ages.bound(age + 1) - ages.bound(age) < 2 / 365.25) {
                    const double a = ageOn(day, birth);
                    while (age <= A && ages.bound(age + 1) <= a)
                        ++age;
                }
                ageChange = nextAgeCrossing(day + 1);
            }
            while (period <= C && periods.bound(period + 1) <= day)
                ++period;
        }
        return;
    }

    // Day by day. A day on or after every calendar bound cannot be counted,
    // and neither can any later one, so the walk stops there.
    double lastUseful = periods.bound(1);
    double firstUseful = periods.bound(1);
    for (int m = 2; m <= C + 1; ++m) {
        lastUseful = std::fmax(lastUseful, periods.bound(m));
        firstUseful = std::fmin(firstUseful, periods.bound(m));
    }
    double day = start;
    if (wholeStart && firstUseful > day)
        day = std::fmin(std::ceil(firstUseful), std::floor(end) + 1);  // whole days: skipping is exact
    int64_t runCell = 0;
    double runDays = 0;
    while (day <= end && day < lastUseful) {
        int i = ages.classOf(ageOn(day, birth));
        int j = i ? periods.classOf(day) : 0;
        int64_t cell = (i && j) ? cellIndex(i, j, A) : 0;
        if (cell != runCell) {
            if (runCell)
                sink(runCell, runDays);
            runCell = cell;
            runDays = 0;
        }
        if (cell)
            runDays += 1.0;
        double next = day + 1.0;
        if (next == day)
            break;  // too large to advance by one day
        day = next;
    }
    if (runCell)
        sink(runCell, runDays);
}

}  // namespace veldrix
