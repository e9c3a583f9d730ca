// The state of the running program: the open project, its person-years
// settings and results, and what the main window shows. One ProgramState
// lives for the whole run; every command takes it by reference.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messages.h"
#include "navigator.h"

namespace vdx {

// The person-years settings: the 24 rows of the project file's VdxSystemPY
// (their stored keys are in db/project_file.cpp).
struct PySettings {
    bool computed = false;       // person-years tables computed
    int16_t tableCount = 0;      // person-years tables: 1, or 3 by sex
    std::string birthColumn;     // the main data table's date columns
    std::string entryColumn;
    std::string exitColumn;
    std::string sexColumn;
    bool ageSelfDefined = false;
    int16_t ageBoundCount = 0;   // bounds in AgeBounds: classes + 1
    int16_t ageFrom = 0;         // the regular series, in years
    int16_t ageTo = 0;
    int16_t ageStep = 0;
    bool calendarSelfDefined = false;
    int16_t calendarBoundCount = 0;  // bounds in CalendarBounds: periods + 1
    int16_t calendarFrom = 0;
    int16_t calendarTo = 0;
    int16_t calendarStep = 0;
    bool bySex = false;          // the stratification by sex is asked for
    bool sexDefined = false;     // ... and its dialog was confirmed
    int16_t sexCode1 = 0;
    int16_t sexCode2 = 0;
    bool withLag = false;        // a lag after the date of hire is asked for
    int16_t lagYears = 0;
    bool lagDefined = false;     // ... and its dialog was confirmed
    std::string hireColumn;

    // Person-years cells of each dimension, never negative.
    int ageClassCount() const { return ageBoundCount > 1 ? ageBoundCount - 1 : 0; }
    int periodCount() const { return calendarBoundCount > 1 ? calendarBoundCount - 1 : 0; }

    bool operator==(const PySettings&) const = default;
};

// Person-years cells in whole days, indexed (table 1..3, age class 1..A-1,
// calendar period 1..C-1); index 0 of every dimension is unused. Cells are
// 64-bit so that totals over large cohorts never wrap.
class PyCells {
public:
    void resize(int tables, int ageClasses, int periods);  // all zero
    void clear() { resize(0, 0, 0); }
    int tables() const { return tables_; }
    int ageClasses() const { return ages_; }
    int periods() const { return periods_; }
    int64_t& at(int t, int a, int c) { return cells_[index(t, a, c)]; }
    int64_t at(int t, int a, int c) const { return cells_[index(t, a, c)]; }
    bool operator==(const PyCells&) const = default;

private:
    size_t index(int t, int a, int c) const {
        return (static_cast<size_t>(t) * (ages_ + 1) + a) * (periods_ + 1) + c;
    }
    int tables_ = 0, ages_ = 0, periods_ = 0;
    std::vector<int64_t> cells_ = std::vector<int64_t>(1, 0);
};

// The optional third axis of the person-years run: time since first hire,
// duration of employment or cumulative exposure, in years (unit-years),
// classed by lower bounds (the last class open), optionally lagged.
enum class ExposureAxisKind { None = 0, TimeSinceHire = 1, Duration = 2, Cumulative = 3 };

struct ExposureAxis {
    ExposureAxisKind kind = ExposureAxisKind::None;
    std::vector<double> bounds;  // ascending lower bounds of the classes
    int lagYears = 0;
    std::string hireColumn;      // time since hire: a date column of the main table ("" = first work period)
    std::string workHistory;     // the registered work history (duration, cumulative; hire without a column)
    std::string idColumn;        // the main table's id column that the work history's ids name
    bool operator==(const ExposureAxis&) const = default;
};

// The person-years of the last run with an axis: one PyCells per class
// (tables as PyValues), and the days with a stratum but below the first bound.
struct ExposureResults {
    ExposureAxis axis;
    std::vector<PyCells> categories;
    int64_t daysBelow = 0;
    bool computed() const { return axis.kind != ExposureAxisKind::None && !categories.empty(); }
};

// A column of the main data table with the type judged on its first row.
struct FieldInfo {
    std::string name;
    std::string type;  // "numeric", "date" or ""
    bool operator==(const FieldInfo&) const = default;
};

enum class ViewName { Empty, MainGrid, InternalGrid, ResultGrid, ResultRTF, Chart };
enum class GridName { None, MainGrid, InternalGrid, ResultGrid };

// Menu entries and buttons that depend on the view.
struct ViewEntries {
    bool tablesSaveAs = false;
    bool tablesCopy = false;
    bool reportsSaveAs = false;
    bool reportsPrint = false;
    bool buttonCopy = false;
    bool buttonPrint = false;
    bool operator==(const ViewEntries&) const = default;
};

// The inputs and results of the last SMR run (Compute > SMR), and what the
// SMR report last showed, which the SMR calculator starts from.
struct MortalityResults {
    // The run's choices.
    std::string ProjectName;
    std::string RateTableName;
    int16_t PyTableSelector = 0;  // 1 all persons, 2 and 3 the sex codes
    std::string SignificanceLevelText;
    std::string MethodName;       // as listed: "Exact", "Byar", "Chi Square", ...
    std::string DeathColumn;
    int16_t DeathCode = 0;
    std::string DeathValuesText;  // the death value as typed
    int16_t DeathLag = 0;

