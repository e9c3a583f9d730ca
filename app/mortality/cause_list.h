// Cause lists and ICD revisions: every cause of a study in one run.
//
// A cause list is a table of the study: `cause` (the name), `icd10`, and
// optionally `icd9`, `icd8`, `icd7` (each a group of codes as the death value
// of a text death column takes it, ParseCodeGroup; "*" is every death; an
// empty cell takes no death of that revision) and `rate` (the rate table of
// the cause). Column names compare without regard to case. The lists are
// registered in VdxCauseLists (Name, CauseColumn, Icd10Column, Icd9Column,
// Icd8Column, Icd7Column, RateColumn), created with the first list.
//
// A death is read in the revision in force at its date: the study's start
// years (VdxStudySettings RevisionYears, by default ICD-7 1958, ICD-8 1968,
// ICD-9 1979, ICD-10 1999; a revision starts on 1 January of its year), or
// a column of the main table naming each death's revision (RevisionColumn).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/study_settings.h"
#include "mortality/death_group.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {
class Database;
}

namespace vdx::mortality {

inline constexpr int kFirstRevision = 7, kLastRevision = 10;
using db::kVdxAnalyses;
using db::kVdxCauseLists;
inline constexpr const char* kDefaultListName = "default";
inline constexpr const char* kNotInTheList = "not in the list";

// Start years by revision, in ascending years.
struct RevisionYears {
    std::vector<std::pair<int, int>> starts;  // (revision, first year)
};
RevisionYears DefaultRevisionYears();
// "9:1979,10:1999": revisions 7 to 10, years rising with the revision. The
// reason in `why` when the text is refused.
std::optional<RevisionYears> ParseRevisionYears(const std::string& text, std::string& why);
std::string RevisionYearsText(const RevisionYears& years);
// The revision in force in `year`; 0 before the first start.
int RevisionInYear(const RevisionYears& years, int year);
// A revision as a column holds it: 9, "9", "ICD-9", "icd9", "ICD 10"; none
// for an empty value. False in `ok` for a value that names no revision 7-10.
std::optional<int> ReadRevision(const std::string& text, bool& ok);

// How the study reads revisions: its start years, or a column of the main table.
struct RevisionRule {
    RevisionYears years = DefaultRevisionYears();
    std::string column;  // "" reads the years
};
RevisionRule ReadRevisionRule(db::Database& db);
void WriteRevisionRule(db::Database& db, const RevisionRule& rule);

struct Cause {
    std::string name;
    CodeGroup groups[kLastRevision + 1];  // by revision; empty: takes no death
    std::string rateTable;                // the list's `rate` cell
};
struct CauseList {
    std::string name;
    std::vector<Cause> causes;
    bool hasRateColumn = false;
};

// A cause list from a header and rows of text (the cells as read). Throws
// DataError naming the row, the column and the value for a definition that
// does not read, a missing `cause` or `icd10` column, an empty or repeated
// cause name.
CauseList ParseCauseList(const std::string& listName, const std::vector<std::string>& header,
                         const std::vector<std::vector<std::string>>& rows);
// The stored table `table` of the study as a cause list (checked as above).
CauseList ReadCauseList(db::Database& db, const std::string& table);
// The cause list the program brings along, as CSV text.
const std::string& DefaultCauseListCsv();
// Splits CSV text (commas, double quotes, CR LF or LF) into rows of cells.
std::vector<std::vector<std::string>> ReadCsvRows(const std::string& text);

// The names of the registered lists, in registration order.
std::vector<std::string> CauseListNames(db::Database& db);
// Registers table `table` (already in the study) as a cause list after
// checking it (ReadCauseList). Works in the caller's transaction.
void RegisterCauseList(db::Database& db, const std::string& table);
// Stores the default list as table `table` and registers it, unless a list
// of that name is registered already. Works in the caller's transaction.
void StoreDefaultCauseList(db::Database& db, const std::string& table);

// Compute > SMR for a cause list.
struct CausesRequest {
    std::string name;       // the analysis; "" takes Causes1, Causes2, ...
    std::string list;       // a registered list, or kDefaultListName
    std::string deathColumn;
    std::string rateTable;  // one grid rate table for every cause; "" takes the list's `rate` column
    std::string pyTable;    // "" takes the person-years of all persons
    std::string levelText = "0.05";
    std::string method = "Byar";
    std::optional<RevisionRule> revisions;  // none: the study's rule; given, it becomes the study's with the run
};
struct CauseRow {
    std::string cause, sex;  // sex "" for the whole cohort
    int64_t observed = 0;
    double expected = 0, smr = 0, low = 0, high = 0;
};
struct CausesResult {
    std::string name;
    std::vector<CauseRow> rows;  // the list's causes in order, then kNotInTheList
};
// A death is a row whose death code is not empty (on a numeric death column,
// not 0 either: the code of the living there); its code compares as text
// (NormalisedCode; a number as written in figures).
// One pass over the cohort counts every death into each cause whose
// definition takes its code in its revision; a death no cause takes (but
// "*") counts in the closing row kNotInTheList (its expected deaths 0). The
// result is stored as analysis `name` (VdxAnalyses, Kind "Causes", table
// name + "_Causes") in one transaction with the run. Messages through `ui`;
// nullopt when refused or stopped (the study as it was).
std::optional<CausesResult> RunCauses(ProgramState& state, Interaction& ui, const CausesRequest& request);

}  // namespace vdx::mortality
