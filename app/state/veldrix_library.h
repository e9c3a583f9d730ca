// The program's binding to the computation library libveldrix.so.
//
// The library is loaded by name at the first call of any of its exports, and
// each export is looked up at its first call. A missing library or export is
// a run-time error of the calling command: the call throws VdxError with
// err::DllLoad or err::DllEntryPoint, which the command's handler reports
// with the general error message. The program calls the library only through
// these functions.
#pragma once

#include <cstdint>
#include <string>

namespace vdx::library {

// The file name the library is loaded by: first as it is (so that the loader's
// search path and the program's run path apply), then from the folder of the
// running program.
inline constexpr const char* kLibraryFileName = "libveldrix.so";

// A third axis of the split (the layout of the library's VeldrixAxis and
// VeldrixWorkPeriod, see veldrix.h): kind 1 time since hire, 2 duration of
// employment, 3 cumulative exposure; bounds of classCount classes.
struct AxisPeriod {
    double start, end, intensity;
};
struct Axis {
    int32_t kind = 0;
    int32_t lagYears = 0;
    const double* bounds = nullptr;
    int32_t classCount = 0;
    double hireDate = 0;
    const AxisPeriod* periods = nullptr;
    int32_t periodCount = 0;
};

// The class tables of one run, prepared once by the library from the bound
// arrays (which must outlive the Strata and stay unchanged), then used for
// every person and death of the run; usable from any thread.
class Strata {
public:
    Strata(const double* ageBounds, int16_t ageClassCount, const double* calendarBounds, int16_t periodCount);
    // Number of cells A * C.
    int32_t cellCount() const { return cellCount_; }
    // Days of one person's follow-up by stratum as (cell, days) entries;
    // returns the number of entries of the person, of which at most capacity
    // are written (see veldrix.h).
    int32_t personCells(double startDate, double endDate, double birthDate, int32_t* cellIndex, double* days,
                        int32_t capacity) const;
    // The cell of one death, 0 when it lies in no stratum.
    int32_t deathCell(double deathDate, double birthDate) const;
    // PYCOMPUTE_AXIS and DEATHCOMPUTE_AXIS for the prepared bounds: cells
    // i + A * (j - 1) + A * C * (k - 1); days below the first bound added to
    // *daysBelow; -1 for an axis the library refuses.
    int32_t axisCells(const Axis& axis, double startDate, double endDate, double birthDate, int32_t* cellIndex,
                      double* days, int32_t capacity, double* daysBelow) const;
    // PYCOMPUTE_AXIS_LAYERS: the same cells, with layer 0
    // (i + A * (j - 1)) for the days below the first bound, so that the sum
    // of the layers is the person's age x calendar split.
    int32_t axisLayerCells(const Axis& axis, double startDate, double endDate, double birthDate,
                           int32_t* cellIndex, double* days, int32_t capacity) const;
    int32_t axisDeathCell(const Axis& axis, double deathDate, double birthDate) const;

private:
    alignas(8) unsigned char prepared_[192];
    int32_t cellCount_ = 0;
};

// Confidence-bound multipliers: (observed, alpha) for the exact method,
// (observed, z) for the others.
double MultiplierExactLow(double observed, double alpha);
double MultiplierExactHigh(double observed, double alpha);
double MultiplierByarLow(double observed, double z);
double MultiplierByarHigh(double observed, double z);
double MultiplierChiSquareLow(double observed, double z);
double MultiplierChiSquareHigh(double observed, double z);
double MultiplierSquareRootLow(double observed, double z);
double MultiplierSquareRootHigh(double observed, double z);
double MultiplierWaldLow(double observed, double z);
double MultiplierWaldHigh(double observed, double z);

// P-value of a chi-square statistic with df degrees of freedom.
double ChiSquareUpperTail(double chiSquare, double df);

// For tests: forget the loaded library and load fileName (a plain name or a
// path) at the next call of an export. Nothing is loaded here.
void UseLibraryFile(const std::string& fileName);

}  // namespace vdx::library
