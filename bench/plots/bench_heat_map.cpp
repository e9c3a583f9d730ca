// The person-years heat map at the sizes of 1-year classes: ages x calendar
// periods of 14 x 13, 100 x 70 and 120 x 300 cells. For each, the time to
// build the plot and draw it into PNG, SVG and PDF (what veldrix-cli plot
// does) and to show it in the main window's plot view (offscreen, drawn
// once into a pixmap), and the peak memory.
// Usage: bench_heat_map [folder = a temporary folder]
#include <QApplication>
#include <QFileInfo>
#include <QPixmap>

#include <filesystem>
#include <iostream>

#include "../exchange/bench_measure.h"
#include "plots/plot_file.h"
#include "plots/study_plots.h"
#include "plot_view.h"

namespace {

vdx::ProgramState Study(int ages, int periods) {
    vdx::ProgramState state;
    state.py.computed = true;
    state.PyValues.resize(1, ages, periods);
    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j)
            state.PyValues.at(1, i, j) = (i * 7 + j * 3) % 11 == 0 ? 0 : static_cast<int64_t>(1000 + 37 * i * j);
    for (int i = 0; i <= ages; ++i) state.AgeBounds.push_back(static_cast<int16_t>(i));
    for (int j = 0; j <= periods; ++j) state.CalendarBounds.push_back(static_cast<int16_t>(1720 + j));
    return state;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string folder =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "vdx_heat_map_bench").string();
    std::filesystem::create_directories(folder);
    for (auto [ages, periods] : {std::pair{13, 14}, std::pair{100, 70}, std::pair{120, 300}}) {
        const vdx::ProgramState state = Study(ages, periods);
        std::cout << ages << " x " << periods << " cells:";
        for (const char* type : {"png", "svg", "pdf"}) {
            const QString path = QString::fromStdString(folder) + "/heat." + type;
            const double s = bench::Seconds([&] {
                vdx::plots::SavePlot(vdx::plots::BuildPlot(state, vdx::plots::PlotKind::PersonYears, ""), path);
            });
            std::cout << " " << type << " " << s << " s (" << QFileInfo(path).size() / 1024 << " KiB),";
        }
        vdx::PlotView view(nullptr);
        view.resize(1200, 800);
        const double shown = bench::Seconds([&] {
            view.setPlot(vdx::plots::BuildPlot(state, vdx::plots::PlotKind::PersonYears, ""));
            view.grab();
        });
        std::cout << " view " << shown << " s; peak memory " << bench::PeakMebibytes() << " MiB" << std::endl;
    }
    return 0;
}
