// Confidence-interval multipliers: the closed formulas, the exact Poisson
// limits and the functions behind them.
#include <gtest/gtest.h>

#include <boost/math/special_functions/gamma.hpp>
#include <cmath>
#include <limits>
#include <vector>

#include "exact_poisson.h"
#include "incomplete_gamma.h"
#include "literal_reference.h"
#include "multiplier_reference.h"
#include "veldrix.h"

namespace {

constexpr double kZ95 = 1.95996398454005;
constexpr double kZ90 = 1.64485362695147;
constexpr double kZ99 = 2.5758293035489;

// The methods by the names of the reference table; the exact method takes
// alpha, the others z.
struct Method {
    const char* name;
    double (*low)(double, double);
    double (*high)(double, double);
    bool takesAlpha;
};
const Method kMethods[] = {
    {"exact", MultiplierExactLow, MultiplierExactHigh, true},
    {"byar", MultiplierByarLow, MultiplierByarHigh, false},
    {"chisquare", MultiplierChiSquareLow, MultiplierChiSquareHigh, false},
    {"squareroot", MultiplierSquareRootLow, MultiplierSquareRootHigh, false},
    {"wald", MultiplierWaldLow, MultiplierWaldHigh, false},
};

TEST(Multipliers, MatchTheReferenceTableComputedInR)
{
    const auto table = vdx::test::LoadMultiplierReference();
    ASSERT_EQ(table.size(), 30u);
    for (const auto& r : table) {
        SCOPED_TRACE(testing::Message() << r.method << " O " << r.observed << " alpha " << r.alpha);
        const Method* m = nullptr;
        for (const Method& candidate : kMethods)
            if (r.method == candidate.name)
                m = &candidate;
        ASSERT_NE(m, nullptr);
        const double second = m->takesAlpha ? r.alpha : r.z;
        EXPECT_NEAR(m->low(r.observed, second) / r.low, 1.0, 1e-9);
        EXPECT_NEAR(m->high(r.observed, second) / r.high, 1.0, 1e-9);
    }
}

TEST(Multipliers, ApproximateBoundsAreNotClipped)
{
    // Byar's lower base 1 - 1/9 - 3/3 is negative and keeps its sign when
    // cubed; the square root method's lower base 1 - 3/2 is squared.
    EXPECT_NEAR(MultiplierByarLow(1, 3.0), std::pow(-1.0 / 9.0, 3.0), 1e-15);
    EXPECT_LT(MultiplierByarLow(1, 3.0), 0.0);
    EXPECT_NEAR(MultiplierSquareRootLow(1, 3.0), 0.25, 1e-15);
}

TEST(Multipliers, WiderLevelGivesWiderBounds)
{
    for (double o : {1.0, 7.0, 250.0}) {
        EXPECT_LT(MultiplierWaldLow(o, kZ99), MultiplierWaldLow(o, kZ95));
        EXPECT_LT(MultiplierWaldLow(o, kZ95), MultiplierWaldLow(o, kZ90));
        EXPECT_LT(MultiplierExactLow(o, 0.01), MultiplierExactLow(o, 0.05));
        EXPECT_GT(MultiplierExactHigh(o, 0.01), MultiplierExactHigh(o, 0.05));
        EXPECT_GT(MultiplierByarHigh(o, kZ99), MultiplierByarHigh(o, kZ90));
    }
}

TEST(Multipliers, ExactMethodTruncatesTheCountButDividesByTheTypedCount)
{
    EXPECT_DOUBLE_EQ(MultiplierExactHigh(10.7, 0.05), veldrix::ExactPoissonLimit(10, 0.05, 1) / 10.7);
    EXPECT_DOUBLE_EQ(MultiplierExactLow(10.7, 0.05), veldrix::ExactPoissonLimit(10, 0.05, 2) / 10.7);
}

TEST(Multipliers, ExactLimitsOutsideTheUsualDomain)
{
    // A count below 1: no count lies below 0, so the lower limit is 0.
    EXPECT_EQ(veldrix::ExactPoissonLimit(0.3, 0.05, 2), 0.0);
    EXPECT_NEAR(veldrix::ExactPoissonLimit(0.3, 0.05, 1), -std::log(0.025), 1e-9);
    // alpha 0 (no level): the whole half-line.
    EXPECT_EQ(veldrix::ExactPoissonLimit(10, 0.0, 2), 0.0);
    EXPECT_EQ(veldrix::ExactPoissonLimit(10, 0.0, 1), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(veldrix::ExactPoissonLimit(10, 2.0, 1)));
    EXPECT_TRUE(std::isnan(veldrix::ExactPoissonLimit(-1, 0.05, 1)));
    EXPECT_TRUE(std::isnan(veldrix::ExactPoissonLimit(10, 0.05, 3)));
    EXPECT_TRUE(std::isnan(MultiplierExactHigh(std::nan(""), 0.05)));
}

// ---- LogGamma -------------------------------------------------------------

TEST(LogGamma, NearZeroAtOneAndTwo)
{
    EXPECT_NEAR(veldrix::LogGamma(1.0), 0.0, 1e-13);
    EXPECT_NEAR(veldrix::LogGamma(2.0), 0.0, 1e-13);
}

TEST(LogGamma, OneForZeroNegativeAndNotANumber)
{
    EXPECT_EQ(veldrix::LogGamma(0.0), 1.0);
    EXPECT_EQ(veldrix::LogGamma(-0.0), 1.0);
    EXPECT_EQ(veldrix::LogGamma(-2.5), 1.0);
    EXPECT_EQ(veldrix::LogGamma(std::nan("")), 1.0);
}

TEST(LogGamma, MatchesFactorialsAndHalfIntegers)
{
    EXPECT_NEAR(veldrix::LogGamma(11.0), std::log(3628800.0), 1e-12);
    EXPECT_NEAR(veldrix::LogGamma(0.5), 0.5 * std::log(M_PI), 1e-13);
    EXPECT_NEAR(veldrix::LogGamma(171.0), std::lgamma(171.0), 1e-10);
}

// ---- Incomplete gamma ---------------------------------------------------------

TEST(IncompleteGamma, AgreesWithBoostOverAllEvaluationRegions)
{
    const double as[] = {0.5, 1, 2, 7.5, 19, 19.999, 20, 21, 37, 50, 120, 1000, 1e5, 1e6, 1e7 + 1};
    const double ratios[] = {0.01, 0.1, 0.25, 0.3, 0.32, 0.5, 0.8, 0.95, 0.999, 1, 1.001,
                             1.05, 1.2, 1.5, 2, 2.3, 2.4, 2.6, 3, 5, 20};
    for (double a : as) {
        for (double ratio : ratios) {
            double x = a * ratio;
            veldrix::GammaTails ours = veldrix::RegularizedGamma(a, x);
            double p = boost::math::gamma_p(a, x), q = boost::math::gamma_q(a, x);
            SCOPED_TRACE(testing::Message() << "a " << a << " x " << x);
            EXPECT_NEAR(ours.p, p, 1e-14);
            EXPECT_NEAR(ours.q, q, 1e-14);
            // Tails that matter to a confidence limit are also right relatively.
            if (p > 1e-12) {
                EXPECT_NEAR(ours.p / p, 1.0, 1e-11);
            }
            if (q > 1e-12) {
                EXPECT_NEAR(ours.q / q, 1.0, 1e-11);
            }
        }
    }
}

TEST(IncompleteGamma, EndsOfTheRange)
{
    EXPECT_EQ(veldrix::RegularizedGamma(3, 0).p, 0.0);
    EXPECT_EQ(veldrix::RegularizedGamma(3, 0).q, 1.0);
    EXPECT_EQ(veldrix::RegularizedGamma(3, std::numeric_limits<double>::infinity()).q, 0.0);
    EXPECT_TRUE(std::isnan(veldrix::RegularizedGamma(0, 1).p));
    EXPECT_TRUE(std::isnan(veldrix::RegularizedGamma(2, -1).q));
}

TEST(PoissonTail, IsTheTailMinusHalfAlpha)
{
    // P(X <= 2) at mean 1.5 and P(X >= 2) at mean 1.5.
    double le2 = std::exp(-1.5) * (1 + 1.5 + 1.125);
    EXPECT_NEAR(veldrix::PoissonTail(2.9, 1.5, 0.1, 1), le2 - 0.05, 1e-15);
    EXPECT_NEAR(veldrix::PoissonTail(2.9, 1.5, 0.1, 2), 1 - std::exp(-1.5) * 2.5 - 0.05, 1e-15);
    // At mean 0 every count is 0.
    EXPECT_EQ(veldrix::PoissonTail(3, 0.0, 0.1, 1), 1.0 - 0.05);
    EXPECT_EQ(veldrix::PoissonTail(3, 0.0, 0.1, 2), -0.05);
}

// ---- Agreement with the literal evaluation and with the exact limits --------

TEST(ExactLimitsAgreement, WithTheLiteralEvaluationUpTo1000Observed)
{
    std::vector<double> counts;
    for (int o = 1; o <= 40; ++o)
        counts.push_back(o);
    for (double o : {1.5, 2.5, 17.3, 55.0, 99.0, 100.0, 150.0, 256.0, 400.0, 640.0, 999.9, 1000.0})
        counts.push_back(o);
    for (double o : counts) {
        for (double alpha : {0.1, 0.05, 0.01}) {
            if (o > 100 && alpha != 0.05)
                continue;  // the literal evaluation is slow; one level suffices up there
            SCOPED_TRACE(testing::Message() << "O " << o << " alpha " << alpha);
            EXPECT_NEAR(MultiplierExactLow(o, alpha), literal::ExactPoissonLimit(o, alpha, 2) / o, 1e-8);
            EXPECT_NEAR(MultiplierExactHigh(o, alpha), literal::ExactPoissonLimit(o, alpha, 1) / o, 1e-8);
        }
    }
}

std::vector<double> countsUpTo1e7()
{
    std::vector<double> counts;
    for (double o = 1; o < 1e7; o *= 1.37)
        counts.push_back(std::floor(o));
    for (double o : {1e3, 1e4, 99999.0, 1e5, 1e6, 5e6, 1e7})
        counts.push_back(o);
    return counts;
}

TEST(ExactLimitsAgreement, WithTheChiSquareQuantilesUpTo1e7Observed)
{
    for (double n : countsUpTo1e7()) {
        for (double alpha : {0.1, 0.05, 0.01}) {
            SCOPED_TRACE(testing::Message() << "n " << n << " alpha " << alpha);
            // Upper: P(X <= n) = alpha/2 <=> Q(n + 1, mu) = alpha/2.
            double upper = boost::math::gamma_q_inv(n + 1, alpha / 2);
            // Lower: P(X >= n) = alpha/2 <=> P(n, mu) = alpha/2.
            double lower = boost::math::gamma_p_inv(n, alpha / 2);
            EXPECT_NEAR(veldrix::ExactPoissonLimit(n, alpha, 1) / upper, 1.0, 1e-9);
            EXPECT_NEAR(veldrix::ExactPoissonLimit(n, alpha, 2) / lower, 1.0, 1e-9);
        }
    }
}

TEST(ExactLimitsAgreement, LowerLimitOfLargeCountsIsBelowTheCount)
{
    // Cutting the upper tail short would push the lower limit up to the
    // count itself and beyond; the limit must lie about z sqrt(n) below n.
    for (double n : {1e5, 1e6, 1e7}) {
        double lower = veldrix::ExactPoissonLimit(n, 0.05, 2);
        EXPECT_NEAR((n - lower) / std::sqrt(n), 1.96, 0.02) << n;
    }
}

}  // namespace
