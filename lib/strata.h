// Class search shared by the person-years and the death kernels: which age
// class or calendar period a value falls in, given bounds laid out as the
// exported header describes (element 0 unused, bounds at 1 .. count+1).
#pragma once

#include <cstdint>

namespace veldrix {

// The class counts arrive in 32-bit slots; only the low 16 bits count, as a
// signed value.
inline int classCount(int32_t slot) { return static_cast<int16_t>(slot); }

class ClassBounds {
public:
    ClassBounds(const double* bounds, int count);

    int count() const { return count_; }
    // Bound m (1 <= m <= count + 1).
    double bound(int m) const { return bounds_[m]; }
    // Bounds 1 .. count+1 are non-decreasing and none is NaN. Then the
    // classes do not overlap and a value's class follows from the number of
    // bounds at or below it.
    bool ascending() const { return ascending_; }

    // The first class i (1 <= i <= count) with bound i <= v < bound i+1, or
    // 0 when there is none.
    int classOf(double v) const;

    // For ascending bounds: how many of bounds 1 .. count+1 are <= v
    // (0 .. count+1). A result i with 1 <= i <= count is v's class.
    int boundsAtOrBelow(double v) const;

private:
    const double* bounds_;
    int count_;
    bool ascending_;
    // For a regular series (From/To/Step; whole years of calendar bounds
    // differ by a day at most): classes per unit above bound 1, from which
    // a value's class follows by arithmetic. 0 for other bounds, which are
    // searched by bisection.
    double perUnit_ = 0;
};

// The class tables of a run, built once from its bound arrays and kept in
// the caller's VeldrixStrata.
struct PreparedStrata {
    ClassBounds ages;
    ClassBounds periods;
};

// Cell of age class i and calendar period j with A age classes.
inline int64_t cellIndex(int ageClass, int period, int ageClasses)
{
    return ageClass + static_cast<int64_t>(ageClasses) * (period - 1);
}

}  // namespace veldrix
