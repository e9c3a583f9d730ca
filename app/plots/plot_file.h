// A plot saved as a file: a PNG picture, an SVG drawing or a PDF document,
// the type chosen by the file's ending.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "plots/chart.h"

namespace vdx::plots {

struct PlotFileType {
    const char* ending;  // without the dot: "png"
    const char* name;    // "PNG picture"
};

// The types a plot can be saved as, in the order Save plot as... offers them.
const std::vector<PlotFileType>& PlotFileTypes();

// Draws the plot at PlotSize into `path`, its type by the ending. Throws
// VdxError for another ending or a file that cannot be written; the file
// appears whole or not at all.
void SavePlot(const Plot& plot, const QString& path);

// The plot drawn at PlotSize as an SVG drawing in memory (the same drawing
// SavePlot writes into an .svg file). Throws VdxError when it cannot be drawn.
QByteArray PlotSvg(const Plot& plot);

}  // namespace vdx::plots
