#include "strata.h"

#include <algorithm>
#include <cmath>

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
    double narrowest = bounds_[2] - bounds_[1], widest = narrowest;
    for (int m = 2; m <= count_; ++m) {
        narrowest = std::min(narrowest, bounds_[m + 1] - bounds_[m]);
        widest = std::max(widest, bounds_[m + 1] - bounds_[m]);
    }
    const double span = bounds_[count_ + 1] - bounds_[1];
    if (narrowest > 0 && widest <= 1.5 * narrowest && std::isfinite(span))
        perUnit_ = count_ / span;
}

int ClassBounds::boundsAtOrBelow(double v) const
{
    if (count_ == 0)
        return 0;
    if (perUnit_ > 0) {
        const double guess = (v - bounds_[1]) * perUnit_;  // classes below v, nearly
        if (guess >= 0 && guess <= count_) {               // false for NaN
            // The answer n (bound n <= v < bound n+1) lies between lo and hi
            // when bound lo <= v and v < bound hi+1; near-regular steps keep
            // it within a bound or two of the guess.
            const int m = static_cast<int>(guess) + 1;
            const int lo = std::max(1, m - 2), hi = std::min(count_ + 1, m + 2);
            if (bounds_[lo] <= v && (hi == count_ + 1 || v < bounds_[hi + 1])) {
                int n = lo;
                while (n < hi && bounds_[n + 1] <= v)
                    ++n;
                return n;
            }
        }
    }
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
