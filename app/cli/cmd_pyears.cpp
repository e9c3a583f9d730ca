// veldrix-cli pyears STUDY.vdx --dob COL --entry COL --exit COL
//     (--age FROM:TO:STEP | --age-classes 20-24,25-29,...)
//     (--calendar FROM:TO:STEP | --calendar-classes 1950-1954,...)
//     [--sex COL=CODE1,CODE2] [--lag COL=YEARS]
//     [--by time-since-hire:0,20,30,40 [--hire COL]
//      | --by duration:0,1,5,10 --work-history NAME --id COL
//      | --by cumulative:0,1,5,10 --work-history NAME --id COL] [--exposure-lag YEARS]
//
// Fills the dialogs as a user would (frmPyComp, frmSelfDefined, frmSex,
// frmLag), runs their checks with their messages, runs the person-years run
// and saves the project file. A refused setting saves nothing.
#include <iostream>
#include <optional>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/py_commands.h"
#include "db/file_commands.h"
#include "py/class_bounds.h"
#include "py/exposure_axis.h"
#include "py/person_years_run.h"
#include "py/py_comp.h"
#include "py/self_defined.h"
#include "py/sex_lag.h"
#include "state/text_values.h"

namespace vdx::cli {

namespace {

struct PyearsArguments {
    std::string project, dob, entry, exit;
    std::optional<std::string> age, ageClasses, calendar, calendarClasses, sex, lag;
    std::optional<std::string> by, hire, workHistory, id, exposureLag;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

std::optional<PyearsArguments> Parse(const std::vector<std::string>& args) {
    PyearsArguments a;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            if (!a.project.empty()) return std::nullopt;
            a.project = arg;
            continue;
        }
        if (i + 1 >= args.size()) return std::nullopt;
        const std::string& value = args[++i];
        if (arg == "--dob") a.dob = value;
        else if (arg == "--entry") a.entry = value;
        else if (arg == "--exit") a.exit = value;
        else if (arg == "--age") a.age = value;
        else if (arg == "--age-classes") a.ageClasses = value;
        else if (arg == "--calendar") a.calendar = value;
        else if (arg == "--calendar-classes") a.calendarClasses = value;
        else if (arg == "--sex") a.sex = value;
        else if (arg == "--lag") a.lag = value;
        else if (arg == "--by") a.by = value;
        else if (arg == "--hire") a.hire = value;
        else if (arg == "--work-history") a.workHistory = value;
        else if (arg == "--id") a.id = value;
        else if (arg == "--exposure-lag") a.exposureLag = value;
        else return std::nullopt;
    }
    if (a.project.empty() || a.dob.empty() || a.entry.empty() || a.exit.empty()) return std::nullopt;
    if (a.age.has_value() == a.ageClasses.has_value()) return std::nullopt;
    if (a.calendar.has_value() == a.calendarClasses.has_value()) return std::nullopt;
    if (a.age && Split(*a.age, ':').size() != 3) return std::nullopt;
    if (a.calendar && Split(*a.calendar, ':').size() != 3) return std::nullopt;
    if (a.sex && (a.sex->find('=') == std::string::npos || a.sex->front() == '=')) return std::nullopt;
    if (a.lag && (a.lag->find('=') == std::string::npos || a.lag->front() == '=')) return std::nullopt;
    if (!a.by && (a.hire || a.workHistory || a.id || a.exposureLag)) return std::nullopt;
    return a;
}

// "20-24,25-29" into the rows of frmSelfDefined's grid.
std::optional<py::SelfDefinedGrid> ClassRows(const std::string& list) {
    py::SelfDefinedGrid grid;
    const auto classes = Split(list, ',');
    if (static_cast<int>(classes.size()) > py::kSelfDefinedRows) return std::nullopt;
    int row = 0;
    for (const auto& c : classes) {
        const size_t dash = c.find('-', 1);
        if (dash == std::string::npos) return std::nullopt;
        ++row;
        grid.cell(row, py::kBeginColumn) = c.substr(0, dash);
        grid.cell(row, py::kEndColumn) = c.substr(dash + 1);
    }
    return grid;
}

// Self-defined classes: frmSelfDefined's Ok. False (message printed) when refused.
bool DefineClasses(ProgramState& state, Interaction& ui, const std::string& list, bool calendar) {
    const auto grid = ClassRows(list);
    if (!grid) {
        PrintMessage("The classes must be written as BEGIN-END,BEGIN-END,... (at most 200).");
        return false;
    }
    if (calendar) state.py.blnCalendarSelfDefined = true;
    else state.py.blnAgeSelfDefined = true;
    return py::SelfDefinedOk(state, ui, calendar, *grid).ok();
}

// How many rows left out the summary names one by one.
constexpr size_t kLeftOutPrinted = 20;

void PrintSummary(const ProgramState& state, const py::PyRunSummary& s) {
    for (const auto& line : py::PyRunSummaryLines(state, s)) std::cout << line << "\n";
    const auto leftOut = py::PyRunLeftOutLines(s, kLeftOutPrinted);
    if (!leftOut.empty()) std::cout << "Rows left out:\n";
    for (const auto& line : leftOut) std::cout << "  " << line << "\n";
}

}  // namespace

