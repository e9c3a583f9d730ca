// P-values of chi-square statistics against R's pchisq(x, df, lower.tail = FALSE).
#include <gtest/gtest.h>

#include <cmath>

#include "veldrix.h"

TEST(ChiSquareUpperTail, MatchesRsPchisq)
{
    struct Case {
        double x, df, p;
    };
    const Case cases[] = {
        {3.841458820694124, 1, 0.049999999999999975},  {36.741669249499999, 3, 5.2184191955227401e-08},
        {0.5, 1, 0.47950012218695348},                 {250, 10, 5.4278339609692809e-48},
        {12, 17, 0.80013721833467255},                 {0.001, 2, 0.99950012497916929},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(ChiSquareUpperTail(c.x, c.df) / c.p, 1.0, 1e-12) << c.x << " df " << c.df;
    EXPECT_EQ(ChiSquareUpperTail(0.0, 3), 1.0);
    EXPECT_TRUE(std::isnan(ChiSquareUpperTail(2.0, 0)));
}
