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

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/study_settings.h"
#include "mortality/death_group.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {
class Database;
class TableStream;
}

namespace vdx::mortality {

inline constexpr int kFirstRevision = 7, kLastRevision = 10;
using db::kVdxAnalyses;
using db::kVdxCauseLists;
inline constexpr const char* kDefaultListName = "default";
inline constexpr const char* kNotInTheList = "not in the list";

// Start years by revision, in ascending years. A cause defined "*" in one
// revision column of a list is "*" in all of them (ParseCauseList refuses
// it otherwise) and takes every death, in revisions without a column too.
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
    bool hasRevision[kLastRevision + 1] = {};  // the list has a column icd7 .. icd10
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

// The list a request names: a registered list, or kDefaultListName (the
// study's stored default list, else the one the program brings along).
// Throws DataError for a name the study has no list of.
CauseList CauseListNamed(db::Database& db, const std::string& name);
// The position of the cause `cause` in `list` (names compare as typed);
// throws DataError naming the list's causes for a name it does not hold.
int CauseIndex(const CauseList& list, const std::string& cause);

// How one death reads in a cause list.
struct CauseReading {
    int revision = 0;             // the revision it is read in
    bool early = false;           // dated before the first revision starts: read in the first
    bool unknown = false;         // a text code of dots only: a death whose cause is not known
    bool named = false;           // taken by a cause that is not "*"
    std::vector<int32_t> causes;  // the positions of the list's causes that take it
    bool takes(int cause) const;
};
// Reads the deaths of the main data table into the causes of a list, each
// in the revision the study's rule gives it (RunCauses says how). Found
// once per distinct revision and code; runs on the reading thread.
class CauseMatcher {
public:
    // Throws DataError when the rule names a column the main data table
    // (of `state`) does not have.
    CauseMatcher(CauseList list, RevisionRule rule, const ProgramState& state);
    const CauseList& list() const { return list_; }
    const RevisionRule& rule() const { return rule_; }
    // The column read beside the death column: the revision column, if any.
    std::vector<std::string> extraColumns() const;
    // The row's reading (the death code in column `deathColumn`, the
    // revision column, if any, in `revisionColumn`, the exit date); nullptr
    // for a row that is no death. What it points to stays while the matcher
    // lives. Throws DataError naming row, column and value for a revision
    // value that names no revision.
    const CauseReading* read(const db::TableStream& rows, int deathColumn, int revisionColumn,
                             std::optional<double> exit);
    int firstRevision() const { return firstRevision_; }
    int firstYear() const { return firstYear_; }

private:
    CauseList list_;
    RevisionRule rule_;
    std::string mainTable_;
    int firstRevision_ = kLastRevision, firstYear_ = 0;
    std::unordered_map<std::string, CauseReading> readings_;
};

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
    std::string sexColumn;  // each person's sex for rates by sex; "" takes the person-years run's
};
struct CauseRow {
    std::string cause, sex;  // sex "" for the whole cohort
    int64_t observed = 0;
    double expected = 0, smr = 0, low = 0, high = 0;
};
struct CausesResult {
    std::string name;
    // The list's causes in order, then kNotInTheList; with rates by sex each
    // cause's row for the whole cohort is followed by one row per sex.
    std::vector<CauseRow> rows;
    int64_t included = 0, deaths = 0;  // persons with follow-up, deaths counted
    std::vector<std::string> notes;    // deaths read by a rule of their own, in words
};
// A death is a row whose death code is not empty (on a numeric death column,
// not 0 either: the code of the living there); its code compares as text
// (NormalisedCode; a number as written in figures). A text code of dots only
// (".") is a death whose cause is not known: it counts in the causes of
// every death ("*") and in the closing row. A death dated before the first
// revision's start year is read in that first revision; the result's notes
// say how many.
// One pass over the cohort counts every death into each cause whose
// definition takes its code in its revision; a death no cause takes (but
// "*") counts in the closing row kNotInTheList (its expected deaths 0).
// Rates: RatesByCause (a long table by cause and sex, or grids). The
// result is stored as analysis `name` (VdxAnalyses, Kind "Causes", table
// name + "_Causes") in one transaction with the run. Messages through `ui`;
// nullopt when refused or stopped (the study as it was).
std::optional<CausesResult> RunCauses(ProgramState& state, Interaction& ui, const CausesRequest& request);
// The run's summary in lines: the analysis, persons and deaths counted, the notes.
std::vector<std::string> CausesSummary(const CausesResult& result);

}  // namespace vdx::mortality
