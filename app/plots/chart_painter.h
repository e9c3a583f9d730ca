// Draws the charts of chart.h with QPainter: the title at the top, the
// legend at the bottom, the axes' labels and titles at the left and bottom
// of the plot area. Used for the files veldrix-cli and Save plot as...
// write, for the main window's plot view and for Print plot, so that all of
// them show one drawing.
#pragma once

#include <QRectF>
#include <QSize>

#include "plots/chart.h"

class QPainter;

namespace vdx::plots {

// The size in pixels at which a plot is drawn into a file: 1100 wide, 650
// high per chart.
QSize PlotSize(const Plot& plot);

// Where the marks of `chart` go when it is drawn into `rect`.
QRectF PlotArea(const Chart& chart, const QRectF& rect);

// Draws `chart` into `rect`, the texts at their pixel sizes whatever the
// size of `rect`.
void PaintChart(const Chart& chart, QPainter& painter, const QRectF& rect);

// Draws the charts of `plot` one below the other, laid out at PlotSize and
// scaled to fit `target` (the proportions kept, centred).
void PaintPlot(const Plot& plot, QPainter& painter, const QRectF& target);

}  // namespace vdx::plots