    // Observed deaths [age class 1..A-1][period 1..C-1]; index 0 unused.
    std::vector<std::vector<int32_t>> DeathCounts;
    int64_t IncludedCount = 0;
    int64_t ObservedTotal = 0;
    double PersonYearsTotal = 0;
    double DeathRate = 0;
    double ExpectedTotal = 0;
    double SmrRatio = 0;
    double SmrLow = 0;
    double SmrHigh = 0;
    int64_t RowCount = 0;

    // The report last shown (texts as stored), for the SMR calculator.
    std::string ShownObserved;
    std::string ShownExpected;
    std::string ShownAlpha;
    std::string ShownMethod;
};

// What the user last entered in the person-years dialog for a run that did
// not complete (stopped by a data error or cancelled): the settings stay
// those of the last completed run, and the dialog shows these entries again
// when it opens.
struct PyDialogEntries {
    PySettings py;
    std::vector<int16_t> AgeBounds, CalendarBounds;
};

// What the SMR (or SRR) dialog held at its last Compute; it opens with these
// entries again.
struct SmrDialogEntries {
    std::string rateTable, pyTable, levelText, method, deathColumn, deathValueText;
};

// The formats of a project file: ours (SQLite) or the earlier program's
// (a Jet database).
enum class ProjectFormat { Veldrix, Jet };

struct ProgramState {
    // Constants set at start-up.
    std::string ProgramVersion = kProgramVersion;
    std::string FormatVersion = kFormatVersion;

    // The open project file.
    bool ProjectOpen = false;
    bool ProjectChanged = false;
    bool ProjectUpgraded = false;
    // The format File > Save writes; none until the user has chosen it for a
    // study opened from the earlier program's Jet format.
    std::optional<ProjectFormat> SaveFormat = ProjectFormat::Veldrix;
    std::string ProjectFileName;
    std::string WorkingCopyName;
    std::string MainTableName;
    int16_t RateTableCount = 0;
    int16_t ProjectCount = 0;
    std::vector<FieldInfo> MainTableFields;
    // Held while this state has a project open: the guard that keeps a
    // second instance off the working copy (db/working_copy_lock.h).
    std::shared_ptr<void> WorkingCopyLock;

    // Stratification settings and person-years results.
    PySettings py;
    std::vector<int16_t> AgeBounds = std::vector<int16_t>(1, 0);       // 1-based
    std::vector<int16_t> CalendarBounds = std::vector<int16_t>(1, 0);  // 1-based
    PyCells PyValues;
    bool CancelRequested = false;
    std::optional<PyDialogEntries> PyEntries;  // cleared by a completed run
    // The axis the next person-years run splits by (None: no axis), and the
    // categories of the last run that had one.
    ExposureAxis ExposureEntry;
    ExposureResults Exposure;

    // The SMR and SRR dialogs' last entries.
    std::optional<SmrDialogEntries> SmrEntries;

    // SMR scale factor (1 or 100), a user setting.
    double SmrNullValue = 100;

    // The external source being brought in.
    std::string ExternalDatabaseName;
    std::string ExternalFileTitle;
    std::string ExternalConnect;
    std::string ExternalTableName;
    bool TextImportDone = false;

    // What the main window shows.
    NavigatorTree Navigator;
    int CurrentNode = -1;
    ViewName CurrentView = ViewName::Empty;
    GridName CurrentGrid = GridName::None;
    std::string CurrentResult;
    std::string CurrentSMRTable;
    // The name of the result shown ("Age*Calendar", "Project1_Deaths",
    // "Project1_Strata", "Project1_SMR"), which an .xlsx export names its sheet by.
    std::string CurrentResultTable;
    ViewEntries Entries;

    // The last SMR run and report.
    MortalityResults mortality;
};

// Puts the navigator back to its four fixed entries and clears the state of
// the open project. ProjectChanged and CurrentSMRTable keep their values, the
// version constants and SmrNullValue stay.
void ResetNavigator(ProgramState& state);

// Adds the four fixed entries (root, data, rate tables, person-years) to an
// empty tree.
void AddFixedNavigatorNodes(ProgramState& state);

// Switches the view; sets CurrentGrid to match.
void ShowView(ProgramState& state, ViewName view);

// Names of the person-years tables: t = 1 "Age*Calendar", 2 and 3 with the sex codes.
std::string PyTableName(const PySettings& py, int table);

// The working copy of a project file: the path less its last character, plus "~".
std::string WorkingCopyPath(const std::string& projectFile);

}  // namespace vdx
