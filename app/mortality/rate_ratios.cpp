#include "mortality/rate_ratios.h"

#include <Eigen/Dense>
#include <Eigen/SparseCore>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

#include "state/multiplier.h"
#include "state/veldrix_library.h"

namespace vdx::mortality {
namespace {

using Eigen::MatrixXd;
using Eigen::VectorXd;
using SparseMatrix = Eigen::SparseMatrix<double>;

std::string Number(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

// One model's fit: coefficients, their covariance and the deviance.
struct Fit {
    bool ok = false;
    std::string error;
    VectorXd beta;
    MatrixXd covariance;
    double deviance = 0;
    int iterations = 0;
};

double Deviance(const VectorXd& y, const VectorXd& mu)
{
    double d = 0;
    for (Eigen::Index i = 0; i < y.size(); ++i)
        d += (y[i] > 0 ? y[i] * std::log(y[i] / mu[i]) : 0.0) - (y[i] - mu[i]);
    return 2 * d;
}

// Poisson regression with log link and offset by iteratively reweighted
// least squares, started as R's glm starts (mu = y + 0.1).
Fit FitPoisson(const SparseMatrix& x, const VectorXd& y, const VectorXd& offset)
{
    Fit fit;
    VectorXd mu = (y.array() + 0.1).matrix();
    VectorXd eta = mu.array().log().matrix();
    double deviance = Deviance(y, mu);
    Eigen::LDLT<MatrixXd> ldlt;
    for (int iteration = 1; iteration <= 100; ++iteration) {
        VectorXd z = (eta - offset).array() + (y - mu).array() / mu.array();
        SparseMatrix weighted = mu.asDiagonal() * x;
        MatrixXd information = MatrixXd(SparseMatrix(x.transpose() * weighted));
        ldlt.compute(information);
        if (ldlt.info() != Eigen::Success || !ldlt.isPositive() || ldlt.rcond() < 1e-13) {
            fit.error = "the adjustment factors and the categories cannot be told apart in these cells";
            return fit;
        }
        fit.beta = ldlt.solve(VectorXd(weighted.transpose() * z));
        eta = x * fit.beta + offset;
        mu = eta.array().exp().matrix();
        const double previous = deviance;
        deviance = Deviance(y, mu);
        fit.iterations = iteration;
        if (!std::isfinite(deviance)) {
            fit.error = "the fit did not converge";
            return fit;
        }
        if (std::abs(deviance - previous) / (std::abs(deviance) + 0.1) < 1e-13)
            break;
    }
    SparseMatrix weighted = mu.asDiagonal() * x;
    MatrixXd information = MatrixXd(SparseMatrix(x.transpose() * weighted));
    fit.covariance = information.ldlt().solve(MatrixXd::Identity(information.rows(), information.cols()));
    fit.deviance = deviance;
    fit.ok = fit.covariance.allFinite() && fit.beta.allFinite();
    if (!fit.ok)
        fit.error = "the fit did not converge";
    return fit;
}

// The cells of the fits as rows of design matrices: the intercept, the
// adjustment factors (all levels but the first present) and the category
// columns of each model.
struct Design {
    std::vector<const StrataCell*> rows;
    std::vector<std::vector<int>> factorColumns;  // per row: the column of each adjusted factor, -1 for the first level
    int factorCount = 1;                          // intercept + factor columns
};

Ratio WaldRatio(double b, double se, double z)
{
    return {std::exp(b), std::exp(b - z * se), std::exp(b + z * se)};
}

}  // namespace

RateRatioResult ComputeRateRatios(const RateRatioInput& input)
{
    RateRatioResult result;
    const int k = static_cast<int>(input.categories.size());
    const double z = LevelQuantile(input.level);
    if (z == 0) {
        result.error = "The confidence level must be 90, 95 or 99 per cent, not " + std::to_string(input.level) + ".";
        return result;
    }
    if (input.reference < 0 || input.reference >= k) {
        std::string names;
        for (const std::string& name : input.categories) names += (names.empty() ? "" : ", ") + name;
        result.error = "There is no category " + std::to_string(input.reference + 1) +
                       " to serve as reference; the categories are " + names + ".";
        return result;
    }
    // Checks of the cells; those with person-years > 0 take part.
    std::vector<const StrataCell*> cells;
    for (size_t i = 0; i < input.cells.size(); ++i) {
        const StrataCell& c = input.cells[i];
        if (c.category < 0 || c.category >= k) {
            result.error = "Cell " + std::to_string(i + 1) + " names category " + std::to_string(c.category + 1) +
                           ", but there are " + std::to_string(k) + " categories.";
            return result;
        }
        if (!std::isfinite(c.personYears) || c.personYears < 0 || !std::isfinite(c.deaths) || c.deaths < 0) {
            result.error = "Cell " + std::to_string(i + 1) + " has person-years " + Number(c.personYears) +
                           " and deaths " + Number(c.deaths) + "; both must be numbers of 0 or more.";
            return result;
        }
        if (c.personYears > 0)
            cells.push_back(&c);
        else if (c.deaths > 0) {
            result.error = "Cell " + std::to_string(i + 1) + " has " + Number(c.deaths) + " deaths but no person-years.";
            return result;
        }
    }

    std::vector<double> observed(k, 0.0), personYears(k, 0.0);
    for (const StrataCell* c : cells) {
        observed[c->category] += c->deaths;
        personYears[c->category] += c->personYears;
    }

    // The adjustment factors in use and their levels.
    struct Factor {
        const char* name;
        int StrataCell::*member;
        const std::map<int, std::string>* names;
    };
    std::vector<Factor> factors;
    if (input.adjustAge)
        factors.push_back({"age class", &StrataCell::age, &input.ageNames});
    if (input.adjustCalendar)
        factors.push_back({"calendar period", &StrataCell::period, &input.periodNames});
    if (input.adjustSex)
        factors.push_back({"sex", &StrataCell::sex, &input.sexNames});

    // Levels without deaths: their cells leave the fits.
    std::vector<bool> keep(cells.size(), true);
    for (const Factor& f : factors) {
        std::map<int, std::pair<double, int>> levels;  // deaths, cells
        for (const StrataCell* c : cells) {
            auto& level = levels[c->*f.member];
            level.first += c->deaths;
            level.second += 1;
        }
        for (const auto& [value, level] : levels)
            if (level.first == 0) {
                for (size_t i = 0; i < cells.size(); ++i)
                    if (cells[i]->*f.member == value)
                        keep[i] = false;
                const auto named = f.names->find(value);
                result.notes.push_back(std::string("The ") + f.name + " " +
                                       (named == f.names->end() ? std::to_string(value) : named->second) +
                                       " has no deaths: its " + std::to_string(level.second) +
                                       " cells are left out of the fit.");
            }
    }

    // Design of the adjustment factors over the kept cells.
    Design design;
    std::vector<std::map<int, int>> levelColumn(factors.size());
    for (size_t i = 0; i < cells.size(); ++i)
        if (keep[i]) {
            design.rows.push_back(cells[i]);
            for (size_t f = 0; f < factors.size(); ++f)
                levelColumn[f][cells[i]->*factors[f].member] = 0;
        }
    for (auto& levels : levelColumn) {
        bool first = true;
        for (auto& [value, column] : levels) {
            column = first ? -1 : design.factorCount++;
            first = false;
        }
    }
    result.cellsUsed = static_cast<int>(design.rows.size());

    // Categories with person-years, those with deaths, the reference.
    std::vector<int> present, withDeaths;
    for (int c = 0; c < k; ++c) {
        if (personYears[c] > 0)
            present.push_back(c);
        if (observed[c] > 0)
            withDeaths.push_back(c);
    }
    for (int c = 0; c < k; ++c) {
        if (personYears[c] == 0)
            result.notes.push_back("The category " + input.categories[c] + " has no person-years: no rate ratio.");
        else if (observed[c] == 0)
            result.notes.push_back("The category " + input.categories[c] + " has no deaths: no rate ratio.");
    }
    const bool referenceHasDeaths = observed[input.reference] > 0;
    if (!referenceHasDeaths)
        result.notes.push_back("The reference category " + input.categories[input.reference] +
                               " has no deaths: no rate ratio can be computed against it; choose another reference.");

    // Result rows: the reference first, then the others in order.
    std::vector<int> order{input.reference};
    for (int c = 0; c < k; ++c)
        if (c != input.reference)
            order.push_back(c);
    for (int c : order) {
        CategoryResult row;
        row.category = c;
        row.name = input.categories[c];
        row.observed = observed[c];
        row.personYears = personYears[c];
        result.categories.push_back(row);
    }
    auto rowOf = [&](int c) -> CategoryResult& {
        return result.categories[std::find(order.begin(), order.end(), c) - order.begin()];
    };

    // Builds the design matrix of a model over the given rows: the factor
    // columns and extra columns from a function of the cell.
    auto buildMatrix = [&](const std::vector<const StrataCell*>& rows, int extra,
                           auto&& extraColumns, VectorXd& y, VectorXd& offset) {
        SparseMatrix x(static_cast<Eigen::Index>(rows.size()), design.factorCount + extra);
        std::vector<Eigen::Triplet<double>> entries;
        entries.reserve(rows.size() * (2 + factors.size()));
        y.resize(static_cast<Eigen::Index>(rows.size()));
        offset.resize(y.size());
        for (size_t r = 0; r < rows.size(); ++r) {
            const int row = static_cast<int>(r);
            entries.emplace_back(row, 0, 1.0);
            for (size_t f = 0; f < factors.size(); ++f) {
                const int column = levelColumn[f].at(rows[r]->*factors[f].member);
                if (column >= 0)
                    entries.emplace_back(row, column, 1.0);
            }
            extraColumns(*rows[r], row, entries);
            y[row] = rows[r]->deaths;
            offset[row] = std::log(rows[r]->personYears);
        }
        x.setFromTriplets(entries.begin(), entries.end());
        return x;
    };

    if (design.rows.empty() || withDeaths.empty()) {
        result.notes.push_back("No cell with deaths: nothing to fit.");
    } else {
        VectorXd y, offset;
        // The model without category.
        SparseMatrix x0 = buildMatrix(design.rows, 0, [](const StrataCell&, int, auto&) {}, y, offset);
        Fit null = FitPoisson(x0, y, offset);
        // Linear trend: the category's position (1, 2, ...) as a score.
        SparseMatrix x1 = buildMatrix(design.rows, 1, [&](const StrataCell& c, int row, auto& entries) {
            entries.emplace_back(row, design.factorCount, static_cast<double>(c.category + 1));
        }, y, offset);
        Fit trend = FitPoisson(x1, y, offset);
        // Category as a factor over the cells of categories with deaths (the
        // others fit exactly in the limit, adding nothing to the deviance).
        // Its base is the reference, or the first category with deaths.
        const int base = referenceHasDeaths ? input.reference : withDeaths.front();
        std::map<int, int> categoryColumn;
        for (int c : withDeaths)
            if (c != base)
                categoryColumn[c] = design.factorCount + static_cast<int>(categoryColumn.size());
        std::vector<const StrataCell*> fullRows;
        for (const StrataCell* c : design.rows)
            if (observed[c->category] > 0)
                fullRows.push_back(c);
        VectorXd yFull, offsetFull;
        SparseMatrix x2 = buildMatrix(fullRows, static_cast<int>(categoryColumn.size()),
                                      [&](const StrataCell& c, int row, auto& entries) {
                                          auto it = categoryColumn.find(c.category);
                                          if (it != categoryColumn.end())
                                              entries.emplace_back(row, it->second, 1.0);
                                      },
                                      yFull, offsetFull);
        Fit full = FitPoisson(x2, yFull, offsetFull);
        result.iterations = full.iterations;
        if (!null.ok || !full.ok || !trend.ok) {
            result.error = "The Poisson regression could not be fitted: " +
                           (!full.ok ? full.error : !null.ok ? null.error : trend.error) + ".";
            return result;
        }
        if (referenceHasDeaths) {
            rowOf(base).fitted = Ratio{1, 1, 1};
            for (const auto& [c, column] : categoryColumn)
                rowOf(c).fitted = WaldRatio(full.beta[column], std::sqrt(full.covariance(column, column)), z);
        }
        const int t = design.factorCount;
        result.trendRatio = WaldRatio(trend.beta[t], std::sqrt(trend.covariance(t, t)), z);
        const double trendChi = std::max(0.0, null.deviance - trend.deviance);
        result.trend = ChiSquareTest{trendChi, 1, library::ChiSquareUpperTail(trendChi, 1)};
        const int df = static_cast<int>(present.size()) - 1;
        if (df > 0) {
            const double chi = std::max(0.0, null.deviance - full.deviance);
            result.heterogeneity = ChiSquareTest{chi, df, library::ChiSquareUpperTail(chi, df)};
        }
    }

    // Directly standardised rates over the strata of the adjustment factors,
    // with the whole cohort's person-years as the standard.
    auto stratumKey = [&](const StrataCell& c) {
        return std::tuple{input.adjustAge ? c.age : 0, input.adjustCalendar ? c.period : 0,
                          input.adjustSex ? c.sex : 0};
    };
    using Key = decltype(stratumKey(StrataCell{}));
    std::map<Key, double> standard;
    std::map<std::pair<Key, int>, std::pair<double, double>> byCategory;  // deaths, person-years
    for (const StrataCell* c : cells) {
        const Key key = stratumKey(*c);
        standard[key] += c->personYears;
        auto& sum = byCategory[{key, c->category}];
        sum.first += c->deaths;
        sum.second += c->personYears;
    }
    std::vector<double> rate(k, 0.0), variance(k, 0.0);
    std::vector<double> weight(k, 0.0);
    for (const auto& [key, sum] : byCategory) {
        const double w = standard.at(key.first);
        weight[key.second] += w;
        rate[key.second] += w * sum.first / sum.second;
        variance[key.second] += w * w * sum.first / (sum.second * sum.second);
    }
    for (int c : present) {
        rate[c] /= weight[c];
        variance[c] /= weight[c] * weight[c];
        rowOf(c).stdRate = rate[c] * 1e5;
    }
    const int ref = input.reference;
    if (rate[ref] > 0) {
        rowOf(ref).standardised = Ratio{1, 1, 1};
        for (int c : present)
            if (c != ref && rate[c] > 0) {
                const double ratio = rate[c] / rate[ref];
                const double se = std::sqrt(variance[c] / (rate[c] * rate[c]) + variance[ref] / (rate[ref] * rate[ref]));
                rowOf(c).standardised = Ratio{ratio, ratio * std::exp(-z * se), ratio * std::exp(z * se)};
            }
    }
    result.ok = true;
    return result;
}

}  // namespace vdx::mortality
