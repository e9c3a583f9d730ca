#include "plots/study_plots.h"

#include <algorithm>
#include <cmath>

#include "mortality/categories_report.h"
#include "db/database.h"
#include "mortality/causes_report.h"
#include "mortality/rate_ratio_run.h"
#include "mortality/plot_data.h"
#include "mortality/smr_report.h"
#include "mortality/strata_table.h"
#include "state/errors.h"
#include "state/messages.h"

namespace vdx::plots {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Fixed(double v, int decimals) { return QString::number(v, 'f', decimals); }

// The log axis of a chart of ratios from `lowest` to `highest`: positions
// are log10 of the ratio, labelled at 1, 2, 5 times the powers of ten; a
// narrow range that leaves fewer than three such labels gets 1, 1.5, 2 to 9
// times the powers.
void LogAxis(Chart& chart, double lowest, double highest, const QString& title) {
    auto at = [](double v) { return std::log10(v); };
    chart.x.title = title;
    chart.x.from = at(lowest);
    chart.x.to = at(highest);
    auto labelsAt = [&](std::initializer_list<double> steps) {
        std::vector<double> values;
        for (int power = static_cast<int>(std::floor(std::log10(lowest))); power <= std::ceil(std::log10(highest));
             ++power)
            for (double step : steps) {
                const double value = step * std::pow(10.0, power);
                if (value >= lowest && value <= highest) values.push_back(value);
            }
        return values;
    };
    std::vector<double> labels = labelsAt({1, 2, 5});
    if (labels.size() < 3) labels = labelsAt({1, 1.5, 2, 3, 4, 5, 6, 7, 8, 9});
    for (double value : labels) {
        chart.x.ticks.push_back({at(value), QString::number(value, 'g', 6)});
        chart.x.gridLines.push_back(at(value));
    }
}

// One row per SMR project, or per cause of an analysis of causes.
// The log axis spans the SMRs and bounds of `scale` (the rows of every chart
// of the plot, so that charts one below the other share their axis).
Chart ForestChart(const std::vector<mortality::ForestRow>& rows, const QString& title, double null,
                  const std::vector<mortality::ForestRow>& scale) {
    Chart chart;
    chart.title = title;

    const int n = static_cast<int>(rows.size());
    double lowest = null, highest = null;
    for (const auto& r : scale) {
        for (double v : {r.smr, r.low, r.high})
            if (v > 0) {
                lowest = std::min(lowest, v * null);
                highest = std::max(highest, v * null);
            }
    }
    lowest /= 1.5;
    highest *= 1.5;
    auto at = [](double v) { return std::log10(v); };
    LogAxis(chart, lowest, highest, "SMR (null value " + QString::number(null) + ", log scale)");
    chart.y.from = 0;
    chart.y.to = n + 1;

    // Rows go bottom up; the first project is at the top.
    for (int k = 0; k < n; ++k) {
        const auto& r = rows[static_cast<size_t>(k)];
        const double row = n - k;
        // Observed, expected and the bounds beside the row, as text; with no
        // expected deaths there is no SMR to show.
        const bool defined = mortality::SmrDefined(r.expected);
        chart.y.ticks.push_back(
            {row, Q(r.project) + (r.outOfDate ? " (out of date)" : "") + " O " + Fixed(r.observed, 0) + " E " +
                      Fixed(r.expected, 2) + " SMR " +
                      (defined ? Fixed(r.smr * null, 2) + " (" + Fixed(r.low * null, 2) + " - " +
                                     Fixed(r.high * null, 2) + ")"
                               : QString(mortality::kNotDefined) + " (E = 0)")});
        chart.y.gridLines.push_back(row);
        if (defined && r.high > 0)
            chart.segments.push_back(
                {QPointF(at(std::max(r.low * null, lowest)), row), QPointF(at(r.high * null), row), QPen(Qt::black, 2)});
        if (defined && r.smr > 0) chart.squares.push_back({QPointF(at(r.smr * null), row), 11, Qt::black});
    }
    const QColor nullColour(Qt::darkRed);
    chart.segments.push_back({QPointF(at(null), 0), QPointF(at(null), n + 1), QPen(nullColour, 1.5, Qt::DashLine)});
    chart.legend = {{"SMR", QBrush(Qt::black)}, {"Null value " + QString::number(null), QBrush(nullColour)}};
    return chart;
}

// One row per exposure category of an analysis of rate ratios (the
// reference first, at 1), the ratio as a square with its bounds, on a log
// axis with a dashed line at 1; a category without a ratio has its row and
// says why.
Chart RateRatioChart(const mortality::StoredRateRatios& a) {
    Chart chart;
    const QString level = Q(a.setting("level"));
    chart.title = Q(a.name) + ": rate ratios by exposure category (" + Q(a.setting("death")) + "), with " + level +
                  "% confidence bounds";
    const auto& rows = a.result.categories;
    const int n = static_cast<int>(rows.size());
    double lowest = 1, highest = 1;
    for (const auto& r : rows)
        if (r.fitted)
            for (double v : {r.fitted->ratio, r.fitted->low, r.fitted->high})
                if (v > 0 && std::isfinite(v)) {
                    lowest = std::min(lowest, v);
                    highest = std::max(highest, v);
                }
    lowest /= 1.5;
    highest *= 1.5;
    auto at = [](double v) { return std::log10(v); };
    LogAxis(chart, lowest, highest, "Rate ratio (reference " + Q(a.setting("reference")) + ", log scale)");
    chart.y.from = 0;
    chart.y.to = n + 1;
    for (int k = 0; k < n; ++k) {
        const auto& r = rows[static_cast<size_t>(k)];
        const double row = n - k;
        const QString figures = r.fitted ? Fixed(r.fitted->ratio, 2) + " (" + Fixed(r.fitted->low, 2) + " - " +
                                               Fixed(r.fitted->high, 2) + ")"
                                         : QString("no ratio");
        chart.y.ticks.push_back(
            {row, Q(r.name) + " O " + Fixed(r.observed, 0) + " PY " + Fixed(r.personYears, 0) + " RR " + figures});
        chart.y.gridLines.push_back(row);
        if (!r.fitted) continue;
        chart.segments.push_back({QPointF(at(std::max(r.fitted->low, lowest)), row),
                                  QPointF(at(std::min(r.fitted->high, highest)), row), QPen(Qt::black, 2)});
        chart.squares.push_back({QPointF(at(r.fitted->ratio), row), 11, Qt::black});
    }
    const QColor nullColour(Qt::darkRed);
    chart.segments.push_back({QPointF(at(1), 0), QPointF(at(1), n + 1), QPen(nullColour, 1.5, Qt::DashLine)});
    chart.legend = {{"Rate ratio", QBrush(Qt::black)}, {"Reference, 1", QBrush(nullColour)}};
    return chart;
}

// A value axis from 0 to `top` or a little more, labelled at multiples of 1,
// 2 or 5 times a power of ten, about five labels.
Axis ValueAxis(const QString& title, double top) {
    const double rough = top / 4;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double f = rough / power;
    const double step = (f < 1.5 ? 1 : f < 3 ? 2 : f < 7 ? 5 : 10) * power;
    const int count = static_cast<int>(std::ceil(top / step - 1e-9));
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    Axis axis;
    axis.title = title;
    axis.to = count * step;
    for (int i = 0; i <= count; ++i) {
        axis.ticks.push_back({i * step, Fixed(i * step, decimals)});
        axis.gridLines.push_back(i * step);
    }
    return axis;
}

Chart BarChart(const QString& title, const QString& axisTitle, const mortality::MarginalSums& sums) {
    const QColor observed(0x20, 0x9f, 0xdf), expected(0x99, 0xca, 0x53);
    Chart chart;
    chart.title = title;
    const int n = static_cast<int>(sums.labels.size());
    double top = 0;
    // Category k spans k to k + 1; its two bars stand side by side in the
    // middle half.
    for (int k = 0; k < n; ++k) {
        const size_t i = static_cast<size_t>(k);
        chart.x.ticks.push_back({k + 0.5, Q(sums.labels[i])});
        chart.boxes.push_back({QRectF(k + 0.25, 0, 0.24, sums.observed[i]), observed});
        chart.boxes.push_back({QRectF(k + 0.51, 0, 0.24, sums.expected[i]), expected});
        top = std::max({top, sums.observed[i], sums.expected[i]});
    }
    for (int k = 0; k <= n; ++k) chart.x.gridLines.push_back(k);
    chart.x.to = std::max(n, 1);
    chart.x.title = axisTitle;
    chart.x.labelAngle = n > 10 ? -60 : 0;
    chart.y = ValueAxis("Deaths", top > 0 ? top * 1.1 : 1);
    chart.legend = {{"Observed", QBrush(observed)}, {"Expected", QBrush(expected)}};
    return chart;
}

// The boundaries of a class axis that get a label (indices into `bounds`):
// every k-th, k the smallest of 1, 2, 5, 10, 20, 50 ... that leaves at most
// `most` labels. With classes of one width the labels fall on multiples of
// k widths (1950, 1960 ... rather than 1953, 1963 ...).
std::vector<int> LabelledBounds(const std::vector<int>& bounds, int most) {
    const int n = static_cast<int>(bounds.size()) - 1;
    int width = n > 0 ? bounds[1] - bounds[0] : 0;
    for (int i = 1; i < n; ++i)
        if (bounds[i + 1] - bounds[i] != width) width = 0;
    for (int decade = 1;; decade *= 10)
        for (int k : {decade, 2 * decade, 5 * decade}) {
            std::vector<int> at;
            if (width > 0) {
                for (int i = 0; i <= n; ++i)
                    if (bounds[i] % (k * width) == 0) at.push_back(i);
            }
            if (at.size() < 2) {
                at.clear();
                for (int i = 0; i <= n; i += k) at.push_back(i);
            }
            if (static_cast<int>(at.size()) <= most || k > n) return at;
        }
}

// A class axis in class units (class i spans i - 1 to i) with the class
// boundaries as labels at a readable step.
Axis BoundsAxis(const std::vector<int>& bounds, int most, const QString& title) {
    Axis axis;
    axis.title = title;
    axis.to = static_cast<int>(bounds.size()) - 1;
    for (int i : LabelledBounds(bounds, most)) axis.ticks.push_back({static_cast<double>(i), QString::number(bounds[i])});
    return axis;
}

constexpr int kSteps = 6;
const QColor kNoYearsColour(150, 150, 150);
QColor StepColour(int s) {
    return QColor::fromHsvF(0.62, 0.08 + 0.9 * s / (kSteps - 1), 0.98 - 0.45 * s / (kSteps - 1));
}
// Cells without a day of follow-up are hatched, so that they never pass for
// small values.
QBrush NoYearsBrush() { return QBrush(kNoYearsColour, Qt::BDiagPattern); }

// Person-years of all persons as cells coloured in six steps from the
// largest cell down, cells without person-years hatched; the legend gives
// each step's range in years.
Chart PersonYearsChart(const ProgramState& state) {
    const PyCells& cells = state.PyValues;
    if (!state.py.computed || cells.tables() < 1 || cells.ageClasses() < 1 || cells.periods() < 1)
        throw VdxError(err::ObjectNotFound, Message(msg::PersonYearsFirst));
    const int ages = cells.ageClasses(), periods = cells.periods();
    Chart chart;
    chart.title = "Person-years by age class and calendar period (" + Q(PyTableName(state.py, 1)) + ")";
    std::vector<int> periodBounds, ageBounds;
    for (int j = 1; j <= periods + 1; ++j) periodBounds.push_back(state.CalendarBounds.at(j));
    for (int i = 1; i <= ages + 1; ++i) ageBounds.push_back(state.AgeBounds.at(i));
    chart.x = BoundsAxis(periodBounds, 12, "Calendar year");
    chart.y = BoundsAxis(ageBounds, 12, "Age");

    double largest = 0;
    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j) largest = std::max(largest, static_cast<double>(cells.at(1, i, j)) / 365.25);
    CellGrid grid;
    grid.rows = ages;
    grid.columns = periods;
    grid.cells.reserve(static_cast<size_t>(ages) * periods);
    for (int s = 0; s < kSteps; ++s) grid.colours.push_back(StepColour(s));
    grid.empty = NoYearsBrush();
    bool anyEmpty = false;
    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j) {
            const double years = static_cast<double>(cells.at(1, i, j)) / 365.25;
            anyEmpty = anyEmpty || years <= 0;
            grid.cells.push_back(years <= 0 ? int8_t{-1}
                                            : static_cast<int8_t>(std::min(kSteps - 1, static_cast<int>(years / largest * kSteps))));
        }
    chart.cells = std::move(grid);

    // The legend: one entry per step, and one for the cells without
    // person-years when there are any. As many decimals as keep the ends of
    // every step apart (a largest cell of 4 years gives steps of 0.67:
    // "0.7 - 1.3", not "1 - 1").
    const QPen outline(kNoYearsColour);
    const double step = largest / kSteps;
    const int decimals = step > 0 ? std::clamp(static_cast<int>(std::ceil(-std::log10(step / 2))), 0, 6) : 0;
    for (int s = 0; s < kSteps; ++s) {
        const QString from = Fixed(step * s, decimals), to = Fixed(step * (s + 1), decimals);
        chart.legend.push_back({s == 0 ? "up to " + to + " years" : from + " - " + to, QBrush(StepColour(s)), outline});
    }
    if (anyEmpty) chart.legend.push_back({"no person-years", NoYearsBrush(), outline});
    return chart;
}

}  // namespace

