#include "mortality/smr_run.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "db/database.h"
#include "db/navigator_commands.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "db/project_management.h"
#include "db/project_runs.h"
#include "mortality/count_deaths.h"
#include "mortality/death_group.h"
#include "mortality/long_rates.h"
#include "db/rate_layouts.h"
#include "mortality/strata_table.h"
#include "state/errors.h"
#include "state/messages.h"
#include "state/multiplier.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

// Error numbers of the run time for what stops a run.

const std::vector<std::string>& Levels() {
    static const std::vector<std::string> levels{"0.01", "0.05", "0.10"};
    return levels;
}

bool Listed(const std::vector<std::string>& list, const std::string& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
}

void Refuse(Interaction& ui, int message) { ui.message(Message(message), Buttons::Ok, Icon::Critical, "Error"); }

// The names of the first `count` projects of VdxSystemProjects.
std::vector<std::string> ProjectNames(const ProgramState& state, int count) {
    return db::ReadNameList(state.WorkingCopyName, db::kVdxSystemProjects, "Projects", count);
}

// The person-years tables in list order (selector 1, 2, 3); the sex tables
// only when the last run made them.
std::vector<std::string> PyTableNames(const PySettings& py) {
    std::vector<std::string> names{PyTableName(py, 1)};
    if (py.bySex && py.tableCount >= 3) {
        names.push_back(PyTableName(py, 2));
        names.push_back(PyTableName(py, 3));
    }
    return names;
}

// The 19 rows of the SMR table, in their stored order.
void StoreSmrTable(db::Database& db, const ProgramState& state) {
    const MortalityResults& m = state.mortality;
    const std::string table = m.ProjectName + "_SMR";
    db.createTable({table, 0, {{"Typ", FieldType::Text}, {"Values", FieldType::Text}, {"Figures", FieldType::Double, 0}}});
    auto rs = db.openRecordset(table);
    auto add = [&](const char* typ, const char* column, const std::string& text) {
        rs->addNew();
        rs->setValue("Typ", Value::text(typ));
        rs->setValue(column, Value::text(text));
        rs->update();
    };
    // Figures go to the engine as text (up to 15 significant digits), which
    // it converts into the number it stores.
    auto values = [&](const char* typ, const std::string& text) { add(typ, "Values", text); };
    auto figures = [&](const char* typ, double value) { add(typ, "Figures", NumberText(value)); };
    values(db::smr_row::ProjectName, m.ProjectName);
    values(db::smr_row::RateTable, m.RateTableName);
    values(db::smr_row::PyTable, PyTableName(state.py, m.PyTableSelector));
    values(db::smr_row::Alpha, m.SignificanceLevelText);
    values(db::smr_row::DeathColumn, m.DeathColumn);
    figures(db::smr_row::DeathCode, m.DeathCode);
    figures(db::smr_row::Observed, static_cast<double>(m.ObservedTotal));
    figures(db::smr_row::PersonYears, m.PersonYearsTotal);
    figures(db::smr_row::DeathRate, m.DeathRate);
    figures(db::smr_row::Expected, m.ExpectedTotal);
    figures(db::smr_row::Smr, m.SmrRatio);
    figures(db::smr_row::SmrLow, m.SmrLow);
    figures(db::smr_row::SmrHigh, m.SmrHigh);
    figures(db::smr_row::Persons, static_cast<double>(m.RowCount));
    figures(db::smr_row::Included, static_cast<double>(m.IncludedCount));
    figures(db::smr_row::Lag, m.DeathLag);
    values(db::smr_row::Method, m.MethodName);
    values(db::smr_row::MainTable, state.MainTableName);
    values(db::smr_row::DeathValues, m.DeathValuesText);
}

}  // namespace

int16_t SignificanceLevelPercent(const std::string& text) {
    if (text == "0.01") return 99;
    if (text == "0.05") return 95;
    if (text == "0.10") return 90;
    return 0;
}


