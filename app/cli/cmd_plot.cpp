// veldrix-cli plot STUDY.vdx forest|observed-expected|person-years|causes|rate-ratios [PROJECT|ANALYSIS]
//     --out FILE.png|.svg|.pdf [--null 1|100]
//
// Draws the plot the main window shows under "Plots" into a file, with no
// window: Qt runs on its offscreen platform. "causes" is the forest plot of
// an analysis of causes (veldrix-cli causes), one row per cause.
#include <QGuiApplication>

#include <algorithm>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/results_commands.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "plots/plot_file.h"
#include "plots/study_plots.h"
#include "state/errors.h"

namespace vdx::cli {

int RunPlot(const std::vector<std::string>& args) {
    std::vector<std::string> plain;
    std::string out, null = "100";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" || args[i] == "--null") {
            if (i + 1 >= args.size()) return UsageError("plot");
            std::string& value = args[i] == "--out" ? out : null;
            value = args[++i];
        } else if (args[i].rfind("--", 0) == 0) {
            return UsageError("plot");
        } else {
            plain.push_back(args[i]);
        }
    }
    plots::PlotKind kind{};
    if (plain.size() < 2 || out.empty() || (null != "1" && null != "100") ||
        !plots::PlotKindFromName(plain[1], kind))
        return UsageError("plot");
    const bool needsProject = kind == plots::PlotKind::ObservedExpected || kind == plots::PlotKind::Causes ||
                              kind == plots::PlotKind::Categories || kind == plots::PlotKind::RateRatios;
    if (plain.size() != (needsProject ? 3u : 2u)) return UsageError("plot");

    // Drawing into a file needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "veldrix-cli";
    static char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    CliSession session;
    ProgramState& state = session.state;
    if (!session.lock(plain[0])) return kFailed;
    if (!db::OpenProjectFile(state, session.ui, plain[0])) return kFailed;
    state.SmrNullValue = null == "1" ? 1 : 100;
    try {
        if (kind == plots::PlotKind::ObservedExpected) {
            const auto projects =
                db::ReadNameList(state.WorkingCopyName, db::kVdxSystemProjects, "Projects", state.ProjectCount);
            if (std::find(projects.begin(), projects.end(), plain[2]) == projects.end()) {
                PrintMessage("The project file holds no project '" + plain[2] + "'.");
                return kFailed;
            }
        }
        plots::SavePlot(plots::BuildPlot(state, kind, needsProject ? plain[2] : std::string()),
                        QString::fromStdString(out));
    } catch (const VdxError& e) {
        PrintMessage(e.description());
        return kFailed;
    }
    return kOk;
}

}  // namespace vdx::cli
