#include "charts/plot_charts.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QGraphicsLayout>
#include <QGraphicsItem>
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
QCategoryAxis* BoundsAxis(const std::vector<int>& bounds, int most, const QString& title) {
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setStartValue(0);
    for (int i : LabelledBounds(bounds, most)) axis->append(QString::number(bounds[i]), i);
    axis->setRange(0, static_cast<int>(bounds.size()) - 1);
    axis->setGridLineVisible(false);
    axis->setTitleText(title);
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

// The cells of the heat map, drawn as one image into the chart's plot area
// (however many cells there are: one item, not one series per cell). The
// image is made at the plot area's size, so that it stays sharp in PNG, SVG
// and PDF, and made again only when that size changes.
class HeatMapItem : public QGraphicsItem {
public:
    // steps: per cell, row by row from the lowest age class, the colour step
    // (0 to kSteps - 1) or -1 for a cell without person-years.
    HeatMapItem(QChart* chart, int ages, int periods, std::vector<int8_t> steps)
        : QGraphicsItem(chart), ages_(ages), periods_(periods), steps_(std::move(steps)) {
        // Above the plot area's background, below the axes and the legend.
        setZValue(2.5);
        QObject::connect(chart, &QChart::plotAreaChanged, chart, [this](const QRectF& area) {
            prepareGeometryChange();
            area_ = area;
        });
    }
    QRectF boundingRect() const override { return area_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        const QSize size = area_.size().toSize();
        if (size.isEmpty()) return;
        if (image_.size() != size) image_ = draw(size);
        painter->drawImage(area_.topLeft(), image_);
    }

private:
    QImage draw(const QSize& size) const {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        const double w = static_cast<double>(size.width()) / periods_, h = static_cast<double>(size.height()) / ages_;
        // Cells of 6 pixels and more keep a white line between them.
        const int gap = w >= 6 && h >= 6 ? 1 : 0;
        const QBrush noYears = NoYearsBrush();
        for (int i = 0; i < ages_; ++i) {
            const int bottom = size.height() - static_cast<int>(std::lround(i * h));
            const int top = size.height() - static_cast<int>(std::lround((i + 1) * h));
            for (int j = 0; j < periods_; ++j) {
                const int left = static_cast<int>(std::lround(j * w)), right = static_cast<int>(std::lround((j + 1) * w));
                const QRect cell(left, top, right - left - gap, bottom - top - gap);
                const int s = steps_[static_cast<size_t>(i) * periods_ + j];
                if (s < 0) p.fillRect(cell, noYears);
                else p.fillRect(cell, StepColour(s));
            }
        }
        return image;
    }

    int ages_, periods_;
    std::vector<int8_t> steps_;
    QRectF area_;
    QImage image_;
};

// Person-years of all persons as cells coloured in six steps from the
// largest cell down, cells without person-years hatched; the legend gives
// each step's range in years.
std::unique_ptr<QChart> PersonYearsChart(const ProgramState& state) {
    const PyCells& cells = state.PyValues;
    if (!state.py.blnPersonYears || cells.tables() < 1 || cells.ageClasses() < 1 || cells.periods() < 1)
        throw VdxError(err::ObjectNotFound, Message(18));
    const int ages = cells.ageClasses(), periods = cells.periods();
    auto chart = NewChart("Person-years by age class and calendar period (" + Q(PyTableName(state.py, 1)) + ")");
    std::vector<int> periodBounds, ageBounds;
    for (int j = 1; j <= periods + 1; ++j) periodBounds.push_back(state.CalendarBounds.at(j));
    for (int i = 1; i <= ages + 1; ++i) ageBounds.push_back(state.AgeBounds.at(i));
    auto* x = BoundsAxis(periodBounds, 12, "Calendar year");
    auto* y = BoundsAxis(ageBounds, 12, "Age");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    double largest = 0;
    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j) largest = std::max(largest, static_cast<double>(cells.at(1, i, j)) / 365.25);
    std::vector<int8_t> steps;
    steps.reserve(static_cast<size_t>(ages) * periods);
    bool anyEmpty = false;
    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j) {
            const double years = static_cast<double>(cells.at(1, i, j)) / 365.25;
            anyEmpty = anyEmpty || years <= 0;
            steps.push_back(years <= 0 ? int8_t{-1}
                                       : static_cast<int8_t>(std::min(kSteps - 1, static_cast<int>(years / largest * kSteps))));
        }

    // The legend: one entry per step, and one for the cells without
    // person-years when there are any (empty series that only show there).
    auto legendEntry = [&](const QString& name, const QBrush& brush) {
        auto* entry = new QAreaSeries(new QLineSeries);
        entry->setName(name);
        entry->setBrush(brush);
        entry->setPen(brush.style() == Qt::SolidPattern ? QPen(Qt::NoPen) : QPen(kNoYearsColour));
        chart->addSeries(entry);
        entry->attachAxis(x);
        entry->attachAxis(y);
    };
    // As many decimals as keep the ends of every step apart (a largest cell
    // of 4 years gives steps of 0.67: "0.7 - 1.3", not "1 - 1").
    const double step = largest / kSteps;
    const int decimals = step > 0 ? std::clamp(static_cast<int>(std::ceil(-std::log10(step / 2))), 0, 6) : 0;
    for (int s = 0; s < kSteps; ++s) {
        const QString from = Fixed(step * s, decimals), to = Fixed(step * (s + 1), decimals);
        legendEntry(s == 0 ? "up to " + to + " years" : from + " - " + to, StepColour(s));
    }
    if (anyEmpty) legendEntry("no person-years", NoYearsBrush());
    new HeatMapItem(chart.get(), ages, periods, std::move(steps));
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
    if (std::none_of(std::begin(kPlotFileTypes), std::end(kPlotFileTypes),
                     [&](const PlotFileType& t) { return type == t.ending; })) {
        std::string endings;  // ".png, .svg or .pdf"
        for (size_t i = 0; i < std::size(kPlotFileTypes); ++i)
            endings += (i == 0 ? "." : i + 1 < std::size(kPlotFileTypes) ? ", ." : " or .") +
                       std::string(kPlotFileTypes[i].ending);
        throw VdxError(err::PathAccess, "A plot is saved as " + endings + ", not as '" + path.toStdString() + "'.");
    }
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
