#include "plots/chart_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vdx::plots {

namespace {

constexpr int kWidth = 1100;
constexpr int kChartHeight = 650;
constexpr double kMargin = 20;
constexpr double kGap = 8;          // between a label and what it labels
constexpr double kMarker = 9;       // a legend entry's square
constexpr double kEntryGap = 16;    // between legend entries
constexpr int kLargestImage = 4000;  // pixels a side of the cells' image
const QColor kText(0x40, 0x40, 0x40);
const QColor kGridLine(0xe2, 0xe2, 0xe2);
const QColor kAxisLine(0xb4, 0xb4, 0xb4);

// Pixel sizes, so that a text is as large in a PNG, an SVG and a PDF.
QFont Font(int pixels, bool bold) {
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}
QFont TitleFont() { return Font(17, true); }
QFont LabelFont() { return Font(12, false); }
QFont AxisTitleFont() { return Font(12, true); }

double EntryWidth(const QFontMetricsF& fm, const LegendEntry& entry) {
    return kMarker + 5 + fm.horizontalAdvance(entry.text);
}

struct Layout {
    QRectF title, area;
    double yLabelWidth = 0;  // room for the labels left of the plot area
    double xLabelHeight = 0;  // and below it
    double legendTop = 0;
    std::vector<std::vector<size_t>> legendLines;  // the legend's entries, line by line
};

Layout MakeLayout(const Chart& chart, const QRectF& rect) {
    Layout l;
    const QFontMetricsF titleFm(TitleFont()), labelFm(LabelFont()), axisFm(AxisTitleFont());
    const QRectF inner = rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);

    l.title = chart.title.isEmpty()
                  ? QRectF(inner.topLeft(), QSizeF(inner.width(), 0))
                  : titleFm.boundingRect(QRectF(inner.left(), inner.top(), inner.width(), 0),
                                         Qt::AlignHCenter | Qt::TextWordWrap, chart.title);
    l.title.setLeft(inner.left());
    l.title.setRight(inner.right());

    double used = 0;
    for (size_t k = 0; k < chart.legend.size(); ++k) {
        const double w = EntryWidth(labelFm, chart.legend[k]);
        if (l.legendLines.empty() || used + kEntryGap + w > inner.width()) {
            l.legendLines.emplace_back();
            used = -kEntryGap;
        }
        l.legendLines.back().push_back(k);
        used += kEntryGap + w;
    }
    const double legendHeight = static_cast<double>(l.legendLines.size()) * labelFm.height() * 1.4;
    l.legendTop = inner.bottom() - legendHeight;

    // Long labels on the left (the forest plot's rows) get at most 45 % of
    // the width and are shortened beyond.
    for (const Tick& t : chart.y.ticks) l.yLabelWidth = std::max(l.yLabelWidth, labelFm.horizontalAdvance(t.text));
    l.yLabelWidth = std::min(l.yLabelWidth, inner.width() * 0.45);
    l.xLabelHeight = labelFm.height();
    if (chart.x.labelAngle != 0) {
        double widest = 0;
        for (const Tick& t : chart.x.ticks) widest = std::max(widest, labelFm.horizontalAdvance(t.text));
        const double a = std::abs(chart.x.labelAngle) * std::numbers::pi / 180;
        l.xLabelHeight = widest * std::sin(a) + labelFm.height() * std::cos(a);
    }

    const double left =
        inner.left() + (chart.y.title.isEmpty() ? 0 : axisFm.height() + kGap) + l.yLabelWidth + kGap;
    const double top = l.title.bottom() + (chart.title.isEmpty() ? 0 : 2 * kGap);
    const double bottom = l.legendTop - (chart.legend.empty() ? 0 : 1.5 * kGap) -
                          (chart.x.title.isEmpty() ? 0 : axisFm.height() + kGap / 2) - l.xLabelHeight - kGap;
    // Room on the right for half a label at the right end.
    const double right = inner.right() - labelFm.horizontalAdvance("0000") / 2;
    l.area = QRectF(QPointF(left, top), QPointF(std::max(right, left + 10), std::max(bottom, top + 10)));
    return l;
}

