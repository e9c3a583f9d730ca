// Death assignment kernel: the stratum of one death, with the age formula,
// the class bounds and the cell numbering of the person-years kernel, so that
// deaths and person-years line up cell for cell.
#include <cstdint>
#include <new>

#include "strata.h"
#include "veldrix.h"

namespace veldrix {
namespace {

int64_t deathCell(double deathDate, double birthDate, const ClassBounds& ages, const ClassBounds& periods)
{
    if (ages.count() == 0 || periods.count() == 0)
        return 0;
    int i = ages.classOf((deathDate - birthDate) / 365.25);
    if (i == 0)
        return 0;
    int j = periods.classOf(deathDate);
    return j == 0 ? 0 : cellIndex(i, j, ages.count());
}

int64_t deathCell(double deathDate, double birthDate, int32_t ageClassCount, const double* ageBounds,
                  const double* calendarBounds, int32_t periodCount)
{
    return deathCell(deathDate, birthDate, ClassBounds(ageBounds, classCount(ageClassCount)),
                     ClassBounds(calendarBounds, classCount(periodCount)));
}

}  // namespace
}  // namespace veldrix

extern "C" VELDRIX_API double DEATHCOMPUTE(double deathDate, double birthDate,
                                           double* cells, int32_t cellLimit,
                                           const double* ageBounds, int32_t ageClassCount,
                                           const double* calendarBounds, int32_t periodCount)
{
    for (int64_t k = 0; k <= cellLimit; ++k)
        cells[k] = 0.0;
    int64_t cell = veldrix::deathCell(deathDate, birthDate, ageClassCount, ageBounds,
                                      calendarBounds, periodCount);
    if (cell > 0 && cell <= cellLimit)
        cells[cell] = 1.0;
    return 1.0;
}

extern "C" VELDRIX_API int32_t DEATHCOMPUTE_CELL(double deathDate, double birthDate,
                                                 const double* ageBounds, int32_t ageClassCount,
                                                 const double* calendarBounds, int32_t periodCount)
{
    return static_cast<int32_t>(veldrix::deathCell(deathDate, birthDate, ageClassCount, ageBounds,
                                                   calendarBounds, periodCount));
}

extern "C" VELDRIX_API int32_t DEATHCOMPUTE_PREPARED(const VeldrixStrata* strata, double deathDate, double birthDate)
{
    const auto* prepared = std::launder(reinterpret_cast<const veldrix::PreparedStrata*>(strata));
    return static_cast<int32_t>(veldrix::deathCell(deathDate, birthDate, prepared->ages, prepared->periods));
}
