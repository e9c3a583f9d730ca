// Tools > Check cohort: one table of cases, each a row of the main table or
// the work history with the problem it must be reported with; every problem
// comes at once, and a clean row gives none.
#include "py/cohort_problems.h"
#include "py_test_support.h"

using namespace vdx;
using vdx::test::D;

namespace {

class CohortCheck : public test::PyProjectTest {};

TEST_F(CohortCheck, EveryProblemIsListedWithItsCodeRowAndColumns) {
    // Main table rows 1-7 (ID = row), columns DOB, DOE, DOX, SEX (the death code), DOH.
    struct MainCase {
        const char *dob, *entry, *exit, *hire;
        int death;
        std::vector<std::string> codes;  // expected, in order
    } mains[] = {
        {"1930-01-01", "1960-01-01", "1990-01-01", "1955-01-01", 0, {}},
        {"", "1960-01-01", "1990-01-01", "", 0, {py::problem::kDateMissing}},
        {"1930-01-01", "1960-13-45", "1990-01-01", "", 0, {py::problem::kDateImpossible}},
        {"1965-01-01", "1960-01-01", "1990-01-01", "", 0, {py::problem::kBirthAfterEntry}},
        {"1930-01-01", "1960-01-01", "1959-12-31", "", 0, {py::problem::kExitBeforeEntry}},
        {"1930-01-01", "1960-01-01", "1990-01-01", "1991-01-01", 0, {py::problem::kHireAfterExit}},
        {"1930-01-01", "1960-01-01", "", "", 162, {py::problem::kDateMissing, py::problem::kDeathWithoutExit}},
    };
    // Work history rows: id, start, end.
    struct PeriodCase {
        int id;
        const char *start, *end;
        const char* code;  // nullptr: none
    } periods[] = {
        {1, "1960-01-01", "1969-12-31", nullptr},
        {1, "1969-12-31", "1975-01-01", py::problem::kPeriodOverlap},
        {2, "1970-01-01", "1965-01-01", py::problem::kPeriodReversed},
        {9, "1970-01-01", "1971-01-01", py::problem::kIdWithoutPerson},
        {3, "", "1971-01-01", py::problem::kDateMissing},
    };
    sql("CREATE TABLE Cohort (ID LONG, DOB TEXT, DOE TEXT, DOX TEXT, SEX INTEGER, DOH TEXT, TXT TEXT);");
    int id = 0;
    auto text = [](const char* t) { return *t ? "'" + std::string(t) + "'" : std::string("NULL"); };
    for (const auto& m : mains)
        sql("INSERT INTO Cohort VALUES (" + std::to_string(++id) + ", " + text(m.dob) + ", " + text(m.entry) + ", " +
            text(m.exit) + ", " + std::to_string(m.death) + ", " + text(m.hire) + ", NULL);");
    registerMainTable("Cohort");
    sql("CREATE TABLE Work (PersonID LONG, Start TEXT, End TEXT);");
    sql("CREATE TABLE VdxWorkHistories (Name TEXT, IdColumn TEXT, StartColumn TEXT, EndColumn TEXT, "
        "IntensityColumn TEXT, JobColumn TEXT);");
    sql("INSERT INTO VdxWorkHistories VALUES ('Work', 'PersonID', 'Start', 'End', '', '');");
    for (const auto& p : periods)
        sql("INSERT INTO Work VALUES (" + std::to_string(p.id) + ", " + text(p.start) + ", " + text(p.end) + ");");
    state.py.birthColumn = "DOB";
    state.py.entryColumn = "DOE";
    state.py.exitColumn = "DOX";

    auto d = db::Database::open(state.WorkingCopyName);
    const py::CohortCheckRequest request{"DOH", "SEX", "Work", "ID"};
    const auto problems = py::CheckCohort(state, *d, request);
    std::vector<std::tuple<std::string, int64_t, std::string>> got, expected;
    for (const auto& p : problems) got.emplace_back(p.table, p.row, p.code);
    for (size_t r = 0; r < std::size(mains); ++r)
        for (const auto& code : mains[r].codes) expected.emplace_back("Cohort", r + 1, code);
    for (size_t r = 0; r < std::size(periods); ++r)
        if (periods[r].code) expected.emplace_back("Work", r + 1, periods[r].code);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(problems[1].columns, "DOE");
    EXPECT_EQ(problems[1].values, "1960-13-45");

    // The persons a run would leave out: the rows named, and the persons of the work rows with problems.
    EXPECT_EQ(py::ProblemRows(state, *d, problems, request), (std::set<int64_t>{1, 2, 3, 4, 5, 6, 7}));
}

}  // namespace
