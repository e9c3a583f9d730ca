#include "state.h"

namespace vdx {

void PyCells::resize(int tables, int ageClasses, int periods) {
    tables_ = tables;
    ages_ = ageClasses;
    periods_ = periods;
    cells_.assign(static_cast<size_t>(tables + 1) * (ageClasses + 1) * (periods + 1), 0);
}

void AddFixedNavigatorNodes(ProgramState& state) {
    auto& tree = state.Navigator;
    int root = tree.add(-1, kNodeRootKey, "Main", 1, 2);
    state.CurrentNode = tree.add(root, kNodeDataKey, "Data", 1, 2);
    state.CurrentNode = tree.add(root, kNodeRateKey, "Rate tables", 1, 2);
    state.CurrentNode = tree.add(root, kNodePyKey, "Person-Years", 1, 0);
}

void ResetNavigator(ProgramState& state) {
    state.Navigator.clear();
    AddFixedNavigatorNodes(state);

    state.ProjectOpen = false;
    state.ProjectUpgraded = false;
    state.ProjectFileName.clear();
    state.WorkingCopyName.clear();
    state.MainTableName.clear();
    state.RateTableCount = 0;
    state.ProjectCount = 0;
    state.MainTableFields.clear();
    state.py = PySettings{};
    state.AgeBounds.assign(1, 0);
    state.CalendarBounds.assign(1, 0);
    state.PyValues.clear();
    state.CancelRequested = false;
    state.PyEntries.reset();
    state.ExposureEntry = ExposureAxis{};
    state.Exposure = ExposureResults{};
    state.SmrEntries.reset();
    state.ExternalDatabaseName.clear();
    state.ExternalFileTitle.clear();
    state.ExternalConnect.clear();
    state.ExternalTableName.clear();
    state.TextImportDone = false;
    state.CurrentResult.clear();
    state.CurrentResultTable.clear();
}

void ShowView(ProgramState& state, ViewName view) {
    state.CurrentView = view;
    switch (view) {
        case ViewName::Empty:
        case ViewName::Chart: state.CurrentGrid = GridName::None; break;
        case ViewName::MainGrid: state.CurrentGrid = GridName::MainGrid; break;
        case ViewName::InternalGrid: state.CurrentGrid = GridName::InternalGrid; break;
        case ViewName::ResultGrid:
        case ViewName::ResultRTF: state.CurrentGrid = GridName::ResultGrid; break;
    }
}

std::string PyTableName(const PySettings& py, int table) {
    switch (table) {
        case 2: return "Age*Calendar*Sex=" + std::to_string(py.sexCode1);
        case 3: return "Age*Calendar*Sex=" + std::to_string(py.sexCode2);
        default: return "Age*Calendar";
    }
}

std::string WorkingCopyPath(const std::string& projectFile) {
    if (projectFile.empty()) return {};
    return projectFile.substr(0, projectFile.size() - 1) + "~";
}

}  // namespace vdx
