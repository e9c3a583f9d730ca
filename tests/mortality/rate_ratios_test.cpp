// Rate ratios between exposure categories: the Poisson regression against
// R's glm on the table in rate_ratios/ (made by make_reference.R there), the
// cases without deaths, and the standardised rates against a hand computation.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "mortality/rate_ratio_table.h"
#include "mortality/rate_ratios.h"

namespace {

using vdx::mortality::ComputeRateRatios;
using vdx::mortality::RateRatioInput;
using vdx::mortality::RateRatioResult;
using vdx::mortality::StrataCell;

// The rows of a CSV file without its header, split at commas, quotes removed.
std::vector<std::vector<std::string>> ReadCsv(const std::string& name)
{
    std::ifstream in(std::string(VDX_RATE_RATIO_DATA) + "/" + name);
    EXPECT_TRUE(in) << name;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    bool header = name != "tests.csv";
    while (std::getline(in, line)) {
        if (header) {
            header = false;
            continue;
        }
        std::vector<std::string> fields;
        std::stringstream s(line);
        std::string field;
        while (std::getline(s, field, ','))
            fields.push_back(field.size() > 1 && field.front() == '"' ? field.substr(1, field.size() - 2) : field);
        rows.push_back(fields);
    }
    return rows;
}

// strata.csv: age, period, sex, category (1-4), person_years, deaths.
RateRatioInput ReferenceTable()
{
    RateRatioInput input;
    input.categories = {"1", "2", "3", "4"};
    input.adjustSex = true;
    for (const auto& r : ReadCsv("strata.csv"))
        input.cells.push_back({std::stoi(r[0]), std::stoi(r[1]), std::stoi(r[2]), std::stoi(r[3]) - 1,
                               std::stod(r[4]), std::stod(r[5])});
    EXPECT_EQ(input.cells.size(), 120u);
    return input;
}

TEST(RateRatios, PoissonRegressionEqualsRsGlm)
{
    const RateRatioResult result = ComputeRateRatios(ReferenceTable());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.notes.empty());
    const auto expected = ReadCsv("rate_ratios.csv");
    ASSERT_EQ(result.categories.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& row = result.categories[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.name, expected[i][0]);
        EXPECT_EQ(row.observed, std::stod(expected[i][1]));
        EXPECT_NEAR(row.personYears, std::stod(expected[i][2]), 1e-6);
        ASSERT_TRUE(row.fitted);
        EXPECT_NEAR(row.fitted->ratio, std::stod(expected[i][3]), 1e-6);
        EXPECT_NEAR(row.fitted->low, std::stod(expected[i][4]), 1e-6);
        EXPECT_NEAR(row.fitted->high, std::stod(expected[i][5]), 1e-6);
    }
    const auto tests = ReadCsv("tests.csv");
    ASSERT_TRUE(result.trendRatio && result.trend && result.heterogeneity);
    EXPECT_NEAR(result.trendRatio->ratio, std::stod(tests[0][1]), 1e-6);
    EXPECT_NEAR(result.trendRatio->low, std::stod(tests[0][2]), 1e-6);
    EXPECT_NEAR(result.trendRatio->high, std::stod(tests[0][3]), 1e-6);
    EXPECT_NEAR(result.trend->chiSquare, std::stod(tests[0][4]), 1e-6);
    EXPECT_NEAR(result.trend->p / std::stod(tests[0][5]), 1.0, 1e-6);
    EXPECT_NEAR(result.heterogeneity->chiSquare, std::stod(tests[1][1]), 1e-6);
    EXPECT_EQ(result.heterogeneity->df, std::stoi(tests[1][2]));
    EXPECT_NEAR(result.heterogeneity->p / std::stod(tests[1][3]), 1.0, 1e-6);
}

