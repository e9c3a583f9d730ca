// Person-years with a time-dependent third axis: time since hire, duration
// of employment or cumulative exposure, optionally lagged.
//
// Every axis value is a non-decreasing function of the day (each period adds
// a non-negative amount, the lag moves days back by whole calendar years
// without reordering them, and rounding keeps that order), so the days of
// one person in axis class k form one run: the first day on which the value
// reaches bound k is guessed from the periods and checked on that day and
// the day before, with the very same expression that a day-by-day walk
// evaluates; a wrong guess falls back to bisection over the days. Each run is then
// split by age and calendar period with the age x calendar kernel.
#include <cmath>
#include <cstdint>
#include <new>

#include "split_follow_up.h"
#include "strata.h"
#include "veldrix.h"

namespace veldrix {
namespace {

constexpr double kYear = 365.25;
// Day numbers count from 30 December 1899; that day is 25569 days before
// 1 January 1970, the origin of the civil-date arithmetic below.
constexpr int64_t kEpochShift = 25569;
// Dates further out than this are no dates (about 2.7 million years).
constexpr double kDateLimit = 1e9;

bool leapYear(int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

// Days since 1 January 1970 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2);
}

// The day `years` calendar years before `day`; 29 February goes to
// 28 February when that year has none. A fraction of a day is kept.
double yearsBefore(double day, int32_t years)
{
    if (years == 0)
        return day;
    if (!(std::fabs(day) < kDateLimit))
        return NAN;
    const double whole = std::floor(day);
    int64_t y, m, d;
    civilFromDays(static_cast<int64_t>(whole) - kEpochShift, y, m, d);
    y -= years;
    if (m == 2 && d == 29 && !leapYear(y))
        d = 28;
    return static_cast<double>(daysFromCivil(y, m, d) + kEpochShift) + (day - whole);
}

// The days of a period strictly before x.
double daysBefore(const VeldrixWorkPeriod& p, double x)
{
    const double last = std::fmin(p.end, std::ceil(x) - 1);
    return last >= p.start ? last - p.start + 1 : 0.0;
}

// The axis value of day d (NaN when there is none).
double axisValue(const VeldrixAxis& axis, double d)
{
    const double x = yearsBefore(d, axis.lagYears);
    if (axis.kind == VELDRIX_AXIS_TIME_SINCE_HIRE)
        return (x - axis.hireDate) / kYear;
    double sum = 0;
    for (int32_t p = 0; p < axis.periodCount; ++p) {
        const double n = daysBefore(axis.periods[p], x);
        sum += axis.kind == VELDRIX_AXIS_CUMULATIVE ? axis.periods[p].intensity * n : n;
    }
    return sum / kYear;
}

bool usable(const VeldrixAxis* axis)
{
    if (!axis || axis->lagYears < 0 || axis->classCount < 1 || !axis->bounds)
        return false;
    if (axis->kind != VELDRIX_AXIS_TIME_SINCE_HIRE && axis->kind != VELDRIX_AXIS_DURATION &&
        axis->kind != VELDRIX_AXIS_CUMULATIVE)
        return false;
    if (axis->kind != VELDRIX_AXIS_TIME_SINCE_HIRE && axis->periodCount > 0 && !axis->periods)
        return false;
    // A negative or missing intensity would make the value fall again.
    if (axis->kind == VELDRIX_AXIS_CUMULATIVE)
        for (int32_t p = 0; p < axis->periodCount; ++p)
            if (!(axis->periods[p].intensity >= 0))
                return false;
    for (int32_t k = 0; k < axis->classCount; ++k)
        if (!(axis->bounds[k] == axis->bounds[k]) || (k > 0 && !(axis->bounds[k - 1] < axis->bounds[k])))
            return false;
    return true;
}

// A first guess at the day (as a day number, maybe fractional) on which
// the value reaches `bound`, from the periods in start order without
// evaluating any day; +inf when it never does, -inf when it already has.
// Only a guess: the caller checks it with axisValue and bisects when wrong
// (periods out of order or overlapping, rounding).
double guessCrossing(const VeldrixAxis& axis, double bound)
{
    double x;  // the first lagged day whose days strictly before reach the bound
    if (axis.kind == VELDRIX_AXIS_TIME_SINCE_HIRE) {
        if (!(axis.hireDate == axis.hireDate))
            return INFINITY;
        x = std::ceil(axis.hireDate + bound * kYear);
    } else {
        const double target = bound * kYear;
        if (target <= 0)
            return -INFINITY;
        double sum = 0;
        x = INFINITY;
        for (int32_t p = 0; p < axis.periodCount; ++p) {
            const VeldrixWorkPeriod& w = axis.periods[p];
            const double rate = axis.kind == VELDRIX_AXIS_CUMULATIVE ? w.intensity : 1.0;
            const double days = w.end >= w.start ? w.end - w.start + 1 : 0.0;
            if (rate > 0 && sum + rate * days >= target) {
                x = w.start + std::fmax(1.0, std::ceil((target - sum) / rate));
                break;
            }
            sum += rate * days;
        }
        if (!(x < INFINITY))
            return INFINITY;
    }
    if (axis.lagYears == 0 || !(std::fabs(x) < kDateLimit))
        return x;
    // The day lagYears calendar years after x (a 29 February without one
    // in that year: 1 March).
    const double whole = std::floor(x);
    int64_t y, m, d;
    civilFromDays(static_cast<int64_t>(whole) - kEpochShift, y, m, d);
    return static_cast<double>(daysFromCivil(y + axis.lagYears, m, d) + kEpochShift) + (x - whole);
}

// The class (1 .. K) of a value, 0 below the first bound or for NaN.
int axisClass(const VeldrixAxis& axis, double v)
{
    int k = 0;
    while (k < axis.classCount && axis.bounds[k] <= v)
        ++k;
    return k;
}

const PreparedStrata& preparedOf(const VeldrixStrata* strata)
{
    return *std::launder(reinterpret_cast<const PreparedStrata*>(strata));
}

struct Collect {
    int32_t* cellIndex;
    double* days;
    int32_t capacity;
    int32_t entries;
    int64_t offset;  // A * C * (k - 1), or A * C * k for layers
    double* below;   // set while the run is below the first bound (not for layers)
};

void collect(void* context, int64_t cell, double n)
{
    auto& c = *static_cast<Collect*>(context);
    if (c.below) {
        *c.below += n;
        return;
    }
    if (c.entries < c.capacity) {
        c.cellIndex[c.entries] = static_cast<int32_t>(c.offset + cell);
        c.days[c.entries] = n;
    }
    ++c.entries;
}

}  // namespace
}  // namespace veldrix

