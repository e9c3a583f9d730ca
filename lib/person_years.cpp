// Person-years kernel: splits one person's follow-up into strata of age class
// and calendar period and counts the days of each.
//
// The days walked are start, start + 1, start + 2, ... up to the end date,
// and a day's age is (day - birth) / 365.25 in double precision. For ascending
// bounds the split is computed from the class crossings instead of day by day:
// both the age and the calendar day only grow along the walk, so every bound
// is crossed once, on the first day on which the very same double expression
// reaches it. The cost therefore depends on the number of classes, not on the
// length of follow-up, and every day lands where the day-by-day walk puts it.
// Bounds that are not ascending (or dates the crossings cannot stand for
// exactly) take the day-by-day walk.
#include <cmath>
#include <cstdint>
#include <new>

#include "strata.h"
#include "veldrix.h"

namespace veldrix {
namespace {

// Whole day numbers up to this size are exact in a double, and so are their
// differences and midpoints; the crossing computation keeps within it.
constexpr double kDayLimit = 4503599627370496.0;  // 2^52

double ageOn(double day, double birth) { return (day - birth) / 365.25; }

// The first whole day in [lo, hi] on which pred holds, or hi + 1 when it
// holds on none; pred must be monotone (false, then true). The guess is where
// the crossing should be; two probes confirm it in the usual case, a bisection
// finds it otherwise.
template <class Pred>
double firstDayWhere(double lo, double hi, double guess, Pred pred)
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

}  // namespace

void splitPreparedFollowUp(double start, double end, double birth, const PreparedStrata& strata,
                   void (*sink)(void* context, int64_t cell, double days), void* context)
{
    splitFollowUp(start, end, birth, strata.ages, strata.periods,
                  [&](int64_t cell, double days) { sink(context, cell, days); });
}

}  // namespace veldrix

using veldrix::ClassBounds;
using veldrix::classCount;

extern "C" VELDRIX_API double PYCOMPUTE(double startDate, double endDate, double birthDate,
                                        double* cells, int32_t cellLimit,
                                        const double* ageBounds, int32_t ageClassCount,
                                        const double* calendarBounds, int32_t periodCount)
{
    for (int64_t k = 0; k <= cellLimit; ++k)
        cells[k] = 0.0;
    ClassBounds ages(ageBounds, classCount(ageClassCount));
    ClassBounds periods(calendarBounds, classCount(periodCount));
    veldrix::splitFollowUp(startDate, endDate, birthDate, ages, periods,
                           [&](int64_t cell, double days) {
                               if (cell <= cellLimit)
                                   cells[cell] += days;
                           });
    return 1.0;
}

namespace {

// The entries of one person as PYCOMPUTE_CELLS reports them.
int32_t cellEntries(double startDate, double endDate, double birthDate, const ClassBounds& ages,
                    const ClassBounds& periods, int32_t* cellIndex, double* days, int32_t capacity)
{
    int32_t entries = 0;
    veldrix::splitFollowUp(startDate, endDate, birthDate, ages, periods, [&](int64_t cell, double n) {
        if (entries < capacity) {
            cellIndex[entries] = static_cast<int32_t>(cell);
            days[entries] = n;
        }
        ++entries;
    });
    return entries;
}

}  // namespace

extern "C" VELDRIX_API int32_t PYCOMPUTE_CELLS(double startDate, double endDate, double birthDate,
                                               const double* ageBounds, int32_t ageClassCount,
                                               const double* calendarBounds, int32_t periodCount,
                                               int32_t* cellIndex, double* days, int32_t capacity)
{
    return cellEntries(startDate, endDate, birthDate, ClassBounds(ageBounds, classCount(ageClassCount)),
                       ClassBounds(calendarBounds, classCount(periodCount)), cellIndex, days, capacity);
}

static_assert(sizeof(veldrix::PreparedStrata) <= sizeof(VeldrixStrata) &&
                  alignof(veldrix::PreparedStrata) <= alignof(VeldrixStrata),
              "the prepared strata must fit the caller's VeldrixStrata");

extern "C" VELDRIX_API int32_t STRATA_PREPARE(VeldrixStrata* strata, const double* ageBounds, int32_t ageClassCount,
                                              const double* calendarBounds, int32_t periodCount)
{
    const auto* prepared = new (strata) veldrix::PreparedStrata{ClassBounds(ageBounds, classCount(ageClassCount)),
                                                                ClassBounds(calendarBounds, classCount(periodCount))};
    return prepared->ages.count() * prepared->periods.count();
}

extern "C" VELDRIX_API int32_t PYCOMPUTE_PREPARED(const VeldrixStrata* strata, double startDate, double endDate,
                                                  double birthDate, int32_t* cellIndex, double* days,
                                                  int32_t capacity)
{
    const auto* prepared = std::launder(reinterpret_cast<const veldrix::PreparedStrata*>(strata));
    return cellEntries(startDate, endDate, birthDate, prepared->ages, prepared->periods, cellIndex, days, capacity);
}
