// veldrix-cli pyears STUDY.vdx --dob COL --entry COL --exit COL
//     (--age FROM:TO:STEP | --age-classes 20-24,25-29,...)
//     (--calendar FROM:TO:STEP | --calendar-classes 1950-1954,...)
//     [--sex COL=CODE1,CODE2] [--lag COL=YEARS]
//     [--by time-since-hire:0,20,30,40 [--hire COL]
//      | --by duration:0,1,5,10 --work-history NAME --id COL
//      | --by cumulative:0,1,5,10 --work-history NAME --id COL] [--exposure-lag YEARS]
//
// Fills a person-years request from the arguments, as the dialog does from
// its boxes; a self-defined list of classes, the stratification by sex and
// the lag go through the checks of their own dialogs. Runs the checks with
// their messages, the person-years run, and saves the project file. A
// refused setting saves nothing.
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
    std::string project;
    py::PyRequest request;  // the date columns and the regular series
    std::optional<std::string> ageClasses, calendarClasses, sex, lag;
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

// FROM:TO:STEP into the three texts of a regular series; false for another form.
bool ReadSeries(const std::string& text, std::string& from, std::string& to, std::string& step) {
    const auto parts = Split(text, ':');
    if (parts.size() != 3) return false;
    from = parts[0];
    to = parts[1];
    step = parts[2];
    return true;
}

std::optional<PyearsArguments> Parse(const std::vector<std::string>& args) {
    PyearsArguments a;
    py::PyRequest& r = a.request;
    std::optional<std::string> age, calendar;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            if (!a.project.empty()) return std::nullopt;
            a.project = arg;
            continue;
        }
        if (i + 1 >= args.size()) return std::nullopt;
        const std::string& value = args[++i];
        if (arg == "--dob") r.birthColumn = value;
        else if (arg == "--entry") r.entryColumn = value;
        else if (arg == "--exit") r.exitColumn = value;
        else if (arg == "--age") age = value;
        else if (arg == "--age-classes") a.ageClasses = value;
        else if (arg == "--calendar") calendar = value;
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
    if (a.project.empty() || r.birthColumn.empty() || r.entryColumn.empty() || r.exitColumn.empty())
        return std::nullopt;
    if (age.has_value() == a.ageClasses.has_value()) return std::nullopt;
    if (calendar.has_value() == a.calendarClasses.has_value()) return std::nullopt;
    if (age && !ReadSeries(*age, r.ageFrom, r.ageTo, r.ageStep)) return std::nullopt;
    if (calendar && !ReadSeries(*calendar, r.calendarFrom, r.calendarTo, r.calendarStep)) return std::nullopt;
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

// Self-defined classes, as the self-defined dialog takes them. False
// (message printed) when refused.
bool DefineClasses(ProgramState& state, Interaction& ui, const std::string& list, bool calendar) {
    const auto grid = ClassRows(list);
    if (!grid) {
        PrintMessage("The classes must be written as BEGIN-END,BEGIN-END,... (at most 200).");
        return false;
    }
    if (calendar) state.py.calendarSelfDefined = true;
    else state.py.ageSelfDefined = true;
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

    // The settings as the dialog finds them, which a stopped run puts back.
    const py::PySettingsSnapshot snapshot = py::TakeSettingsSnapshot(state);
    // A regular series unless a list is given (the request's series is not
    // read for a list).
    state.py.ageSelfDefined = false;
    state.py.calendarSelfDefined = false;
    if (a->ageClasses && !DefineClasses(state, ui, *a->ageClasses, false)) return kFailed;
    if (a->calendarClasses && !DefineClasses(state, ui, *a->calendarClasses, true)) return kFailed;

    // The stratification by sex and the lag, as their dialogs set them.
    state.py.bySex = a->sex.has_value();
    if (a->sex) {
        const size_t eq = a->sex->find('=');
        const py::SubDialogEntries before = py::TakeSexEntries(state.py);
        if (py::SexOk(state, ui, a->sex->substr(0, eq), a->sex->substr(eq + 1)) != py::DefinitionOk::Confirmed)
            return kFailed;
        py::SexDialogClosed(state, true, before);
    }
    state.py.withLag = a->lag.has_value();
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
    if (!py::CheckPyRequest(state, ui, a->request).ok()) return kFailed;
    py::PyRunSummary summary;
    if (py::RunPersonYears(state, ui, snapshot, &summary) != py::PyRunOutcome::Completed) return kFailed;
    if (!db::FileSave(state, ui, db::AfterFailedSave::CommandDiscarded)) return kFailed;
    PrintSummary(state, summary);
    return kOk;
}

}  // namespace vdx::cli
