/*
 * libveldrix: the numeric kernels of VELDRIX.
 *
 * Stateless functions with C linkage and undecorated names, so that any
 * language that can load a shared library (dlopen/dlsym, ctypes, ...) can call
 * them. The library allocates nothing and keeps nothing between calls.
 *
 * Conventions shared by the kernels
 *   - Dates are day numbers in doubles, whole days counted from 30 December
 *     1899 (day 0). Ages are (date - birth date) / 365.25, in years.
 *   - Arrays are passed as the address of their element 0 and are indexed
 *     from 0; element 0 of a bound or cell array is not used.
 *   - Age bounds: elements 1 .. A+1 hold the bounds in years; age class i
 *     (1 <= i <= A) is [bound i, bound i+1).
 *   - Calendar bounds: elements 1 .. C+1 hold day numbers (1 January of each
 *     bound year); calendar period j (1 <= j <= C) is [bound j, bound j+1).
 *   - Cell k = i + A * (j - 1) belongs to age class i and calendar period j;
 *     the cells in use are 1 .. A*C.
 *   - Class counts A and C arrive in 32-bit slots of which only the low 16
 *     bits are read, as a signed value; a count of 0 or less means no class.
 *   - A day (or a death) that lies outside every age class or every calendar
 *     period is not counted anywhere. If classes overlap (bounds that are not
 *     ascending), the class with the smaller index wins.
 */
#ifndef VELDRIX_H
#define VELDRIX_H

#include <stdint.h>

#if defined(__GNUC__)
#define VELDRIX_API __attribute__((visibility("default")))
#else
#define VELDRIX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Person-years ------------------------------------------------------ */

/*
 * Splits one person's follow-up from startDate to endDate (both days
 * included) into strata and stores the number of days of every stratum in
 * cells. Cells 0 .. cellLimit are first set to 0 (none when cellLimit < 0),
 * so every call starts from an empty vector. A stratum whose cell index lies
 * above cellLimit is not stored (the caller passes cellLimit >= A * C).
 * With startDate > endDate nothing is counted. Returns 1.0.
 */
VELDRIX_API double PYCOMPUTE(double startDate, double endDate, double birthDate,
                             double* cells, int32_t cellLimit,
                             const double* ageBounds, int32_t ageClassCount,
                             const double* calendarBounds, int32_t periodCount);

/*
 * The same split, reported sparsely: for every run of consecutive days that
 * lie in one stratum, one entry (cell index, number of days). A cell can
 * appear in more than one entry only when the bounds are not ascending; the
 * caller adds the entries up. Entries are written to cellIndex[0..] and
 * days[0..], at most capacity of them; the result is the number of entries
 * of the person, also when that is more than capacity (then only the first
 * capacity entries are written and the caller may call again with room for
 * all). A person never has more than VELDRIX_PY_CELLS_MAX(A, C) entries, so
 * a buffer of that size always suffices; with ascending bounds A + C - 1 do.
 * cellIndex and days may be null when capacity is 0.
 */
VELDRIX_API int32_t PYCOMPUTE_CELLS(double startDate, double endDate, double birthDate,
                                    const double* ageBounds, int32_t ageClassCount,
                                    const double* calendarBounds, int32_t periodCount,
                                    int32_t* cellIndex, double* days, int32_t capacity);

/* Room that PYCOMPUTE_CELLS may need for one person (A and C as passed). */
#define VELDRIX_PY_CELLS_MAX(A, C) ((int32_t)(int16_t)(A) + (int32_t)(int16_t)(C) + 3)

/*
 * Prepared strata: what the kernels work out from a pair of bound arrays
 * (class counts, whether the bounds ascend, how to find a value's class),
 * done once for a whole run instead of once per person. STRATA_PREPARE fills
 * the caller's VeldrixStrata from the bounds and counts as PYCOMPUTE takes
 * them and returns the number of cells A * C (0 when A or C is 0 or less).
 * The bound arrays are referred to, not copied: they must stay in place and
 * unchanged while the prepared strata are used. The library allocates
 * nothing; a VeldrixStrata may be copied and used from any thread.
 *
 * PYCOMPUTE_PREPARED gives exactly the entries of PYCOMPUTE_CELLS and
 * DEATHCOMPUTE_PREPARED exactly the cell of DEATHCOMPUTE_CELL for the bounds
 * the strata were prepared from.
 */
typedef struct VeldrixStrata {
    int64_t opaque[24];
} VeldrixStrata;

VELDRIX_API int32_t STRATA_PREPARE(VeldrixStrata* strata, const double* ageBounds, int32_t ageClassCount,
                                   const double* calendarBounds, int32_t periodCount);

VELDRIX_API int32_t PYCOMPUTE_PREPARED(const VeldrixStrata* strata, double startDate, double endDate,
                                       double birthDate, int32_t* cellIndex, double* days, int32_t capacity);

VELDRIX_API int32_t DEATHCOMPUTE_PREPARED(const VeldrixStrata* strata, double deathDate, double birthDate);

/* ---- A time-dependent third axis ---------------------------------------- */

/*
 * One period of employment: the days start .. end (both included, whole day
 * numbers) at an exposure intensity per year.
 */
typedef struct VeldrixWorkPeriod {
    double start;
    double end;
    double intensity;
} VeldrixWorkPeriod;

/* The value a third axis classes a day d by, in years:
 *   TIME_SINCE_HIRE  (d - hire) / 365.25;
 *   DURATION         the employed days before d / 365.25;
 *   CUMULATIVE       the sum over the periods, in the order given, of
 *                    intensity x its employed days before d, / 365.25.
 * With a lag of L whole years the value of d is the value of the day L
 * calendar years before d (29 February going to 28 February), so that only
 * what was accumulated on the days strictly before that day counts. */
