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

#include "split_follow_up.h"
#include "strata.h"
#include "veldrix.h"

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
