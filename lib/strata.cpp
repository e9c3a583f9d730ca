#include "strata.h"

#include <algorithm>

namespace veldrix {

ClassBounds::ClassBounds(const double* bounds, int count)
    : bounds_(bounds), count_(count < 0 ? 0 : count), ascending_(true)
{
    if (count_ == 0)
        return;
    for (int m = 1; m <= count_ + 1; ++m) {
        // Written so that a NaN bound also makes the bounds not ascending.
        if (!(bounds_[m] == bounds_[m]) || (m > 1 && !(bounds_[m - 1] <= bounds_[m]))) {
            ascending_ = false;
            return;
        }
    }
}

int ClassBounds::boundsAtOrBelow(double v) const
{
    if (count_ == 0)
        return 0;
    const double* first = bounds_ + 1;
    const double* last = bounds_ + count_ + 2;
    // upper_bound finds the first bound > v; a NaN v compares false with
    // everything and lands past the end, which is "no class" as wanted.
    return static_cast<int>(std::upper_bound(first, last, v) - first);
}

int ClassBounds::classOf(double v) const
{
    if (ascending_) {
        int below = boundsAtOrBelow(v);
        return (below >= 1 && below <= count_) ? below : 0;
    }
    for (int i = 1; i <= count_; ++i)
        if (bounds_[i] <= v && v < bounds_[i + 1])
            return i;
    return 0;
}

}  // namespace veldrix
