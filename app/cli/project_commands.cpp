#include "cli/project_commands.h"

#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "db/navigator_entries.h"
#include "db/file_commands.h"
#include "db/file_io.h"
#include "db/project_file.h"
#include "project/project_convert.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::cli {

namespace {

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
}

// The entries of the navigator below a fixed group, in order.
std::vector<std::string> EntriesUnder(const ProgramState& state, const char* groupKey) {
    std::vector<std::string> out;
    const int group = state.Navigator.findByKey(groupKey);
    if (group < 0) return out;
    for (int id : state.Navigator.children(group)) out.push_back(state.Navigator.node(id)->text);
    return out;
}

std::vector<std::string> ProjectEntries(const ProgramState& state) {
    std::vector<std::string> out;
    for (const auto& n : state.Navigator.nodes())
        if (n.parent == -1 && n.key != kNodeRootKey && n.key != db::kPlotsKey) out.push_back(n.text);
    return out;
}

template <typename T>
std::string Bounds(const std::vector<T>& values) {
    std::vector<std::string> texts;
    for (size_t i = 1; i < values.size(); ++i) texts.push_back(std::to_string(values[i]));
    return Join(texts);
}

}  // namespace

int RunNew(const std::vector<std::string>& args) {
    bool force = false;
    std::string path;
    for (const auto& a : args) {
        if (a == "--force") force = true;
        else if (path.empty() && !a.empty() && a[0] != '-') path = a;
        else return UsageError("new");
    }
    if (path.empty()) return UsageError("new");
    CliSession session;
    if (!session.lock(path)) return kFailed;
    if (db::FileExists(path) && !force) {
        PrintMessage(path + " exists already; use --force to replace it.");
        return kFailed;
    }
    if (!db::CreateProjectFile(session.state, session.ui, path)) return kFailed;
    return kOk;
}

int RunInfo(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return UsageError("info");
    const std::string& path = args[0];
    CliSession session;
    if (!session.lock(path)) return kFailed;
    // Opened as Open opens it: converted in the working copy, the file
    // itself is not written.
    if (!db::OpenProjectFile(session.state, session.ui, path)) return kFailed;
    const ProgramState& s = session.state;
    std::cout << "Version: " << s.FormatVersion << "\n";
    std::cout << "ProjectUpgraded: " << BooleanText(s.ProjectUpgraded) << "\n";
    std::cout << "MainTable: " << s.MainTableName << "\n";
    std::cout << "intRateTablesAnzahl: " << s.RateTableCount << "\n";
    std::cout << "RateTables: " << Join(EntriesUnder(s, kNodeRateKey)) << "\n";
    std::cout << "intProjectAnzahl: " << s.ProjectCount << "\n";
    std::cout << "Projects: " << Join(ProjectEntries(s)) << "\n";
    const auto texts = db::PySettingTexts(s.py);
    const auto& keys = db::SystemPyKeys();
    for (size_t i = 0; i < keys.size(); ++i) std::cout << keys[i] << ": " << texts[i] << "\n";
    if (s.py.computed) {
        std::cout << "AgeBounds: " << Bounds(s.AgeBounds) << "\n";
        std::cout << "CalendarBounds: " << Bounds(s.CalendarBounds) << "\n";
    }
    if (db::ProjectFileReadOnly(s))
        PrintMessage("Note: " + s.ProjectFileName + " is read-only; commands that change it cannot save.");
    return kOk;
}

int RunConvert(const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    ProjectFormat format = ProjectFormat::Veldrix;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--format" && i + 1 < args.size()) {
            const std::string& name = args[++i];
            if (name != "vdx" && name != "jet") return UsageError("convert");
            format = name == "jet" ? ProjectFormat::Jet : ProjectFormat::Veldrix;
        } else if (!args[i].empty() && args[i][0] != '-') {
            paths.push_back(args[i]);
        } else {
            return UsageError("convert");
        }
    }
    if (paths.size() != 2) return UsageError("convert");
    try {
        project::ConvertProjectFile(paths[0], paths[1], format);
    } catch (const VdxError& e) {
        PrintMessage(e.number() == err::UnrecognizedDatabase ? db::NotAVeldrixFileText(paths[0], e)
                                                             : GeneralErrorText(e.number(), e.description()));
        return kFailed;
    }
    return kOk;
}

}  // namespace vdx::cli
