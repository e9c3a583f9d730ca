// Rate ratios between exposure categories from strata cells (age class x
// calendar period x sex x category: person-years and deaths), widget-free.
//
// Poisson regression: log E[deaths] = log(person-years) + intercept + the
// chosen adjustment factors (age class, calendar period, sex, each as a
// factor) + category, fitted by maximum likelihood (iteratively reweighted
// least squares, Eigen for the linear algebra) over the cells with
// person-years > 0. Per category the rate ratio against the reference with
// Wald bounds; the likelihood-ratio tests of heterogeneity (category as a
// factor against no category) and of linear trend (the category's position
// 1, 2, ... as a score).
//
// A level of an adjustment factor without any death has no finite estimate:
// its cells are left out of the fits (the ratios are then those of the full
// data in the limit) and a note says so. A category without deaths gets no
// ratio and a note; it still counts in the heterogeneity and trend tests,
// where its cells fit exactly in the limit.
//
// Directly standardised rates: per category sum_s W_s d_ks / Y_ks / sum_s W_s
// over the strata s of the adjustment factors in which the category has
// person-years, W_s the whole cohort's person-years in s; variance
// sum_s W_s^2 d_ks / Y_ks^2 / (sum_s W_s)^2; the ratio to the reference with
// log-normal bounds exp(+-z sqrt(V_k / R_k^2 + V_ref / R_ref^2)).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vdx::mortality {

struct StrataCell {
    int age = 0;       // age class (any integer code; levels are its distinct values)
    int period = 0;    // calendar period
    int sex = 0;       // sex code
    int category = 0;  // index into RateRatioInput::categories (0-based)
    double personYears = 0;
    double deaths = 0;
};

struct RateRatioInput {
    std::vector<std::string> categories;  // names, in the order of the categories
    std::vector<StrataCell> cells;
    bool adjustAge = true;
    bool adjustCalendar = true;
    bool adjustSex = false;
    int reference = 0;     // index of the reference category
    int16_t level = 95;    // confidence level in per cent: 90, 95 or 99
    // The levels' names in the notes by code ("15–19", "1960–1964"); a code
    // without a name is given as a number.
    std::map<int, std::string> ageNames, periodNames, sexNames;
};

// A ratio with its bounds; no value when it cannot be estimated.
struct Ratio {
    double ratio = 0;
    double low = 0;
    double high = 0;
};

struct CategoryResult {
    int category = 0;  // index into RateRatioInput::categories
    std::string name;
    double observed = 0;
    double personYears = 0;
    std::optional<Ratio> fitted;        // Poisson regression
    std::optional<double> stdRate;      // per 100,000 person-years
    std::optional<Ratio> standardised;  // ratio of the standardised rates
};

struct ChiSquareTest {
    double chiSquare = 0;
    int df = 0;
    double p = 1;
};

struct RateRatioResult {
    bool ok = false;
    std::string error;                        // why nothing was computed, when !ok
    std::vector<CategoryResult> categories;   // the reference first, then the others in order
    std::optional<Ratio> trendRatio;          // rate ratio per category step
    std::optional<ChiSquareTest> trend;       // df 1
    std::optional<ChiSquareTest> heterogeneity;
    std::vector<std::string> notes;           // cells left out, categories without a ratio
    int cellsUsed = 0;                        // cells in the fit
    int iterations = 0;                       // of the full model's fit
};

RateRatioResult ComputeRateRatios(const RateRatioInput& input);

}  // namespace vdx::mortality
