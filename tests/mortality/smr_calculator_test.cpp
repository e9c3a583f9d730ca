// The SMR calculator: its text, checks and arithmetic for typed numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "mortality/smr_calculator.h"

namespace vdx::mortality {
namespace {

constexpr double kZ95 = 1.95996398454005;

CalculatorInput Input(const std::string& observed, const std::string& expected,
                      std::initializer_list<const char*> methods, double nullValue = 100, int level = 95) {
    CalculatorInput in;
    in.observed = observed;
    in.expected = expected;
    in.levelIndex = CalculatorLevelIndex(std::to_string(level));
    for (const char* m : methods) in.methods[CalculatorMethodIndex(m)] = true;
    in.nullValue = nullValue;
    return in;
}

std::string Fixed8(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.8f", v);
    return buf;
}

TEST(SmrCalculator, TenObservedTenExpectedByarGivesTheWholeText) {
    const CalculatorResult r = CalculateSmr(Input("10", "10", {"Byar"}));
    ASSERT_EQ(r.message, 0);
    EXPECT_EQ(r.text,
              "========================\r\n"
              " VELDRIX SMR Calculator \r\n"
              "========================\r\n"
              "\r\n"
              "Observed = 10 ; Expected = 10.00000000 ; Null Value: SMR=100\r\n"
              "\r\n"
              "SMR = 100.00000000\r\n"
              "\r\n"
              "Byar Method 95%CI:\r\n"
              "47.87449914 to 183.91458606\r\n"
              "\r\n");
    // The SMR and the bound line are the coloured values.
    ASSERT_EQ(r.blue.size(), 2u);
    EXPECT_EQ(r.text.substr(r.blue[0].start, r.blue[0].length), "100.00000000");
    EXPECT_EQ(r.text.substr(r.blue[1].start, r.blue[1].length), "47.87449914 to 183.91458606");
}

TEST(SmrCalculator, BoundLinesOfSpecialObservedAndExpectedNumbers) {
    struct Case {
        const char* observed;
        const char* expected;
        const char* method;
        const char* smrLine;
        std::string boundLine;
    };
    // O = 2.5 reaches the multipliers as 2 (halves to even), the SMR keeps 2.5.
    const double byarLow2 = std::pow(1 - 1.0 / 18 - kZ95 / (3 * std::sqrt(2.0)), 3.0);
    const double byarHigh2 = 1.5 * std::pow(1 - 1.0 / 27 + kZ95 / (3 * std::sqrt(3.0)), 3.0);
    // Upper bounds of a zero count in R: poisson.test(0, 1)$conf.int[2] and qchisq(0.95, 1).
    const Case cases[] = {
        {"0", "5", "Exact", "SMR = 0.00000000", "0.00000000 to " + Fixed8(3.68887945411394 / 5 * 100)},
        // E = 0: no SMR is defined, so no number is shown.
        {"10", "0", "Exact", "SMR = not defined (the expected number is 0)", "not defined"},
        {"0", "0", "Wald", "SMR = not defined (the expected number is 0)", "not defined"},
        {"2.5", "1", "Byar", "SMR = 250.00000000", Fixed8(250 * byarLow2) + " to " + Fixed8(250 * byarHigh2)},
        // Below one half the count rounds to 0: the bounds of a zero count.
        {"0.3", "1", "Chi Square", "SMR = 30.00000000", "0.00000000 to " + Fixed8(3.84145882069412 * 100)},
        // Counts beyond 32 bits: an SMR of 1 with bounds close to it (normal approximation).
        {"1e15", "1e15", "Exact", "SMR = 100.00000000",
         Fixed8(100 * (1 - kZ95 / std::sqrt(1e15))) + " to " + Fixed8(100 * (1 + kZ95 / std::sqrt(1e15)))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.observed) + " / " + c.expected + " " + c.method);
        const CalculatorResult r = CalculateSmr(Input(c.observed, c.expected, {c.method}));
        ASSERT_EQ(r.message, 0);
        EXPECT_NE(r.text.find(std::string("\r\n") + c.smrLine + "\r\n"), std::string::npos) << r.text;
        EXPECT_NE(r.text.find(std::string("Method 95%CI:\r\n") + c.boundLine + "\r\n"), std::string::npos) << r.text;
    }
}

TEST(SmrCalculator, WithNoDeathObservedEachMethodHasTheUpperBoundOfAZeroCount) {
    // Upper bounds of the mean at O = 0, levels 90, 95, 99, computed in R with
    // z <- qnorm(c(.95, .975, .995)): exact poisson.test(0, 1,
    // conf.level = L)$conf.int[2]; Byar (8/9 + z/3)^3; chi square (score
    // interval) qchisq(L, 1); square root (1 + z/2)^2; Wald as exact.
    struct Case {
        const char* method;
        double upper[3];
    } cases[] = {
        {"Exact", {2.995732274, 3.688879454, 5.298317367}},
        {"Byar", {2.968434973, 3.668011832, 5.336426741}},
        {"Chi Square", {2.705543454, 3.841458821, 6.634896601}},
        {"Square Root", {3.321239490, 3.920328690, 5.234553454}},
        {"Wald", {2.995732274, 3.688879454, 5.298317367}},
    };
    const int levels[] = {90, 95, 99};
    for (const Case& c : cases)
        for (int k = 0; k < 3; ++k) {
            const CalculatorResult r = CalculateSmr(Input("0", "0.7", {c.method}, 1, levels[k]));
            ASSERT_EQ(r.message, 0);
            const std::string bounds = r.text.substr(r.blue.at(1).start, r.blue.at(1).length);
            ASSERT_EQ(bounds.substr(0, 14), "0.00000000 to ") << c.method;
            EXPECT_NEAR(std::stod(bounds.substr(14)), c.upper[k] / 0.7, 1e-8) << c.method << " " << levels[k];
        }
}

TEST(SmrCalculator, MethodsFollowInTheirOrderWithTheLevelLabel) {
    const CalculatorResult r = CalculateSmr(Input("12", "8", {"Wald", "Exact", "Square Root"}, 1, 99));
    ASSERT_EQ(r.message, 0);
    const size_t exact = r.text.find("Exact Method 99%CI:");
    const size_t root = r.text.find("Square Root Method 99%CI:");
    const size_t wald = r.text.find("Wald Method 99%CI:");
    EXPECT_LT(exact, root);
    EXPECT_LT(root, wald);
    EXPECT_NE(wald, std::string::npos);
    EXPECT_EQ(r.text.find("Byar"), std::string::npos);
    EXPECT_NE(r.text.find("Observed = 12 ; Expected = 8.00000000 ; Null Value: SMR=1\r\n"), std::string::npos);
    EXPECT_NE(r.text.find("SMR = 1.50000000\r\n"), std::string::npos);
}

TEST(SmrCalculator, RefusalsInTheirOrder) {
    struct Case {
        const char* observed;
        const char* expected;
        int message;
    };
    const Case cases[] = {
        {"-1", "x", 38},     // the observed number is checked first
        {"abc", "5", 38},
        {"", "5", 38},
        {"3", "-0.5", 39},
        {"3", "5 deaths", 39},
        {"1e300", "1e-300", 40},   // the SMR overflows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.observed) + " / " + c.expected);
        const CalculatorResult r = CalculateSmr(Input(c.observed, c.expected, {"Exact"}));
        EXPECT_EQ(r.message, c.message);
        EXPECT_TRUE(r.text.empty());
    }
}

}  // namespace
}  // namespace vdx::mortality
