#include "charts/plot_charts.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

#include "mortality/plot_data.h"
#include "mortality/smr_report.h"
#include "mortality/strata_table.h"
#include "state/errors.h"
#include "state/messages.h"

namespace vdx::plots {

namespace {

constexpr int kWidth = 1100;
constexpr int kChartHeight = 650;

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Fixed(double v, int decimals) { return QString::number(v, 'f', decimals); }

// Readable at 100 % and printed: titles and labels a little larger than the
// default, the legend at the bottom.
std::unique_ptr<QChart> NewChart(const QString& title) {
    auto chart = std::make_unique<QChart>();
    chart->setTitle(title);
    QFont font = chart->titleFont();
    font.setPointSizeF(13);
    font.setBold(true);
    chart->setTitleFont(font);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setBackgroundBrush(Qt::white);
    chart->setAnimationOptions(QChart::NoAnimation);
    return chart;
}

void HideFromLegend(QChart& chart, QAbstractSeries* series) {
    for (QLegendMarker* m : chart.legend()->markers(series)) m->setVisible(false);
}

std::unique_ptr<QChart> ForestChart(const ProgramState& state) {
    const auto rows = mortality::ReadForestRows(state);
    if (rows.empty())
        throw VdxError(err::ObjectNotFound, "The project file holds no SMR project: there is nothing to plot.");
    const double null = state.SmrNullValue;
    auto chart = NewChart("SMR of every project, with " + Q(rows.front().level) + "% confidence bounds");

    const int n = static_cast<int>(rows.size());
    double lowest = null, highest = null;
    for (const auto& r : rows) {
        for (double v : {r.smr, r.low, r.high})
            if (v > 0) {
                lowest = std::min(lowest, v * null);
                highest = std::max(highest, v * null);
            }
    }
    lowest /= 1.5;
    highest *= 1.5;
    // The log axis: positions are log10 of the SMR, labelled at 1, 2, 5 times
    // the powers of ten (the log axis of Qt Charts labels the powers only);
    // a narrow range that leaves fewer than three such labels gets 1, 1.5, 2 to 9
    // times the powers.
    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setTitleText("SMR (null value " + QString::number(null) + ", log scale)");
    x->setRange(std::log10(lowest), std::log10(highest));
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
    for (double value : labels) x->append(QString::number(value, 'g', 6), std::log10(value));
    auto* y = new QCategoryAxis;
    y->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    y->setRange(0, n + 1);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    auto at = [](double v) { return std::log10(v); };

    auto* points = new QScatterSeries;
    points->setName("SMR");
    points->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    points->setMarkerSize(11);
    points->setColor(Qt::black);
    chart->addSeries(points);
    // Categories go bottom up; the first project is at the top.
    for (int k = n - 1; k >= 0; --k) {
        const auto& r = rows[static_cast<size_t>(k)];
        const double row = n - k;
        // Observed, expected and the bounds beside the row, as text; with no
        // expected deaths there is no SMR to show.
        const bool defined = mortality::SmrDefined(r.expected);
        y->append(Q(r.project) + (r.outOfDate ? " (out of date)" : "") + "   O " + Fixed(r.observed, 0) + "   E " +
                      Fixed(r.expected, 2) + "   SMR " +
                      (defined ? Fixed(r.smr * null, 2) + " (" + Fixed(r.low * null, 2) + " - " +
                                     Fixed(r.high * null, 2) + ")"
                               : QString(mortality::kNotDefined) + " (E = 0)"),
                  row);
        if (defined && r.high > 0) {
            auto* bounds = new QLineSeries;
            bounds->append(at(std::max(r.low * null, lowest)), row);
            bounds->append(at(r.high * null), row);
            bounds->setPen(QPen(Qt::black, 2));
            chart->addSeries(bounds);
            bounds->attachAxis(x);
            bounds->attachAxis(y);
            HideFromLegend(*chart, bounds);
        }
        if (defined && r.smr > 0) points->append(at(r.smr * null), row);
    }
    points->attachAxis(x);
    points->attachAxis(y);

    auto* nullLine = new QLineSeries;
    nullLine->setName("Null value " + QString::number(null));
    nullLine->append(at(null), 0);
    nullLine->append(at(null), n + 1);
    nullLine->setPen(QPen(Qt::darkRed, 1.5, Qt::DashLine));
    chart->addSeries(nullLine);
    nullLine->attachAxis(x);
    nullLine->attachAxis(y);
    return chart;
}

std::unique_ptr<QChart> BarChart(const QString& title, const QString& axisTitle, const mortality::MarginalSums& sums) {
    auto chart = NewChart(title);
    auto* observed = new QBarSet("Observed");
    auto* expected = new QBarSet("Expected");
    QStringList labels;
    double top = 0;
    for (size_t k = 0; k < sums.labels.size(); ++k) {
        labels << Q(sums.labels[k]);
        *observed << sums.observed[k];
        *expected << sums.expected[k];
        top = std::max({top, sums.observed[k], sums.expected[k]});
    }
    auto* series = new QBarSeries;
    series->append(observed);
    series->append(expected);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    x->setTitleText(axisTitle);
    x->setLabelsAngle(labels.size() > 10 ? -60 : 0);
    auto* y = new QValueAxis;
    y->setTitleText("Deaths");
    y->setRange(0, top > 0 ? top * 1.1 : 1);
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    return chart;
}

// Person-years of all persons as cells coloured in six steps from the
// largest cell down; the legend gives each step's range in years.
std::unique_ptr<QChart> PersonYearsChart(const ProgramState& state) {
    const PyCells& cells = state.PyValues;
    if (!state.py.blnPersonYears || cells.tables() < 1 || cells.ageClasses() < 1 || cells.periods() < 1)
        throw VdxError(err::ObjectNotFound, Message(18));
    const int ages = cells.ageClasses(), periods = cells.periods();
    auto chart = NewChart("Person-years by age class and calendar period (" + Q(PyTableName(state.py, 1)) + ")");
    auto* x = new QCategoryAxis;
    auto* y = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    y->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    for (int j = 1; j <= periods; ++j)
        x->append(QString::number(state.CalendarBounds.at(j)) + "-" + QString::number(state.CalendarBounds.at(j + 1)), j);
    for (int i = 1; i <= ages; ++i)
        y->append(QString::number(state.AgeBounds.at(i)) + "-" + QString::number(state.AgeBounds.at(i + 1)), i);
    x->setRange(0, periods);
    y->setRange(0, ages);
    x->setTitleText("Calendar period");
    y->setTitleText("Age class");
    x->setLabelsAngle(periods > 8 ? -90 : 0);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    double largest = 0;
    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j) largest = std::max(largest, static_cast<double>(cells.at(1, i, j)) / 365.25);
    // Each cell is a rectangle in axis units (period j spans j - 1 to j, age
    // class i spans i - 1 to i), so the cells fill the plot area whatever
    // its shape and however many classes and periods there are. The legend
    // shows one entry per step; the cells themselves stay out of it.
    constexpr int kSteps = 6;
    std::vector<QColor> colours;
    for (int s = 0; s < kSteps; ++s) {
        colours.push_back(QColor::fromHsvF(0.62, 0.08 + 0.9 * s / (kSteps - 1), 0.98 - 0.45 * s / (kSteps - 1)));
        auto* legend = new QAreaSeries(new QLineSeries);
        const double from = largest * s / kSteps, to = largest * (s + 1) / kSteps;
        legend->setName(s == 0 ? "0 - " + Fixed(to, 0) + " years" : Fixed(from, 0) + " - " + Fixed(to, 0));
        legend->setBrush(colours.back());
        legend->setPen(Qt::NoPen);
        chart->addSeries(legend);
        legend->attachAxis(x);
        legend->attachAxis(y);
    }
    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j) {
            const double years = static_cast<double>(cells.at(1, i, j)) / 365.25;
            const int s = largest > 0 ? std::min(kSteps - 1, static_cast<int>(years / largest * kSteps)) : 0;
            auto* upper = new QLineSeries;
            auto* lower = new QLineSeries;
            upper->append(j - 1, i);
            upper->append(j, i);
            lower->append(j - 1, i - 1);
            lower->append(j, i - 1);
            auto* cell = new QAreaSeries(upper, lower);
            cell->setBrush(colours[static_cast<size_t>(s)]);
            cell->setPen(QPen(Qt::white, 1));
            chart->addSeries(cell);
            cell->attachAxis(x);
            cell->attachAxis(y);
            HideFromLegend(*chart, cell);
        }
    return chart;
}

}  // namespace