std::optional<std::string> BeginSmrProject(ProgramState& state, Interaction& ui) {
    if (!state.ProjectOpen) {
        ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return std::nullopt;
    }
    if (!state.py.computed) {
        ui.message(Message(msg::PersonYearsFirst), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return std::nullopt;
    }
    if (state.MainTableName.empty()) {
        ui.message("There is no main data table: the deaths are counted in the main data table, and it has been "
                   "removed. Add the cohort again (Tables > Main table > Add) to compute a project.",
                   Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return std::nullopt;
    }
    std::vector<std::string> names;
    try {
        names = ProjectNames(state, state.ProjectCount);
    } catch (const VdxError& e) {
        ShowGeneralError(ui, e.number(), e.description());
        return std::nullopt;
    }
    // Past every name taken, scanning again from the first after each step.
    int n = state.ProjectCount + 1;
    for (size_t k = 0; k < names.size();) {
        if (names[k] == "Project" + std::to_string(n)) {
            ++n;
            k = 0;
        } else {
            ++k;
        }
    }
    ++state.ProjectCount;
    return "Project" + std::to_string(n);
}

void CancelSmrProject(ProgramState& state) {
    if (state.ProjectCount > 0) --state.ProjectCount;
}

SmrChoices ListSmrChoices(const ProgramState& state) {
    SmrChoices c;
    if (state.RateTableCount >= 1)
        c.rateTables = db::ReadNameList(state.WorkingCopyName, db::kVdxSystemRateTables, "RateTables",
                                        state.RateTableCount);
    for (const auto& f : state.MainTableFields) c.deathColumns.push_back(f.name);
    c.pyTables = PyTableNames(state.py);
    c.levels = Levels();
    for (IntervalMethod method : kIntervalMethods) c.methods.emplace_back(IntervalMethodName(method));
    c.defaultLevel = 1;
    c.defaultMethod = 1;
    return c;
}

SmrCheck CheckSmrRequest(const ProgramState& state, Interaction& ui, const SmrRequest& r) {
    auto refused = [&](int message, SmrField focus) {
        Refuse(ui, message);
        return SmrCheck{false, focus};
    };
    try {
        const SmrChoices choices = ListSmrChoices(state);
        if (r.rateTable.empty() || !Listed(choices.rateTables, r.rateTable)) return refused(msg::NoRateTable, SmrField::RateTable);
        if (r.pyTable.empty() || !Listed(choices.pyTables, r.pyTable)) return refused(msg::NoPersonYearsTable, SmrField::PyTable);
        const auto field = std::find_if(state.MainTableFields.begin(), state.MainTableFields.end(),
                                        [&](const FieldInfo& f) { return f.name == r.deathColumn; });
        if (r.deathColumn.empty() || field == state.MainTableFields.end()) return refused(msg::NoDeathColumn, SmrField::DeathColumn);
        // A text column holds codes as written (C34.1); any other column
        // holds whole numeric codes, as it always did.
        auto db = db::Database::open(state.WorkingCopyName);
        const bool textCodes = IsTextDeathColumn(*db, state.MainTableName, r.deathColumn);
        if (!textCodes && field->type != "numeric") return refused(msg::DeathColumnNotNumeric, SmrField::DeathColumn);
        const DeathGroupParse group = ParseDeathGroup(r.deathValueText);
        const CodeGroupParse codes = textCodes ? ParseCodeGroup(r.deathValueText) : CodeGroupParse{};
        if (textCodes ? !codes.ok : !group.ok) {
            ui.message(textCodes ? codes.message : group.message, Buttons::Ok, Icon::Critical, "Error");
            return SmrCheck{false, SmrField::DeathValue};
        }

        // Conformity: one row per age class, one column per calendar period.
        if (const auto layout = db::ReadRateLayout(*db, r.rateTable)) {
            // A long table needs no conformity; rates by sex need the
            // persons' sex column.
            if (!layout->sexColumn.empty()) {
                const std::string sex = SmrSexColumn(state, r);
                const bool known = std::any_of(state.MainTableFields.begin(), state.MainTableFields.end(),
                                               [&](const FieldInfo& f) { return f.name == sex; });
                if (!known) {
                    ui.message(sex.empty() ? "The rate table '" + r.rateTable + "' gives rates by sex: choose the "
                                             "column of the main data table that holds each person's sex."
                                           : "The main data table has no column '" + sex + "' for the sex.",
                               Buttons::Ok, Icon::Critical, "Error");
                    return SmrCheck{false, SmrField::RateTable};
                }
            }
            return SmrCheck{true, SmrField::None};
        }
        auto rates = db->openRecordset(r.rateTable);
        const int ages = state.py.ageClassCount(), periods = state.py.periodCount();
        if (rates->recordCount() != ages || rates->fieldCount() != periods) {
            ui.message(RateShapeMessage(r.rateTable, rates->recordCount(), rates->fieldCount(), ages, periods),
                       Buttons::Ok, Icon::Critical, "Error");
            return SmrCheck{false, SmrField::RateTable};
        }
    } catch (const VdxError& e) {
        ShowGeneralError(ui, e.number(), e.description());
        return SmrCheck{false, SmrField::RateTable};
    }
    return SmrCheck{true, SmrField::None};
}

std::string SmrSexColumn(const ProgramState& state, const SmrRequest& request) {
    if (!request.sexColumn.empty()) return request.sexColumn;
    return state.py.bySex ? state.py.sexColumn : std::string();
}

bool RatesBySex(const ProgramState& state, const std::string& rateTable) {
    try {
        auto db = db::Database::open(state.WorkingCopyName);
        const auto layout = db::ReadRateLayout(*db, rateTable);
        return layout && !layout->sexColumn.empty();
    } catch (const VdxError&) {
        return false;
    }
}

void ComputeSmr(ProgramState& state, db::Database& db, Interaction& ui, int16_t level,
                std::optional<IntervalMethod> method, const LongRateExpected* longRates) {
    MortalityResults& m = state.mortality;
    const int ages = state.py.ageClassCount();
    const int periods = state.py.periodCount();
    const int selector = m.PyTableSelector;

    int64_t observed = 0;
    for (int i = 1; i <= ages; ++i)
        for (int j = 1; j <= periods; ++j)
            observed += m.DeathCounts.at(static_cast<size_t>(i)).at(static_cast<size_t>(j));

    // The chosen table's cells in whole days; expected deaths: person-years
    // times rate, summed age class by age class, periods inner (the stratum
    // table sums them alike).
    const std::vector<int64_t> days = ReadPersonDays(db, selector, ages, periods);
    int64_t totalDays = 0;
    for (int64_t d : days) totalDays += d;
    const double personYears = static_cast<double>(totalDays) / 365.25;
    const double expected =
        longRates ? longRates->expected() : ExpectedDeaths(days, ReadRates(db, m.RateTableName, ages, periods));
    m.RowCount = db.openRecordset(state.MainTableName)->recordCount();

    // Deaths in a table without person-years have no rate: stop before
    // anything is stored rather than divide by zero.
    if (observed >= 1 && totalDays == 0)
        throw VdxError(err::DivisionByZero,
                       "Division by zero: " + std::to_string(observed) + " death" + (observed == 1 ? " was" : "s were") +
                           " observed, but the person-years table '" + PyTableName(state.py, selector) +
                           "' holds no person-years, so no death rate can be computed. The SMR run has stopped; "
                           "nothing has been stored.");

    auto warn = [&](int message) { ui.message(Message(message), Buttons::Ok, Icon::Exclamation, "Warning"); };
    m.PersonYearsTotal = personYears;
    m.SmrRatio = m.SmrLow = m.SmrHigh = 0;
    if (expected != 0) {
        m.ExpectedTotal = expected;
        if (observed < 1) {
            // No death: the SMR and its lower bound are 0, the upper bound
            // is that of a count of 0 (the multipliers divide by O).
            warn(msg::ObservedIsZero);
            m.ObservedTotal = 0;
            m.DeathRate = 0 / personYears;
            m.SmrHigh = method ? UpperLimitAtZero(*method, level) / expected : 0;
        } else {
            const double o = static_cast<double>(observed);
            m.ObservedTotal = observed;
            m.DeathRate = o / personYears;
            m.SmrRatio = o / expected;
            if (method) {
                m.SmrLow = m.SmrRatio * GetMultiplier(*method, BoundSide::Low, o, level);
                m.SmrHigh = m.SmrRatio * GetMultiplier(*method, BoundSide::High, o, level);
            }
        }
    } else {
        // No SMR is defined; the stored rows keep their layout with 0s,
        // which the report, the plots and the stratum table show as "not
        // defined" (SmrDefined).
        warn(msg::ExpectedIsZero);
        m.ExpectedTotal = 0;
        if (observed < 1) {
            warn(msg::ObservedIsZero);
            m.ObservedTotal = 0;
            m.DeathRate = 0;
        } else {
            m.ObservedTotal = observed;
            m.DeathRate = static_cast<double>(observed) / personYears;
        }
    }
}

bool RunProject(ProgramState& state, Interaction& ui, const SmrRequest& r, const ProjectResults& results) {
    const std::string& project = r.projectName;
    auto refuse = [&](const std::string& text) {
        CancelSmrProject(state);
        ui.message(text, Buttons::Ok, Icon::Critical, "Error");
        return false;
    };
    const MortalityResults before = state.mortality;
    std::unique_ptr<db::Database> db;
    try {
        // The count was raised for this project, whose row is still to come.
        const std::vector<std::string> others = ProjectNames(state, state.ProjectCount - 1);
        if (Listed(others, project)) return refuse(Message(msg::ProjectNameExists));
        db = db::Database::open(state.WorkingCopyName);
        if (const std::string problem = db::ProjectNameProblem(*db, project, others); !problem.empty())
            return refuse(problem + " Nothing has been computed.");
    } catch (const VdxError& e) {
        CancelSmrProject(state);
        ShowGeneralError(ui, e.number(), e.description());
        return false;
    }

    // The dialog's choices.
    MortalityResults& m = state.mortality;
    m.ProjectName = project;
    m.RateTableName = r.rateTable;
    m.SignificanceLevelText = r.levelText;
    m.MethodName = r.method;
    m.DeathColumn = r.deathColumn;
    m.DeathValuesText = r.deathValueText;
    m.DeathCode = 0;
    m.PyTableSelector = 0;
    const auto pyTables = PyTableNames(state.py);
    for (size_t k = 0; k < pyTables.size(); ++k)
        if (pyTables[k] == r.pyTable) m.PyTableSelector = static_cast<int16_t>(k + 1);
    m.DeathLag = state.py.withLag ? state.py.lagYears : 0;
    m.IncludedCount = m.ObservedTotal = m.RowCount = 0;
    m.PersonYearsTotal = m.DeathRate = m.ExpectedTotal = m.SmrRatio = m.SmrLow = m.SmrHigh = 0;

    ShowView(state, ViewName::Empty);
    BusyPointer busy(ui);
    std::unique_ptr<Progress> progress = ui.progress("Computing Deaths", 400, false);
    progress->setLabel("Computing Deaths");

    auto failed = [&](const VdxError& error) {
        if (db && db->isOpen()) db->rollback();
        state.mortality = before;
        CancelSmrProject(state);
        progress.reset();
        ShowRunError(ui, error);  // a value of the data in words, other errors with their number
        return false;
    };
    try {
        // The project keeps the group as typed; its first code when it is a
        // numeric one (a text column's group that is no number keeps 0).
        const bool textCodes = IsTextDeathColumn(*db, state.MainTableName, r.deathColumn);
        const DeathGroupParse group = ParseDeathGroup(r.deathValueText);
        if (!textCodes && !group.ok) throw DataError(err::TypeMismatch, group.message);
        if (textCodes) {
            if (const CodeGroupParse codes = ParseCodeGroup(r.deathValueText); !codes.ok)
                throw DataError(err::TypeMismatch, codes.message);
        }
        m.DeathCode = group.ok ? group.group.firstCode() : 0;
        db->beginTransaction();
        // The project is read back as row ProjectCount: a row left beyond
        // the count (a file edited elsewhere) takes the name rather than
        // hiding the new project behind it.
        auto projects = db->openRecordset(db::kVdxSystemProjects);
        if (projects->recordCount() >= state.ProjectCount && state.ProjectCount >= 1) {
            projects->moveFirst();
            projects->move(state.ProjectCount - 1);
            projects->edit();
        } else {
            projects->addNew();
        }
        projects->setValue("Projects", Value::text(project));
        projects->update();
        projects.reset();

        if (!CountDeaths(state, *db, *progress, results.longRates, results.sexColumn)) {  // Cancel is disabled; kept for safety
            db->rollback();
            state.mortality = before;
            CancelSmrProject(state);
            return false;
        }
        progress->setLabel("Computing SMR");
        if (results.compute) results.compute(*db);
        StoreDeathsTable(*db, project, m.DeathCounts);
        results.storeSettings(*db);
        db::RecordProjectRun(*db, state, project);
        db->commit();
        db->close();
    } catch (const VdxError& e) {
        return failed(e);
    } catch (const std::bad_alloc&) {
        return failed(VdxError(err::OutOfMemory, "Out of memory. The run has stopped; nothing has been stored."));
    }

    db::AddProjectEntry(state, project, static_cast<bool>(results.compute));
    db::AddPlotEntries(state);
    state.ProjectChanged = true;
    progress.reset();
    return true;
}

bool ConfirmRateUnit(const ProgramState& state, Interaction& ui, const std::string& rateTable) {
    std::vector<double> rates;
    try {
        auto db = db::Database::open(state.WorkingCopyName);
        if (db::ReadRateLayout(*db, rateTable)) return true;  // a long table's unit is recorded with it
        rates = ReadRates(*db, rateTable, state.py.ageClassCount(), state.py.periodCount());
    } catch (const VdxError&) {
        return true;  // the run reports a table it cannot read
    }
    const auto largest = std::max_element(rates.begin(), rates.end());
    if (largest == rates.end() || *largest <= 1) return true;
    const std::string text =
        "The rate table '" + rateTable + "' holds rates above 1 (the largest is " + NumberText(*largest) +
        "). Rates are deaths per person-year, far below 1: this table is most likely per 1,000 or per "
        "100,000 person-years, and the expected deaths would come out that many times too large. Bring it in "
        "again with its unit (Tables > Rate table > Add).\r\n\r\nCompute the SMR with these rates all the same?";
    return ui.message(text, Buttons::YesNoDefaultNo, Icon::Exclamation, "Warning") == Answer::Yes;
}

bool RunSmr(ProgramState& state, Interaction& ui, const SmrRequest& r, bool rateUnitConfirmed) {
    if (!rateUnitConfirmed && !ConfirmRateUnit(state, ui, r.rateTable)) {
        CancelSmrProject(state);
        return false;
    }
    ProjectResults smr;
    std::unique_ptr<LongRateExpected> longRates;
    try {
        auto db = db::Database::open(state.WorkingCopyName);
        if (const auto layout = db::ReadRateLayout(*db, r.rateTable)) {
            std::vector<double> ages;
            std::vector<int> years;
            for (int k = 1; k <= state.py.ageBoundCount && k < static_cast<int>(state.AgeBounds.size()); ++k)
                ages.push_back(state.AgeBounds[static_cast<size_t>(k)]);
            for (int k = 1; k <= state.py.calendarBoundCount && k < static_cast<int>(state.CalendarBounds.size()); ++k)
                years.push_back(state.CalendarBounds[static_cast<size_t>(k)]);
            longRates = std::make_unique<LongRateExpected>(*db, r.rateTable, *layout, ages, years);
            smr.longRates = longRates.get();
            smr.sexColumn = SmrSexColumn(state, r);
        }
    } catch (const VdxError& e) {
        CancelSmrProject(state);
        ShowRunError(ui, e);
        return false;
    }
    smr.compute = [&](db::Database& db) {
        ComputeSmr(state, db, ui, SignificanceLevelPercent(r.levelText), IntervalMethodNamed(r.method), longRates.get());
    };
    smr.storeSettings = [&](db::Database& db) {
        StoreSmrTable(db, state);
        if (longRates) StoreCellsTable(db, r.projectName, *longRates);
    };
    return RunProject(state, ui, r, smr);
}

}  // namespace vdx::mortality
