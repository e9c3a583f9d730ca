// What one chart of a plot shows, as data: its title, two axes, the marks in
// its plot area and its legend. The study's plots (study_plots.h) fill it;
// chart_painter.h draws it with QPainter onto any device (an image, an SVG
// or PDF file, a printer, a widget), so that every view of a plot is one
// drawing.
#pragma once

#include <QBrush>
#include <QColor>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace vdx::plots {

// A label beside an axis, at a position in the axis's units.
struct Tick {
    double at = 0;
    QString text;
};

struct Axis {
    QString title;
    double from = 0, to = 1;  // the range the plot area spans
    std::vector<Tick> ticks;
    // Light lines across the plot area at these positions.
    std::vector<double> gridLines;
    // Labels turned by this many degrees (counter-clockwise negative), for
    // many long labels along the bottom.
    int labelAngle = 0;
};

// Marks in axis units; y grows upwards.
struct Box {
    QRectF area;  // left = lowest x, top = lowest y
    QColor colour;
};
struct Segment {
    QPointF from, to;
    QPen pen;
};
struct Square {
    QPointF centre;
    double size = 10;  // pixels at the plot's file size
    QColor colour;
};

// A grid of cells filling the plot area, drawn as one image however many
// cells there are. Cells go row by row from the bottom row, left to right;
// each holds an index into `colours`, or -1 for a cell drawn with `empty`.
struct CellGrid {
    int rows = 0, columns = 0;
    std::vector<int8_t> cells;
    std::vector<QColor> colours;
    QBrush empty;
};

// A legend entry: a small square filled with `brush`, outlined with `pen`.
struct LegendEntry {
    QString text;
    QBrush brush;
    QPen pen = QPen(Qt::NoPen);
};

struct Chart {
    QString title;
    Axis x, y;  // x along the bottom, y up the left side
    std::optional<CellGrid> cells;
    std::vector<Box> boxes;
    std::vector<Segment> segments;
    std::vector<Square> squares;
    std::vector<LegendEntry> legend;
};

// A plot: its charts, drawn one below the other.
using Plot = std::vector<Chart>;

}  // namespace vdx::plots