bool PlotKindFromName(const std::string& name, PlotKind& kind) {
    if (name == "forest") kind = PlotKind::Forest;
    else if (name == "observed-expected") kind = PlotKind::ObservedExpected;
    else if (name == "person-years") kind = PlotKind::PersonYears;
    else return false;
    return true;
}

std::vector<std::unique_ptr<QChart>> BuildPlot(const ProgramState& state, PlotKind kind, const std::string& project) {
    std::vector<std::unique_ptr<QChart>> charts;
    switch (kind) {
        case PlotKind::Forest: charts.push_back(ForestChart(state)); break;
        case PlotKind::PersonYears: charts.push_back(PersonYearsChart(state)); break;
        case PlotKind::ObservedExpected: {
            const mortality::StrataTable t = mortality::BuildStrataTable(state, project);
            if (t.outOfDate) {
                // Its deaths by stratum belong to person-years that are gone:
                // the stored totals only, and the title says why.
                charts.push_back(BarChart(Q(project) + ": out of date (person-years computed again since); "
                                                       "stored totals",
                                          "", mortality::StoredTotals(t)));
                break;
            }
            charts.push_back(BarChart(Q(project) + ": observed and expected deaths by age class", "Age class",
                                      mortality::SumsByAgeClass(t)));
            charts.push_back(BarChart(Q(project) + ": observed and expected deaths by calendar period",
                                      "Calendar period", mortality::SumsByPeriod(t)));
            break;
        }
    }
    return charts;
}