int RunPyears(const std::vector<std::string>& args) {
    const auto a = Parse(args);
    if (!a) return UsageError("pyears");

    CliSession session;
    ProgramState& state = session.state;
    Interaction& ui = session.ui;
    if (!session.lock(a->project)) return kFailed;
    if (!db::OpenProjectFile(state, ui, a->project)) return kFailed;
    if (!py::PersonYearsCommandAllowed(state, ui)) return kFailed;

    // frmPyComp loads.
    const py::PySettingsSnapshot snapshot = py::TakeSettingsSnapshot(state);
    py::PyCompForm form;
    form.comDOB = a->dob;
    form.comEPS = a->entry;
    form.comTPS = a->exit;
    state.py.blnAgeSelfDefined = false;
    state.py.blnCalendarSelfDefined = false;
    if (a->age) {
        const auto p = Split(*a->age, ':');
        form.txtAgeFrom = p[0];
        form.txtAgeTo = p[1];
        form.txtAgeStep = p[2];
    } else if (!DefineClasses(state, ui, *a->ageClasses, false)) {
        return kFailed;  // the From/To/Step boxes of a self-defined list are not read
    }
    if (a->calendar) {
        const auto p = Split(*a->calendar, ':');
        form.txtCalendarFrom = p[0];
        form.txtCalendarTo = p[1];
        form.txtCalendarStep = p[2];
    } else if (!DefineClasses(state, ui, *a->calendarClasses, true)) {
        return kFailed;
    }

    // chkSex and frmSex; chkLag and frmLag.
    state.py.blnSex = a->sex.has_value();
    if (a->sex) {
        const size_t eq = a->sex->find('=');
        const py::SubDialogEntries before = py::TakeSexEntries(state.py);
        if (py::SexOk(state, ui, a->sex->substr(0, eq), a->sex->substr(eq + 1)) != py::DefinitionOk::Confirmed)
            return kFailed;
        py::SexDialogClosed(state, true, before);
    }
    state.py.blnLag = a->lag.has_value();
    if (a->lag) {
        const size_t eq = a->lag->find('=');
        const py::SubDialogEntries before = py::TakeLagEntries(state.py);
        if (py::LagOk(state, ui, a->lag->substr(0, eq), a->lag->substr(eq + 1)) != py::DefinitionOk::Confirmed)
            return kFailed;
        py::LagDialogClosed(state, true, before);
    }

    // The exposure axis.
    state.ExposureEntry = ExposureAxis{};
    if (a->by) {
        const auto axis = py::ReadAxisClasses(*a->by);
        if (!axis) {
            PrintMessage("--by takes time-since-hire, duration or cumulative, a colon and the lower bounds of the "
                         "classes in ascending order, such as cumulative:0,1,5,10,20.");
            return kFailed;
        }
        state.ExposureEntry = *axis;
        state.ExposureEntry.hireColumn = a->hire.value_or("");
        state.ExposureEntry.workHistory = a->workHistory.value_or("");
        state.ExposureEntry.idColumn = a->id.value_or("");
        if (a->exposureLag) {
            const auto lag = ReadNumber(*a->exposureLag);
            if (!lag || *lag != static_cast<int>(*lag)) {
                PrintMessage("--exposure-lag takes whole years.");
                return kFailed;
            }
            state.ExposureEntry.lagYears = static_cast<int>(*lag);
        }
        if (!py::CheckExposureAxis(state, ui, state.ExposureEntry)) return kFailed;
    }

    // Compute.
    if (!py::CheckPyCompute(state, ui, form).ok()) return kFailed;
    py::PyRunSummary summary;
    if (py::RunPersonYears(state, ui, snapshot, &summary) != py::PyRunOutcome::Completed) return kFailed;
    if (!db::FileSave(state, ui, db::AfterFailedSave::CommandDiscarded)) return kFailed;
    PrintSummary(state, summary);
    return kOk;
}

}  // namespace vdx::cli