// No deaths in age class 1 and in category 3: the age class's cells leave
// the fit with a note, category 3 gets no ratio and a note, and everything
// else equals glm's fit in the limit (zero_cases.csv).
TEST(RateRatios, LevelAndCategoryWithoutDeathsGiveTheLimitAndNotes)
{
    RateRatioInput input = ReferenceTable();
    for (StrataCell& c : input.cells)
        if (c.age == 1 || c.category == 2)
            c.deaths = 0;
    input.reference = 1;  // category 2, so that category 1 is reported too
    const RateRatioResult result = ComputeRateRatios(input);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.cellsUsed, 96);
    ASSERT_EQ(result.notes.size(), 2u);
    EXPECT_NE(result.notes[0].find("age class 1 has no deaths"), std::string::npos) << result.notes[0];
    EXPECT_NE(result.notes[1].find("category 3 has no deaths"), std::string::npos) << result.notes[1];

    std::map<std::string, double> r;
    for (const auto& row : ReadCsv("zero_cases.csv"))
        r[row[0]] = std::stod(row[1]);
    ASSERT_EQ(result.categories.size(), 4u);
    EXPECT_EQ(result.categories[0].name, "2");
    const auto& one = result.categories[1];
    const auto& three = result.categories[2];
    const auto& four = result.categories[3];
    EXPECT_FALSE(three.fitted);
    EXPECT_FALSE(three.standardised);
    ASSERT_TRUE(one.fitted && four.fitted);
    // Against category 2: category 1's ratio is 1 / glm's ratio of 2 against 1.
    EXPECT_NEAR(one.fitted->ratio, 1 / r["ratio2"], 1e-6);
    EXPECT_NEAR(one.fitted->low, 1 / r["high2"], 1e-6);
    EXPECT_NEAR(one.fitted->high, 1 / r["low2"], 1e-6);
    EXPECT_NEAR(four.fitted->ratio, r["ratio4"] / r["ratio2"], 1e-6);
    EXPECT_NEAR(result.trendRatio->ratio, r["trend"], 1e-6);
    EXPECT_NEAR(result.trend->chiSquare, r["trend_chisq"], 1e-6);
    EXPECT_NEAR(result.heterogeneity->chiSquare, r["heterogeneity_chisq"], 1e-6);
    EXPECT_EQ(result.heterogeneity->df, 3);

    // As veldrix-cli prints it: every field a finite number except the empty
    // ratio fields of category 3; the reference row's ratios are 1.
    std::stringstream table(vdx::mortality::RateRatioTable(result));
    std::string line;
    std::getline(table, line);
    std::vector<std::vector<std::string>> rows;
    while (std::getline(table, line)) {
        std::vector<std::string> fields;
        std::stringstream s(line);
        std::string field;
        while (std::getline(s, field, ','))
            fields.push_back(field);
        if (line.back() == ',')
            fields.push_back("");
        rows.push_back(fields);
    }
    ASSERT_EQ(rows.size(), 6u);
    const std::vector<size_t> widths{10, 10, 10, 10, 6, 4};
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), widths[i]) << i;
        for (size_t f = 1; f < rows[i].size(); ++f) {
            const bool empty = i == 2 && (f == 3 || f == 4 || f == 5 || f >= 7);
            EXPECT_EQ(rows[i][f].empty(), empty) << i << " " << f;
            if (!empty) {
                EXPECT_TRUE(std::isfinite(std::stod(rows[i][f]))) << i << " " << f;
            }
        }
    }
    EXPECT_EQ(rows[0][0] + rows[0][3] + rows[0][7], "211");
    EXPECT_EQ(rows[4][0], "trend");
    EXPECT_EQ(rows[5][0] + rows[5][2], "heterogeneity3");
}

// Two age classes, one period, two categories, adjusted for age only.
//   age 1: category A 2 deaths / 1000 PY, B 3 / 500;  standard W1 = 1500
//   age 2: category A 10 / 2000,          B 8 / 1000; standard W2 = 3000
// DSR_A = (1500 * 2/1000 + 3000 * 10/2000) / 4500 = 18 / 4500 (400 per 100,000)
// DSR_B = (1500 * 3/500  + 3000 * 8/1000)  / 4500 = 33 / 4500
// Var_A / DSR_A^2 = (1500^2 * 2/1000^2 + 3000^2 * 10/2000^2) / 18^2 = 27 / 324 = 1/12
// Var_B / DSR_B^2 = (1500^2 * 3/500^2  + 3000^2 * 8/1000^2)  / 33^2 = 99 / 1089 = 1/11
// ratio 33/18, bounds ratio * exp(-+ 1.959964 sqrt(1/12 + 1/11)).
TEST(RateRatios, StandardisedRatesEqualTheHandComputation)
{
    RateRatioInput input;
    input.categories = {"A", "B"};
    input.adjustCalendar = false;
    input.cells = {{1, 1, 1, 0, 1000, 2}, {1, 1, 1, 1, 500, 3}, {2, 1, 1, 0, 2000, 10}, {2, 1, 1, 1, 1000, 8}};
    const RateRatioResult result = ComputeRateRatios(input);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_TRUE(result.categories[0].stdRate && result.categories[1].stdRate && result.categories[1].standardised);
    EXPECT_NEAR(result.categories[0].stdRate.value(), 400.0, 1e-9);
    EXPECT_NEAR(result.categories[1].stdRate.value(), 33.0 / 4500 * 1e5, 1e-9);
    const double ratio = 33.0 / 18;
    const double spread = std::exp(1.959963984540054 * std::sqrt(1.0 / 12 + 1.0 / 11));
    EXPECT_NEAR(result.categories[1].standardised->ratio, ratio, 1e-12);
    EXPECT_NEAR(result.categories[1].standardised->low, ratio / spread, 1e-9);
    EXPECT_NEAR(result.categories[1].standardised->high, ratio * spread, 1e-9);
}

}  // namespace