QSize PlotSize(const std::vector<std::unique_ptr<QChart>>& charts) {
    return QSize(kWidth, kChartHeight * static_cast<int>(std::max<size_t>(charts.size(), 1)));
}

void SavePlot(const std::vector<std::unique_ptr<QChart>>& charts, const QString& path) {
    const QString type = path.section('.', -1).toLower();
    if (type != "png" && type != "svg" && type != "pdf")
        throw VdxError(err::PathAccess, "A plot is saved as .png, .svg or .pdf, not as '" + path.toStdString() + "'.");
    const QSize size = PlotSize(charts);
    QGraphicsScene scene;
    int top = 0;
    for (const auto& chart : charts) {
        chart->setGeometry(QRectF(0, top, size.width(), kChartHeight));
        scene.addItem(chart.get());
        top += kChartHeight;
    }
    const QRectF source(0, 0, size.width(), size.height());
    auto failed = [&](const QString& why) {
        return VdxError(err::PermissionDenied, "The plot could not be written to '" + path.toStdString() + "': " +
                                                   why.toStdString());
    };
    // The file appears whole or not at all.
    QSaveFile file(path);
    const bool opened = file.open(QIODevice::WriteOnly);
    bool drawn = false;
    if (opened) {
        if (type == "png") {
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            scene.render(&painter, QRectF(QPointF(0, 0), size), source);
            painter.end();
            drawn = image.save(&file, "PNG");
        } else if (type == "svg") {
            QSvgGenerator svg;
            svg.setOutputDevice(&file);
            svg.setSize(size);
            svg.setViewBox(QRect(QPoint(0, 0), size));
            svg.setTitle(charts.empty() ? QString() : charts.front()->title());
            QPainter painter;
            drawn = painter.begin(&svg);
            if (drawn) scene.render(&painter, QRectF(QPointF(0, 0), size), source);
        } else {
            QPdfWriter pdf(&file);
            pdf.setResolution(96);
            pdf.setPageSize(QPageSize(QSizeF(size.width() * 0.75, size.height() * 0.75), QPageSize::Point));
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
            QPainter painter;
            drawn = painter.begin(&pdf);
            if (drawn) scene.render(&painter, QRectF(0, 0, pdf.width(), pdf.height()), source);
        }
    }
    // The charts belong to the caller, not to the scene.
    for (const auto& chart : charts) scene.removeItem(chart.get());
    if (!opened) throw failed(file.errorString());
    if (!drawn) throw failed("the picture could not be drawn.");
    if (!file.commit()) throw failed(file.errorString());
}

}  // namespace vdx::plots
