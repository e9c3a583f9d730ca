// The plots of a study drawn with Qt Charts: the forest plot of every SMR
// project, observed versus expected deaths of one project by age class and
// by calendar period, and the person-years by age class and calendar period
// as a heat map. The charts are drawn into files (PNG, SVG, PDF) without a
// window; the main window shows the same charts.
#pragma once

#include <QChart>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "state/state.h"

namespace vdx::plots {

enum class PlotKind { Forest, ObservedExpected, PersonYears };

// The plot kinds by their veldrix-cli names: "forest", "observed-expected",
// "person-years".
bool PlotKindFromName(const std::string& name, PlotKind& kind);

// The charts of one plot, drawn one below the other (observed versus
// expected is two charts: by age class, by calendar period). `project` is
// used by ObservedExpected only. Throws VdxError when the project file
// cannot give what the plot needs (no SMR project, no person-years...).
std::vector<std::unique_ptr<QChart>> BuildPlot(const ProgramState& state, PlotKind kind, const std::string& project);

// The size in pixels at which a plot is drawn into a file.
QSize PlotSize(const std::vector<std::unique_ptr<QChart>>& charts);

// The files a plot is saved as, the first the save dialog's default: the
// ending and the dialog's description of it.
struct PlotFileType {
    const char* ending;
    const char* description;
};
inline constexpr PlotFileType kPlotFileTypes[] = {
    {"png", "PNG picture"}, {"svg", "SVG drawing"}, {"pdf", "PDF document"}};

// Draws the charts into `path`, its type by the ending (kPlotFileTypes).
// Throws VdxError for another ending or a file that cannot be written.
void SavePlot(const std::vector<std::unique_ptr<QChart>>& charts, const QString& path);

}  // namespace vdx::plots
