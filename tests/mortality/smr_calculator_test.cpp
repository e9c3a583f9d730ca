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
    const Case cases[] = {
        {"0", "5", "Exact", "SMR = 0.00000000", "0 to 0 "},
        {"10", "0", "Exact", "SMR = 0.00000000", "0.00000000 to 0.00000000"},
        {"10", "0", "Wald", "SMR = 0.00000000", "0.00000000 to 0.00000000"},
        {"2.5", "1", "Byar", "SMR = 250.00000000", Fixed8(250 * byarLow2) + " to " + Fixed8(250 * byarHigh2)},
        // Below one half the count rounds to 0, where the multipliers are undefined.
        {"0.3", "1", "Chi Square", "SMR = 30.00000000", "0 to 0 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.observed) + " / " + c.expected + " " + c.method);
        const CalculatorResult r = CalculateSmr(Input(c.observed, c.expected, {c.method}));
        ASSERT_EQ(r.message, 0);
        EXPECT_NE(r.text.find(std::string("\r\n") + c.smrLine + "\r\n"), std::string::npos) << r.text;
        EXPECT_NE(r.text.find(std::string("Method 95%CI:\r\n") + c.boundLine + "\r\n"), std::string::npos) << r.text;
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
        {"3e9", "1", 40},          // too big for a whole count
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
