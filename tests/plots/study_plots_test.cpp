// The person-years heat map: drawn as one picture however many cells (not a
// series per cell), its axes labelled with class bounds at a readable step,
// and cells without person-years marked apart from small values.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <set>

#include "plots/chart_painter.h"
#include "plots/study_plots.h"

namespace vdx::plots {
namespace {

// A study after a person-years run: `ages` classes from `firstAge`, `periods`
// periods from `firstYear`, each class and period `width` years wide; every
// cell holds 100 + its number days unless listed in `empty`.
ProgramState HeatMapState(int ages, int firstAge, int periods, int firstYear, int width,
                          const std::set<std::pair<int, int>>& empty = {}) {
    ProgramState state;
    state.py.computed = true;
    state.PyValues.resize(1, ages, periods);
    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j) state.PyValues.at(1, i, j) = empty.count({i, j}) ? 0 : 100 + i * periods + j;
    for (int i = 0; i <= ages; ++i) state.AgeBounds.push_back(static_cast<int16_t>(firstAge + i * width));
    for (int j = 0; j <= periods; ++j) state.CalendarBounds.push_back(static_cast<int16_t>(firstYear + j * width));
    return state;
}

QString Labels(const Axis& axis) {
    QStringList labels;
    for (const Tick& t : axis.ticks) labels << t.text;
    return labels.join(' ');
}

QStringList LegendTexts(const Chart& chart) {
    QStringList texts;
    for (const LegendEntry& e : chart.legend) texts << e.text;
    return texts;
}

TEST(PersonYearsHeatMap, LabelsTheClassBoundsAtAReadableStepAndDrawsTheCellsAsOneGrid) {
    struct Case {
        int ages, firstAge, periods, firstYear, width;
        const char *years, *agesShown;
    };
    const Case cases[] = {
        {13, 15, 14, 1950, 5, "1950 1960 1970 1980 1990 2000 2010 2020", "20 30 40 50 60 70 80"},
        {70, 15, 100, 1920, 1, "1920 1930 1940 1950 1960 1970 1980 1990 2000 2010 2020", "20 30 40 50 60 70 80"},
        {120, 0, 300, 1700, 1, "1700 1750 1800 1850 1900 1950 2000", "0 20 40 60 80 100 120"},
        {2, 40, 3, 1990, 15, "1990 2005 2020 2035", "40 55 70"},
    };
    for (const Case& c : cases) {
        const ProgramState state = HeatMapState(c.ages, c.firstAge, c.periods, c.firstYear, c.width);
        const auto charts = BuildPlot(state, PlotKind::PersonYears, "");
        ASSERT_EQ(charts.size(), 1u);
        EXPECT_EQ(Labels(charts[0].x), c.years);
        EXPECT_EQ(Labels(charts[0].y), c.agesShown);
        // Six colour steps in the legend; the cells one grid, no mark per cell.
        EXPECT_EQ(charts[0].legend.size(), 6u) << c.ages << "x" << c.periods;
        ASSERT_TRUE(charts[0].cells.has_value());
        EXPECT_EQ(charts[0].cells->cells.size(), static_cast<size_t>(c.ages) * c.periods);
        EXPECT_TRUE(charts[0].boxes.empty() && charts[0].squares.empty() && charts[0].segments.empty());
    }
}

TEST(PersonYearsHeatMap, EachLegendStepRunsFromThePreviousStepsEndToAnotherNumber) {
    // Largest cells of 109 days times 1, 13 and 9000: 0.3, 3.9 and 2,686 years.
    for (const int scale : {1, 13, 9000}) {
        ProgramState state = HeatMapState(2, 40, 3, 1990, 15);
        for (int i = 1; i <= 2; ++i)
            for (int j = 1; j <= 3; ++j) state.PyValues.at(1, i, j) *= scale;
        const auto charts = BuildPlot(state, PlotKind::PersonYears, "");
        const QStringList ends = LegendTexts(charts[0]);
        ASSERT_EQ(ends.size(), 6);
        ASSERT_TRUE(ends[0].startsWith("up to ") && ends[0].endsWith(" years")) << ends[0].toStdString();
        QString previous = ends[0].mid(6).chopped(6);
        for (int k = 1; k < 6; ++k) {
            const QStringList range = ends[k].split(" - ");
            ASSERT_EQ(range.size(), 2) << ends[k].toStdString();
            EXPECT_EQ(range[0], previous) << ends.join(", ").toStdString();
            EXPECT_LT(range[0].toDouble(), range[1].toDouble()) << ends.join(", ").toStdString();
            previous = range[1];
        }
    }
}

TEST(PersonYearsHeatMap, CellsWithoutPersonYearsAreMarkedApartFromSmallValuesAndNamedInTheLegend) {
    // The lowest age class: period 1 empty, period 2 the smallest cell.
    const ProgramState state = HeatMapState(4, 20, 5, 1980, 10, {{1, 1}});
    const auto charts = BuildPlot(state, PlotKind::PersonYears, "");
    const Chart& chart = charts[0];
    const QStringList names = LegendTexts(chart);
    EXPECT_TRUE(names.contains("no person-years")) << names.join(", ").toStdString();

    QImage image(1100, 650, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintChart(chart, painter, QRectF(0, 0, 1100, 650));
    painter.end();
    const QRectF area = PlotArea(chart, QRectF(0, 0, 1100, 650));
    // The colours inside a cell of the lowest row (its border of a few pixels left out).
    auto colours = [&](int period) {
        const double w = area.width() / 5, h = area.height() / 4;
        std::set<QRgb> seen;
        for (int x = int(area.left() + (period - 1) * w + 3); x < int(area.left() + period * w - 3); ++x)
            for (int y = int(area.bottom() - h + 3); y < int(area.bottom() - 3); ++y) seen.insert(image.pixel(x, y));
        return seen;
    };
    const std::set<QRgb> empty = colours(1), smallest = colours(2);
    ASSERT_EQ(smallest.size(), 1u);
    EXPECT_GE(empty.size(), 2u) << "an empty cell is one flat colour";
    EXPECT_EQ(empty.count(*smallest.begin()), 0u) << "an empty cell looks like the smallest one";

    // Without empty cells there is no such legend entry.
    const auto full = BuildPlot(HeatMapState(4, 20, 5, 1980, 10), PlotKind::PersonYears, "");
    EXPECT_FALSE(LegendTexts(full[0]).contains("no person-years"));
}

}  // namespace
}  // namespace vdx::plots

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