// The cells as one image, made at the device's resolution so that they stay
// sharp in a file and on a printer alike.
void PaintCells(const CellGrid& grid, QPainter& painter, const QRectF& area) {
    if (grid.rows < 1 || grid.columns < 1) return;
    const QRectF onDevice = painter.transform().mapRect(area);
    const QSize size(std::clamp(static_cast<int>(std::lround(onDevice.width())), 1, kLargestImage),
                     std::clamp(static_cast<int>(std::lround(onDevice.height())), 1, kLargestImage));
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    const double w = static_cast<double>(size.width()) / grid.columns;
    const double h = static_cast<double>(size.height()) / grid.rows;
    // Cells of 6 pixels and more keep a white line between them.
    const int gap = w >= 6 && h >= 6 ? 1 : 0;
    for (int i = 0; i < grid.rows; ++i) {
        const int bottom = size.height() - static_cast<int>(std::lround(i * h));
        const int top = size.height() - static_cast<int>(std::lround((i + 1) * h));
        for (int j = 0; j < grid.columns; ++j) {
            const int left = static_cast<int>(std::lround(j * w)), right = static_cast<int>(std::lround((j + 1) * w));
            const QRect cell(left, top, right - left - gap, bottom - top - gap);
            const int c = grid.cells[static_cast<size_t>(i) * grid.columns + j];
            if (c < 0) p.fillRect(cell, grid.empty);
            else p.fillRect(cell, grid.colours[static_cast<size_t>(c)]);
        }
    }
    p.end();
    painter.drawImage(area, image);
}

}  // namespace

QSize PlotSize(const Plot& plot) {
    return QSize(kWidth, kChartHeight * static_cast<int>(std::max<size_t>(plot.size(), 1)));
}

QRectF PlotArea(const Chart& chart, const QRectF& rect) { return MakeLayout(chart, rect).area; }