#define VELDRIX_AXIS_TIME_SINCE_HIRE 1
#define VELDRIX_AXIS_DURATION 2
#define VELDRIX_AXIS_CUMULATIVE 3

typedef struct VeldrixAxis {
    int32_t kind;                     /* VELDRIX_AXIS_... */
    int32_t lagYears;                 /* 0 or more */
    const double* bounds;             /* lower bounds of the K classes, ascending; the last class is open */
    int32_t classCount;               /* K */
    double hireDate;                  /* for TIME_SINCE_HIRE */
    const VeldrixWorkPeriod* periods; /* for DURATION and CUMULATIVE */
    int32_t periodCount;
} VeldrixAxis;

/*
 * PYCOMPUTE_PREPARED with a third axis: a day of age class i, calendar period
 * j and axis class k (bound k <= value < bound k+1) counts in cell
 * i + A * (j - 1) + A * C * (k - 1). Days that have an age and calendar cell
 * but a value below the first bound (or none, a missing hire date) count in
 * no cell; their number is added to *daysBelow. Follow-up is split at the
 * days on which the value crosses a bound, and the result is that of a walk
 * over the days. Returns the number of entries (as PYCOMPUTE_PREPARED), or -1
 * when the axis is not usable (unknown kind, negative lag, bounds not
 * ascending or none).
 */
VELDRIX_API int32_t PYCOMPUTE_AXIS(const VeldrixStrata* strata, const VeldrixAxis* axis, double startDate,
                                   double endDate, double birthDate, int32_t* cellIndex, double* days,
                                   int32_t capacity, double* daysBelow);

/*
 * PYCOMPUTE_AXIS with the days below the first bound (or without a value) in
 * a layer of their own: a day of age class i, calendar period j and axis
 * class k counts in cell i + A * (j - 1) + A * C * k, k = 0 for the days
 * below the first bound. Every day that has an age and calendar cell is then
 * in one cell, and the person's age x calendar split (PYCOMPUTE_PREPARED) is
 * the sum of the K + 1 layers: one split serves both tables.
 */
VELDRIX_API int32_t PYCOMPUTE_AXIS_LAYERS(const VeldrixStrata* strata, const VeldrixAxis* axis, double startDate,
                                          double endDate, double birthDate, int32_t* cellIndex, double* days,
                                          int32_t capacity);

/* The cell of a death on deathDate with the numbering of PYCOMPUTE_AXIS, or 0
 * when it is in no cell; -1 when the axis is not usable. */
VELDRIX_API int32_t DEATHCOMPUTE_AXIS(const VeldrixStrata* strata, const VeldrixAxis* axis, double deathDate,
                                      double birthDate);

/* ---- Deaths ------------------------------------------------------------ */

/*
 * Places one death in its stratum: cells 0 .. cellLimit are set to 0, then
 * the cell of the age at death and the calendar period of the death date
 * becomes 1.0 (if both exist and the cell lies within cellLimit). Returns 1.0.
 */
VELDRIX_API double DEATHCOMPUTE(double deathDate, double birthDate,
                                double* cells, int32_t cellLimit,
                                const double* ageBounds, int32_t ageClassCount,
                                const double* calendarBounds, int32_t periodCount);

/* The cell index DEATHCOMPUTE would set, or 0 when the death is in no stratum. */
VELDRIX_API int32_t DEATHCOMPUTE_CELL(double deathDate, double birthDate,
                                      const double* ageBounds, int32_t ageClassCount,
                                      const double* calendarBounds, int32_t periodCount);

/* ---- Confidence-interval multipliers ------------------------------------ */

/*
 * Factors by which a standardised mortality ratio is multiplied to give its
 * lower (Low) or upper (High) confidence bound; each is a bound of the
 * Poisson mean divided by the observed count. First argument: the observed
 * count O (meant for O >= 1). Second argument: the two-sided standard normal
 * quantile z of the level, except for the exact method, which takes the
 * error probability alpha (1 - level).
 *
 * The exact method uses n = O truncated toward zero in the Poisson sums and
 * divides by the untruncated O. Its lower limit for n = 0 is 0; with
 * alpha <= 0 its limits are 0 and +infinity; with alpha >= 2 or a negative O
 * the result is NaN.
 */
VELDRIX_API double MultiplierExactLow(double observed, double alpha);
VELDRIX_API double MultiplierExactHigh(double observed, double alpha);
VELDRIX_API double MultiplierByarLow(double observed, double z);
VELDRIX_API double MultiplierByarHigh(double observed, double z);
VELDRIX_API double MultiplierChiSquareLow(double observed, double z);
VELDRIX_API double MultiplierChiSquareHigh(double observed, double z);
VELDRIX_API double MultiplierSquareRootLow(double observed, double z);
VELDRIX_API double MultiplierSquareRootHigh(double observed, double z);
VELDRIX_API double MultiplierWaldLow(double observed, double z);
VELDRIX_API double MultiplierWaldHigh(double observed, double z);

/* ---- Tests ------------------------------------------------------------- */

/*
 * P-value of a chi-square statistic: the probability that a chi-square
 * variable with df degrees of freedom (df > 0, not necessarily whole) is at
 * least chiSquare. 1 for chiSquare <= 0; NaN for df <= 0 or a NaN argument.
 */
VELDRIX_API double ChiSquareUpperTail(double chiSquare, double df);

#ifdef __cplusplus
}
#endif

#endif /* VELDRIX_H */