namespace veldrix {
namespace {

// The split of PYCOMPUTE_AXIS (layers false) and PYCOMPUTE_AXIS_LAYERS
// (layers true: the days below the first bound in layer 0).
int32_t splitByAxis(const VeldrixStrata* strata, const VeldrixAxis* axis, double startDate, double endDate,
                    double birthDate, int32_t* cellIndex, double* days, int32_t capacity, double* daysBelow,
                    bool layers)
{
    if (!usable(axis))
        return -1;
    const PreparedStrata& prepared = preparedOf(strata);
    const int64_t cells = static_cast<int64_t>(prepared.ages.count()) * prepared.periods.count();
    Collect c{cellIndex, days, capacity, 0, 0, nullptr};
    double ignored = 0;
    if (!daysBelow)
        daysBelow = &ignored;
    if (!(startDate <= endDate) || cells == 0)
        return 0;
    // The days of follow-up are startDate + i for i = 0 .. n - 1.
    const double n = std::floor(std::fmin(endDate - startDate, kDateLimit)) + 1;
    auto reaches = [&](double i, double bound) { return bound <= axisValue(*axis, startDate + i); };
    // The value never falls, so a bound the first day reaches is crossed
    // before the follow-up and one the last day does not reach is crossed
    // after it: only the bounds in between are looked for.
    const double first = axisValue(*axis, startDate), last = axisValue(*axis, startDate + (n - 1));
    double from = 0;  // first day (index) of the current class's run
    for (int k = 0; k <= axis->classCount && from < n; ++k) {
        // The first day on which the value reaches bound k + 1 (n if none).
        double to = n;
        if (k < axis->classCount && axis->bounds[k] <= first) {
            to = from;
        } else if (k < axis->classCount && axis->bounds[k] <= last) {
            const double bound = axis->bounds[k];
            // The guess settles it with two evaluations when it is right:
            // the day reaches the bound and the one before does not.
            const double guess = guessCrossing(*axis, bound) - startDate;
            to = std::fmin(std::fmax(std::ceil(guess), from), n);
            if (guess != guess || (to < n && !reaches(to, bound)) || (to > from && reaches(to - 1, bound)))
                to = -1;
            double below = from - 1, above = n;
            while (to < 0 && above - below > 1) {
                const double mid = below + std::floor((above - below) / 2);
                if (reaches(mid, bound))
                    above = mid;
                else
                    below = mid;
            }
            if (to < 0)
                to = above;
        }
        if (to > from) {
            c.offset = cells * (layers ? k : k - 1);
            c.below = k == 0 && !layers ? daysBelow : nullptr;
            splitFollowUp(startDate + from, startDate + (to - 1), birthDate, prepared.ages, prepared.periods,
                          [&c](int64_t cell, double days) { collect(&c, cell, days); });
        }
        from = to;
    }
    return c.entries;
}

}  // namespace
}  // namespace veldrix

extern "C" VELDRIX_API int32_t PYCOMPUTE_AXIS(const VeldrixStrata* strata, const VeldrixAxis* axis,
                                              double startDate, double endDate, double birthDate,
                                              int32_t* cellIndex, double* days, int32_t capacity,
                                              double* daysBelow)
{
    return veldrix::splitByAxis(strata, axis, startDate, endDate, birthDate, cellIndex, days, capacity, daysBelow,
                                false);
}

extern "C" VELDRIX_API int32_t PYCOMPUTE_AXIS_LAYERS(const VeldrixStrata* strata, const VeldrixAxis* axis,
                                                     double startDate, double endDate, double birthDate,
                                                     int32_t* cellIndex, double* days, int32_t capacity)
{
    return veldrix::splitByAxis(strata, axis, startDate, endDate, birthDate, cellIndex, days, capacity, nullptr,
                                true);
}

extern "C" VELDRIX_API int32_t DEATHCOMPUTE_AXIS(const VeldrixStrata* strata, const VeldrixAxis* axis,
                                                 double deathDate, double birthDate)
{
    using namespace veldrix;
    if (!usable(axis))
        return -1;
    const int32_t cell = DEATHCOMPUTE_PREPARED(strata, deathDate, birthDate);
    if (cell == 0)
        return 0;
    const int k = axisClass(*axis, axisValue(*axis, deathDate));
    if (k == 0)
        return 0;
    const PreparedStrata& prepared = preparedOf(strata);
    const int64_t cells = static_cast<int64_t>(prepared.ages.count()) * prepared.periods.count();
    return static_cast<int32_t>(cell + cells * (k - 1));
}