void PaintChart(const Chart& chart, QPainter& painter, const QRectF& rect) {
    const Layout l = MakeLayout(chart, rect);
    const QRectF& area = l.area;
    const QFontMetricsF labelFm(LabelFont()), axisFm(AxisTitleFont());
    auto x = [&](double v) { return area.left() + (v - chart.x.from) / (chart.x.to - chart.x.from) * area.width(); };
    auto y = [&](double v) { return area.bottom() - (v - chart.y.from) / (chart.y.to - chart.y.from) * area.height(); };
    auto at = [&](QPointF v) { return QPointF(x(v.x()), y(v.y())); };
    auto inX = [&](double v) { return v >= std::min(chart.x.from, chart.x.to) && v <= std::max(chart.x.from, chart.x.to); };
    auto inY = [&](double v) { return v >= std::min(chart.y.from, chart.y.to) && v <= std::max(chart.y.from, chart.y.to); };

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(rect, Qt::white);

    painter.setFont(TitleFont());
    painter.setPen(kText);
    painter.drawText(l.title, Qt::AlignHCenter | Qt::TextWordWrap, chart.title);

    painter.setPen(QPen(kGridLine, 1));
    for (double v : chart.x.gridLines)
        if (inX(v)) painter.drawLine(QPointF(x(v), area.top()), QPointF(x(v), area.bottom()));
    for (double v : chart.y.gridLines)
        if (inY(v)) painter.drawLine(QPointF(area.left(), y(v)), QPointF(area.right(), y(v)));

    if (chart.cells) PaintCells(*chart.cells, painter, area);
    for (const Box& b : chart.boxes)
        painter.fillRect(QRectF(at(QPointF(b.area.left(), b.area.bottom())), at(QPointF(b.area.right(), b.area.top()))),
                         b.colour);
    for (const Segment& s : chart.segments) {
        painter.setPen(s.pen);
        painter.drawLine(at(s.from), at(s.to));
    }
    for (const Square& s : chart.squares) {
        const QPointF c = at(s.centre);
        painter.fillRect(QRectF(c.x() - s.size / 2, c.y() - s.size / 2, s.size, s.size), s.colour);
    }

    painter.setPen(QPen(kAxisLine, 1));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.bottomLeft(), area.topLeft());

    // The labels, then the axis titles.
    painter.setFont(LabelFont());
    painter.setPen(kText);
    const double lh = labelFm.height();
    for (const Tick& t : chart.y.ticks) {
        if (!inY(t.at)) continue;
        const QString text = labelFm.elidedText(t.text, Qt::ElideRight, l.yLabelWidth + 0.5);
        painter.drawText(QRectF(area.left() - kGap - l.yLabelWidth - 1, y(t.at) - lh / 2, l.yLabelWidth + 1, lh),
                         Qt::AlignRight | Qt::AlignVCenter, text);
    }
    for (const Tick& t : chart.x.ticks) {
        if (!inX(t.at)) continue;
        const double w = labelFm.horizontalAdvance(t.text) + 2;
        if (chart.x.labelAngle == 0) {
            painter.drawText(QRectF(x(t.at) - w / 2, area.bottom() + kGap / 2, w, lh), Qt::AlignCenter, t.text);
        } else {
            // Turned about the label's end, which stands below its place.
            painter.save();
            painter.translate(x(t.at), area.bottom() + kGap / 2 + lh * 0.3);
            painter.rotate(chart.x.labelAngle);
            painter.drawText(QRectF(-w, -lh / 2, w, lh), Qt::AlignRight | Qt::AlignVCenter, t.text);
            painter.restore();
        }
    }
    painter.setFont(AxisTitleFont());
    if (!chart.x.title.isEmpty())
        painter.drawText(QRectF(area.left(), area.bottom() + kGap + l.xLabelHeight, area.width(), axisFm.height()),
                         Qt::AlignHCenter | Qt::AlignTop, chart.x.title);
    if (!chart.y.title.isEmpty()) {
        painter.save();
        painter.translate(rect.left() + kMargin + axisFm.height() / 2, area.center().y());
        painter.rotate(-90);
        painter.drawText(QRectF(-area.height() / 2, -axisFm.height() / 2, area.height(), axisFm.height()),
                         Qt::AlignCenter, chart.y.title);
        painter.restore();
    }

    // The legend, centred, line by line.
    painter.setFont(LabelFont());
    const double lineHeight = lh * 1.4;
    double top = l.legendTop;
    for (const auto& line : l.legendLines) {
        double width = -kEntryGap;
        for (size_t k : line) width += kEntryGap + EntryWidth(labelFm, chart.legend[k]);
        double left = rect.center().x() - width / 2;
        for (size_t k : line) {
            const LegendEntry& e = chart.legend[k];
            const QRectF marker(left, top + (lineHeight - kMarker) / 2, kMarker, kMarker);
            painter.fillRect(marker, e.brush);
            if (e.pen.style() != Qt::NoPen) {
                painter.setPen(e.pen);
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(marker);
            }
            painter.setPen(kText);
            const double textWidth = labelFm.horizontalAdvance(e.text) + 1;
            painter.drawText(QRectF(marker.right() + 5, top, textWidth, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                             e.text);
            left += kEntryGap + EntryWidth(labelFm, e);
        }
        top += lineHeight;
    }
    painter.restore();
}

void PaintPlot(const Plot& plot, QPainter& painter, const QRectF& target) {
    const QSizeF size = PlotSize(plot);
    const QSizeF drawn = size.scaled(target.size(), Qt::KeepAspectRatio);
    painter.save();
    painter.translate(target.center() - QPointF(drawn.width() / 2, drawn.height() / 2));
    painter.scale(drawn.width() / size.width(), drawn.height() / size.height());
    double top = 0;
    for (const Chart& chart : plot) {
        PaintChart(chart, painter, QRectF(0, top, size.width(), kChartHeight));
        top += kChartHeight;
    }
    painter.restore();
}

}  // namespace vdx::plots
