// Compute > SMR without widgets: the menu command, the lists and checks of
// the dialog frmSMRComp, and the run that counts the observed deaths,
// computes the expected deaths, the SMR and its bounds, and stores the
// project's deaths and SMR tables. The dialog and veldrix-cli call these.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "state/interaction.h"
#include "state/multiplier.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::mortality {

// The menu command: refuses with message 16 (no project file) or 18 (no
// person-years), else makes the default project name ("Project" + n, n from
// ProjectCount + 1 up past every name taken), raises ProjectCount and
// returns the name. The dialog then opens.
std::optional<std::string> BeginSmrProject(ProgramState& state, Interaction& ui);

// A cancelled dialog: lowers ProjectCount again (not below 0).
void CancelSmrProject(ProgramState& state);

// The dialog's lists, in order, and the entries selected when it opens.
struct SmrChoices {
    std::vector<std::string> rateTables;    // the project file's rate tables
    std::vector<std::string> deathColumns;  // the main data table's columns
    std::vector<std::string> pyTables;      // "Age*Calendar"[, "Age*Calendar*Sex=" + code, ...]
    std::vector<std::string> levels;        // "0.01", "0.05", "0.10"
    std::vector<std::string> methods;       // "Exact", "Byar", "Chi Square", "Square Root", "Wald"
    int defaultLevel = 1;                   // "0.05"
    int defaultMethod = 1;                  // "Byar"
};
// Throws VdxError when the project file's list of rate tables cannot be read.
SmrChoices ListSmrChoices(const ProgramState& state);

// The confidence level in percent of a significance level's text ("0.05":
// 95); 0 for a text that is none of the list's.
int16_t SignificanceLevelPercent(const std::string& levelText);

// What the dialog holds when Compute is pressed; pyTable, level and method
// are the texts of their lists.
struct SmrRequest {
    std::string projectName;
    std::string rateTable;
    std::string pyTable;
    std::string levelText;
    std::string method;
    std::string deathColumn;
    std::string deathValueText;
    // With a long rate table by sex: the main table's column holding each
    // person's sex; "" takes the sex column of the person-years run.
    std::string sexColumn;
};

// The control that gets the focus after a refused request.
enum class SmrField { None, RateTable, PyTable, DeathColumn, DeathValue };

struct SmrCheck {
    bool ok = false;
    SmrField focus = SmrField::None;
};

// The checks of Compute in order (messages 28 to 33, then the rate table's
// conformity with the person-years tables, message 34), each refusal shown
// with the title "Error" and the critical icon. Changes nothing.
SmrCheck CheckSmrRequest(const ProgramState& state, Interaction& ui, const SmrRequest& request);

// The main table's column of each person's sex for rates by sex: the
// request's, else the person-years run's sex column ("" when neither).
std::string SmrSexColumn(const ProgramState& state, const SmrRequest& request);

// Whether `rateTable` is a long table with a sex column (the SMR dialog then
// shows its list of sex variables). False when it cannot be read.
bool RatesBySex(const ProgramState& state, const std::string& rateTable);

// ComputeSmr: from state.mortality.DeathCounts, the person-years cells of
// VdxPyValues (read once, as 64-bit integers) and the rate table, the
// observed and expected totals, the crude death rate, the SMR and its
// bounds at `level` (90, 95 or 99) by the method, into state.mortality
// (bounds 0 without a method).
// Shows the warnings 36 (no expected deaths) and 37 (no observed deaths).
// With no expected deaths the SMR is not defined: SMR and bounds are stored
// as 0. With no observed deaths (E > 0) the SMR and its lower bound are 0
// and the upper bound is UpperLimitAtZero / E. Throws VdxError for a rate cell that is empty, not a number or negative
// (naming the rate table, row and column), and when deaths were observed in
// a person-years table that holds no person-years.
// With `longRates` (a long rate table, filled by the deaths pass) the
// expected deaths are its total instead of person-years x rates by cell.
class LongRateExpected;
void ComputeSmr(ProgramState& state, db::Database& workingCopy, Interaction& ui, int16_t level,
                std::optional<IntervalMethod> method, const LongRateExpected* longRates = nullptr);

// Whether the SMR may go on with the rate table: a table that holds a rate
// above 1 is most likely per 1,000 or 100,000 person-years, and the user is
// asked, No being the default answer (Yes goes on). True without a question
// for a table of rates per person-year.
bool ConfirmRateUnit(const ProgramState& state, Interaction& ui, const std::string& rateTable);

// Compute after the checks (the dialog has closed): first ConfirmRateUnit
// unless the dialog has asked it already (No lowers ProjectCount again and
// stores nothing), then counts the deaths,
// computes the SMR and stores the project — its row in VdxSystemProjects,
// its deaths and SMR tables (19 rows) — in one transaction, then adds its
// navigator entries and sets ProjectChanged. A request whose project name is
// not usable or already owns tables is refused with a message before
// anything is written. The project's record in VdxProjectRuns names the
// person-years run it was made from. Whatever fails, the working copy is as it was,
// ProjectCount is lowered again (the dialog raised it) and the message says
// why; returns false then.
bool RunSmr(ProgramState& state, Interaction& ui, const SmrRequest& request, bool rateUnitConfirmed = false);

// What a kind of project (SMR or SRR) adds to the shared run: a computation
// after the deaths are counted (may be empty), and the project's settings
// table (project + "_SMR"), created after the deaths table. Both run inside
// the run's transaction and throw VdxError to stop it.
struct ProjectResults {
    std::function<void(db::Database&)> compute;
    std::function<void(db::Database&)> storeSettings;
    // A long rate table: the deaths pass computes the expected deaths into it.
    LongRateExpected* longRates = nullptr;
    std::string sexColumn;
};

// The run that SMR and SRR projects share, as RunSmr describes it: the
// request's choices into state.mortality (results reset to 0), the project's
// row, the deaths count and its table, then `results`, all in one
// transaction; the navigator entries and ProjectChanged after the commit.
bool RunProject(ProgramState& state, Interaction& ui, const SmrRequest& request, const ProjectResults& results);

}  // namespace vdx::mortality