bool PlotKindFromName(const std::string& name, PlotKind& kind) {
    if (name == "forest") kind = PlotKind::Forest;
    else if (name == "observed-expected") kind = PlotKind::ObservedExpected;
    else if (name == "person-years") kind = PlotKind::PersonYears;
    else if (name == "causes") kind = PlotKind::Causes;
    else if (name == "categories") kind = PlotKind::Categories;
    else if (name == "rate-ratios") kind = PlotKind::RateRatios;
    else return false;
    return true;
}

Plot ForestPlot(const std::vector<mortality::ForestRow>& rows, double nullValue) {
    if (rows.empty()) throw VdxError(err::ObjectNotFound, "The project file holds no SMR project: there is nothing to plot.");
    return {ForestChart(rows, "SMR of every project, with " + Q(rows.front().level) + "% confidence bounds", nullValue,
                        rows)};
}

Plot BuildPlot(const ProgramState& state, PlotKind kind, const std::string& project) {
    Plot plot;
    switch (kind) {
        case PlotKind::Forest: {
            const auto rows = mortality::ReadForestRows(state);
            if (rows.empty())
                throw VdxError(err::ObjectNotFound, "The project file holds no SMR project: there is nothing to plot.");
            plot.push_back(ForestChart(rows, "SMR of every project, with " + Q(rows.front().level) +
                                                 "% confidence bounds", state.SmrNullValue, rows));
            break;
        }
        case PlotKind::Causes: {
            const auto rows = mortality::CauseForestRows(state, project);
            if (rows.empty())
                throw VdxError(err::ObjectNotFound, "The analysis " + project + " holds no cause: there is nothing to plot.");
            // A long list in charts of kCausesPerChart rows, one below the other, on one axis.
            constexpr size_t kCausesPerChart = 12;
            const size_t charts = (rows.size() + kCausesPerChart - 1) / kCausesPerChart;
            for (size_t c = 0; c < charts; ++c) {
                const std::vector<mortality::ForestRow> part(
                    rows.begin() + static_cast<std::ptrdiff_t>(c * kCausesPerChart),
                    rows.begin() + static_cast<std::ptrdiff_t>(std::min(rows.size(), (c + 1) * kCausesPerChart)));
                QString title = Q(project) + ": SMR by cause, with " + Q(rows.front().level) + "% confidence bounds";
                if (charts > 1) title += QString(" (%1 of %2)").arg(c + 1).arg(charts);
                plot.push_back(ForestChart(part, title, state.SmrNullValue, rows));
            }
            break;
        }
        case PlotKind::Categories: {
            const auto rows = mortality::CategoryForestRows(state, project);
            if (rows.empty())
                throw VdxError(err::ObjectNotFound, "The analysis " + project + " holds no category: there is nothing to plot.");
            plot.push_back(ForestChart(rows, Q(project) + ": SMR by exposure category, with " + Q(rows.front().level) +
                                                 "% confidence bounds",
                                       state.SmrNullValue, rows));
            break;
        }
        case PlotKind::PersonYears: plot.push_back(PersonYearsChart(state)); break;
        case PlotKind::RateRatios: {
            auto db = db::Database::open(state.WorkingCopyName);
            plot.push_back(RateRatioChart(mortality::ReadRateRatioAnalysis(*db, project)));
            break;
        }
        case PlotKind::ObservedExpected: {
            const mortality::StrataTable t = mortality::BuildStrataTable(state, project);
            if (t.outOfDate) {
                // Its deaths by stratum belong to person-years that are gone:
                // the stored totals only, and the title says why.
                plot.push_back(BarChart(Q(project) + ": out of date (person-years computed again since); "
                                                     "stored totals",
                                        "", mortality::StoredTotals(t)));
                break;
            }
            plot.push_back(BarChart(Q(project) + ": observed and expected deaths by age class", "Age class",
                                    mortality::SumsByAgeClass(t)));
            plot.push_back(BarChart(Q(project) + ": observed and expected deaths by calendar period",
                                    "Calendar period", mortality::SumsByPeriod(t)));
            break;
        }
    }
    return plot;
}

}  // namespace vdx::plots
