// The person-years run over a project file: the cells a run stores, the
// lag, the sex tables, the value tables and navigator entries it rewrites,
// Cancel and failing rows that leave the study as it was, settings of more
// than 32767 cells, and cells beyond 32 bits.
#include "py_test_support.h"

#include "state/messages.h"

using namespace vdx;
using namespace vdx::py;
using vdx::test::D;
using vdx::test::Person;

namespace {

class PersonYearsRun : public vdx::test::PyProjectTest {};

double Day(int y, int m, int d) { return DayNumber(y, m, d); }

// The cells of table t in stored order (age class outer, period inner).
std::vector<int64_t> TableCells(const PyCells& c, int t) {
    std::vector<int64_t> out;
    for (int a = 1; a <= c.ageClasses(); ++a)
        for (int p = 1; p <= c.periods(); ++p) out.push_back(c.at(t, a, p));
    return out;
}

}  // namespace

// ---- Days in cells -----------------------------------------------------------

TEST_F(PersonYearsRun, AYearInsideOneClassAndPeriodIs366DaysIn1980) {
    const double born = Day(1980, 1, 1) - 20 * 365.25;  // 20 years old on 1 January 1980
    addCohort({{Value::date(born), D(1980, 1, 1), D(1980, 12, 31), {}, {}, {}}});
    ASSERT_EQ(compute(form("20:25:5", "1980:1981:1")), PyRunOutcome::Completed)
        << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(state.PyValues.at(1, 1, 1), 366);
    EXPECT_EQ(storedIntegers("VdxPyValues", "PersonYears"), std::vector<int64_t>{366});
    EXPECT_EQ(storedIntegers("VdxAgeClassValues", "AgeClass"), (std::vector<int64_t>{20, 25}));
    EXPECT_EQ(storedIntegers("VdxYearClassValues", "YearClass"), (std::vector<int64_t>{1980, 1981}));
    EXPECT_TRUE(state.py.computed);
    EXPECT_EQ(state.py.tableCount, 1);
    EXPECT_TRUE(state.ProjectChanged);
    EXPECT_EQ(state.CurrentView, ViewName::Empty);
    EXPECT_EQ(pyEntries(), std::vector<std::string>{"Age*Calendar"});
    EXPECT_EQ(state.Navigator.node(state.CurrentNode)->key, kPyAllKey);
    EXPECT_EQ(ui.busyDepth, 0);
    EXPECT_EQ(ui.maxProgressValue, 400);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PersonYearsRun, SeventeenAgeClassesBySixPeriodsStore102CellsOr306WithSex) {
    addCohort({{D(1940, 6, 1), D(1970, 1, 1), D(1999, 12, 31), Value::integer(1), {}, {}},
               {D(1930, 2, 1), D(1975, 1, 1), D(1985, 6, 30), Value::integer(2), {}, {}}});
    ASSERT_EQ(compute(form("0:85:5", "1970:2000:5")), PyRunOutcome::Completed);
    EXPECT_EQ(storedIntegers("VdxPyValues", "PersonYears").size(), 102u);
    EXPECT_EQ(storedIntegers("VdxAgeClassValues", "AgeClass").size(), 18u);
    EXPECT_EQ(storedIntegers("VdxYearClassValues", "YearClass").size(), 7u);
    defineSex(1, 2);
    ASSERT_EQ(compute(form("0:85:5", "1970:2000:5")), PyRunOutcome::Completed);
    EXPECT_EQ(storedIntegers("VdxPyValues", "PersonYears").size(), 306u);
    EXPECT_EQ(state.py.tableCount, 3);
}

TEST_F(PersonYearsRun, DaysOutsideEveryClassAreNotCountedAndEntryAndExitDaysCount) {
    // Born 1 January 1950: 30 on 1 January 1980 (10957 days / 365.25 = 29.998,
    // so age 30 is reached on 2 January). Classes 20-30 and 30-40, 1980-1982.
    addCohort({{D(1950, 1, 1), D(1979, 12, 1), D(1982, 3, 1), {}, {}, {}}});
    ASSERT_EQ(compute(form("20:40:10", "1980:1982:1")), PyRunOutcome::Completed);
    // Age 30 is reached on the first day with (day - birth) / 365.25 >= 30.
    const double birth = Day(1950, 1, 1);
    double turn30 = Day(1980, 1, 1);
    while ((turn30 - birth) / 365.25 < 30) turn30 += 1;
    EXPECT_EQ(state.PyValues.at(1, 1, 1), turn30 - Day(1980, 1, 1));
    EXPECT_EQ(state.PyValues.at(1, 2, 1), Day(1981, 1, 1) - turn30);
    EXPECT_EQ(state.PyValues.at(1, 1, 2), 0);
    EXPECT_EQ(state.PyValues.at(1, 2, 2), 365);  // 1981; December 1979 and 1982 are in no period
}

// ---- The lag ------------------------------------------------------------------

TEST_F(PersonYearsRun, ALagOfTenYearsAfterHireOnFirstMarch1975CountsFromFirstMarch1985) {
    addCohort({{D(1950, 1, 1), D(1980, 1, 1), D(1990, 12, 31), {}, D(1975, 3, 1), {}},
               {D(1950, 1, 1), D(1980, 1, 1), D(1985, 2, 28), {}, D(1975, 3, 1), {}}});
    defineLag(10);
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed);
    EXPECT_EQ(state.PyValues.at(1, 1, 1), Day(1990, 12, 31) - Day(1985, 3, 1) + 1);
    EXPECT_EQ(summary.rowsLagAfterExit, 1);  // the one who left before the lag ended
}

TEST_F(PersonYearsRun, ALagFrom29FebruaryEndsOn28FebruaryInAYearWithoutIt) {
    addCohort({{D(1950, 1, 1), D(1980, 1, 1), D(1990, 12, 31), {}, D(1976, 2, 29), {}}});
    defineLag(10);
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed);
    EXPECT_EQ(state.PyValues.at(1, 1, 1), Day(1990, 12, 31) - Day(1986, 2, 28) + 1);
}

TEST_F(PersonYearsRun, ALagThatEndsBeforeEntryChangesNothing) {
    addCohort({{D(1950, 1, 1), D(1980, 1, 1), D(1980, 12, 31), {}, D(1960, 1, 1), {}}});
    defineLag(10);
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed);
    EXPECT_EQ(state.PyValues.at(1, 1, 1), 366);
}

TEST_F(PersonYearsRun, NoLagIsAppliedWhenItIsSwitchedOffOrZero) {
    // The hire date is empty: it is not read when no lag applies.
    addCohort({{D(1950, 1, 1), D(1980, 1, 1), D(1980, 12, 31), {}, {}, {}}});
    state.py.withLag = false;
    state.py.lagYears = 5;  // left over from an earlier definition
    state.py.hireColumn = "DOH";
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed);
    EXPECT_EQ(state.PyValues.at(1, 1, 1), 366);
    defineLag(0);
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed)
        << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(state.PyValues.at(1, 1, 1), 366);
}

// ---- Sex tables ---------------------------------------------------------------

TEST_F(PersonYearsRun, SexCodesFillTablesTwoAndThreeAndTableOneIsTheirSum) {
    std::vector<Person> persons;
    for (int i = 0; i < 40; ++i) {
        Value sex = i % 5 == 3 ? Value::integer(3) : i % 5 == 4 ? Value() : Value::integer(1 + i % 2);
        persons.push_back({D(1920 + i, 1 + i % 12, 1 + i % 28), D(1960 + i % 7, 3, 1), D(1995 - i % 9, 7, 15), sex,
                           {}, {}});
    }
    addCohort(persons);
    defineSex(1, 2);
    ASSERT_EQ(compute(form("20:80:10", "1960:2000:10")), PyRunOutcome::Completed);
    const PyCells& c = state.PyValues;
    ASSERT_EQ(c.tables(), 3);
    int64_t second = 0, third = 0;
    for (int a = 1; a <= c.ageClasses(); ++a)
        for (int p = 1; p <= c.periods(); ++p) {
            EXPECT_EQ(c.at(1, a, p), c.at(2, a, p) + c.at(3, a, p)) << a << "," << p;
            second += c.at(2, a, p);
            third += c.at(3, a, p);
        }
    EXPECT_GT(second, 0);
    EXPECT_GT(third, 0);
    EXPECT_EQ(summary.rowsInNoTable, 16);  // sex 3 and empty sex are in no table

    // Stored: table 1, then 2, then 3.
    std::vector<int64_t> expected = TableCells(c, 1);
    for (int t = 2; t <= 3; ++t) {
        auto more = TableCells(c, t);
        expected.insert(expected.end(), more.begin(), more.end());
    }
    EXPECT_EQ(storedIntegers("VdxPyValues", "PersonYears"), expected);
    EXPECT_EQ(pyEntries(), (std::vector<std::string>{"Age*Calendar", "Age*Calendar*Sex=1", "Age*Calendar*Sex=2"}));
    EXPECT_EQ(state.Navigator.node(state.CurrentNode)->key, kPySex2Key);
}

TEST_F(PersonYearsRun, ARowWithSexThreeIsInNoTable) {
    addCohort({{D(1950, 1, 1), D(1980, 1, 1), D(1980, 12, 31), Value::integer(3), {}, {}}});
    defineSex(1, 2);
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed);
    EXPECT_EQ(state.PyValues.at(1, 1, 1), 0);
    EXPECT_EQ(state.PyValues.at(2, 1, 1), 0);
    EXPECT_EQ(state.PyValues.at(3, 1, 1), 0);
}

TEST_F(PersonYearsRun, TheSummaryCountsTheRowsLeftOutByReasonAndNamesThem) {
    addCohort({{D(1950, 1, 1), D(1980, 1, 1), D(1980, 12, 31), Value::integer(1), D(1960, 1, 1), {}},   // in
               {D(1950, 1, 1), D(1980, 1, 1), D(1979, 12, 31), Value::integer(1), D(1960, 1, 1), {}},   // exit < entry
               {D(1950, 1, 1), D(1980, 1, 1), D(1980, 12, 31), Value::integer(2), D(1975, 1, 1), {}},   // lag after exit
               {D(1900, 1, 1), D(1980, 1, 1), D(1980, 12, 31), Value::integer(2), D(1960, 1, 1), {}},   // aged 80
               {D(1950, 1, 1), D(1980, 1, 1), D(1980, 12, 31), Value(), D(1960, 1, 1), {}}});           // no sex
    defineSex(1, 2);
    defineLag(10);
    ASSERT_EQ(compute(form("20:40:10", "1980:1981:1")), PyRunOutcome::Completed)
        << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(summary.rows, 5);
    EXPECT_EQ(summary.rowsIncluded(), 1);
    EXPECT_EQ(summary.rowsExitBeforeEntry, 1);
    EXPECT_EQ(summary.rowsLagAfterExit, 1);
    EXPECT_EQ(summary.rowsOutsideClasses, 1);
    EXPECT_EQ(summary.rowsInNoTable, 1);
    const auto details = PyRunLeftOutLines(summary);
    ASSERT_EQ(details.size(), 4u) << ::testing::PrintToString(details);
    EXPECT_EQ(details[0], "Row 2: exit 31.12.1979 before entry 01.01.1980");
    EXPECT_EQ(details[1].rfind("Row 3: the lag ends on 01.01.1985", 0), 0u) << details[1];
    EXPECT_EQ(details[2].rfind("Row 4: follow-up 01.01.1980 to 31.12.1980 (age 79 to 80)", 0), 0u) << details[2];
    EXPECT_EQ(details[3], "Row 5: no sex code: 'SEX' is empty, neither 1 nor 2");
    const auto lines = PyRunSummaryLines(state, summary);
    for (const char* line : {"Persons read: 5 rows", "Persons included: 1 row", "Persons left out: 4 rows",
                             "  1 row: exit before entry"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    EXPECT_EQ(PyRunLeftOutLines(summary, 1).back(), "... and 3 more rows left out.");
}

TEST_F(PersonYearsRun, TwoRunsWithAndThenWithoutSexLeaveOnlyTheAllPersonsEntry) {
    addCohort({{D(1950, 1, 1), D(1980, 1, 1), D(1980, 12, 31), Value::integer(2), {}, {}}});
    defineSex(1, 2);
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed);
    EXPECT_EQ(pyEntries().size(), 3u);
    state.py.bySex = false;
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed);
    EXPECT_EQ(pyEntries(), std::vector<std::string>{"Age*Calendar"});
    EXPECT_EQ(state.py.tableCount, 1);
    EXPECT_EQ(state.PyValues.tables(), 1);
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed);
    EXPECT_EQ(pyEntries(), std::vector<std::string>{"Age*Calendar"});
    EXPECT_EQ(storedIntegers("VdxPyValues", "PersonYears"), std::vector<int64_t>{366});
}

// ---- Cancel and failing rows ----------------------------------------------------

class PersonYearsKeptRun : public PersonYearsRun {
protected:
    // A completed run with sex stratification, then the dialog opened again
    // (snapshot) and its settings changed for a second run.
    void SetUp() override {
        PersonYearsRun::SetUp();
        addCohort({{D(1940, 5, 1), D(1970, 1, 1), D(1990, 12, 31), Value::integer(1), D(1965, 1, 1), {}},
                   {D(1945, 5, 1), D(1975, 1, 1), D(1995, 12, 31), Value::integer(2), D(1960, 1, 1), {}},
                   {D(1935, 5, 1), D(1972, 1, 1), D(1988, 12, 31), Value::integer(1), D(1970, 1, 1), {}}});
        defineSex(1, 2);
        ASSERT_EQ(compute(form("20:60:10", "1970:2000:10")), PyRunOutcome::Completed);
        ShowView(state, ViewName::ResultGrid);  // the user looks at a person-years table
        before = state;
        storedBefore = storedIntegers("VdxPyValues", "PersonYears");
        agesBefore = storedIntegers("VdxAgeClassValues", "AgeClass");
        loaded = TakeSettingsSnapshot(state);
        state.py.bySex = false;
        state.py.calendarSelfDefined = false;
        ui.messages.clear();
    }
    void expectPreviousRun() {
        EXPECT_EQ(state.PyValues, before.PyValues);
        PySettings expected = before.py;  // the two confirmations are not part of the snapshot
        expected.sexDefined = state.py.sexDefined;
        expected.lagDefined = state.py.lagDefined;
        EXPECT_EQ(state.py, expected);
        EXPECT_EQ(state.AgeBounds, before.AgeBounds);
        EXPECT_EQ(state.CalendarBounds, before.CalendarBounds);
        EXPECT_EQ(pyEntries(), (std::vector<std::string>{"Age*Calendar", "Age*Calendar*Sex=1", "Age*Calendar*Sex=2"}));
        EXPECT_EQ(storedIntegers("VdxPyValues", "PersonYears"), storedBefore);
        EXPECT_EQ(storedIntegers("VdxAgeClassValues", "AgeClass"), agesBefore);
        EXPECT_EQ(static_cast<int>(state.AgeBounds.size()), state.py.ageBoundCount + 1);
        EXPECT_EQ(static_cast<int>(state.CalendarBounds.size()), state.py.calendarBoundCount + 1);
        EXPECT_EQ(state.CurrentView, ViewName::ResultGrid);
        EXPECT_EQ(state.CurrentGrid, GridName::ResultGrid);
    }
    ProgramState before;
    std::vector<int64_t> storedBefore, agesBefore;
    PySettingsSnapshot loaded;
};

TEST_F(PersonYearsKeptRun, CancelKeepsThePreviousRunAndItsSettings) {
    ui.cancelAfterPolls = 0;  // the first poll reports a confirmed Cancel
    EXPECT_EQ(compute(form("0:85:5", "1950:2020:1"), &loaded), PyRunOutcome::Cancelled);
    EXPECT_TRUE(state.CancelRequested);
    expectPreviousRun();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.busyDepth, 0);
}

TEST_F(PersonYearsKeptRun, CancelWithAStepOfZeroInTheSnapshotKeepsCountsAndListsAlike) {
    // Self-defined calendar periods before: the snapshot's step is 0.
    state = before;
    state.py.calendarSelfDefined = true;
    state.py.calendarStep = 0;
    state.py.calendarBoundCount = 3;
    state.CalendarBounds = {0, 1970, 1985, 2000};
    loaded = TakeSettingsSnapshot(state);
    state.py.calendarSelfDefined = false;
    ui.cancelAfterPolls = 0;
    EXPECT_EQ(compute(form("0:85:5", "1950:2020:1"), &loaded), PyRunOutcome::Cancelled);
    EXPECT_EQ(state.py.calendarBoundCount, 3);
    EXPECT_EQ(state.CalendarBounds, (std::vector<int16_t>{0, 1970, 1985, 2000}));
    EXPECT_TRUE(state.py.calendarSelfDefined);
}

TEST_F(PersonYearsKeptRun, AFailedRunPutsBackTheSelfDefinedListsItReplaced) {
    sql("UPDATE Cohort SET DOX = NULL WHERE ID = 1");
    state.py.ageSelfDefined = state.py.calendarSelfDefined = true;
    state.py.ageBoundCount = 3;
    state.AgeBounds = {0, 15, 50, 90};
    state.py.calendarBoundCount = 2;
    state.CalendarBounds = {0, 1900, 2000};
    EXPECT_EQ(compute(form("0:1:1", "1950:2020:1"), &loaded), PyRunOutcome::Failed);
    EXPECT_FALSE(state.py.ageSelfDefined);
    EXPECT_FALSE(state.py.calendarSelfDefined);
    expectPreviousRun();
    // What was entered comes back for the dialog; the run's results stay.
    ASSERT_TRUE(PutBackEnteredSettings(state));
    EXPECT_TRUE(state.py.ageSelfDefined);
    EXPECT_EQ(state.AgeBounds, (std::vector<int16_t>{0, 15, 50, 90}));
    EXPECT_EQ(state.CalendarBounds, (std::vector<int16_t>{0, 1900, 2000}));
    EXPECT_TRUE(state.py.computed);
    EXPECT_EQ(state.py.tableCount, 3);
    // A completed run forgets them.
    sql("UPDATE Cohort SET DOX = DOE WHERE ID = 1");
    ASSERT_EQ(compute(form("0:1:1", "1950:2020:1")), PyRunOutcome::Completed);
    EXPECT_FALSE(state.PyEntries);
}

TEST_F(PersonYearsKeptRun, AnEmptyBirthDateStopsTheRunNamingRowAndColumnAndChangesNothing) {
    sql("UPDATE Cohort SET DOB = NULL WHERE ID = 3");
    EXPECT_EQ(compute(form("0:85:5", "1950:2020:1"), &loaded), PyRunOutcome::Failed);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(text.find("Number:"), std::string::npos) << text;  // in words, no error number
    EXPECT_NE(text.find("Row 3 "), std::string::npos) << text;
    EXPECT_NE(text.find("'DOB'"), std::string::npos) << text;
    EXPECT_NE(text.find("is empty"), std::string::npos) << text;
    EXPECT_EQ(ui.messages[0].icon, Icon::Critical);
    expectPreviousRun();
}

TEST_F(PersonYearsKeptRun, TextThatIsNoDateStopsTheRunNamingTheValue) {
    sql("UPDATE Cohort SET DOX = 'unknown' WHERE ID = 2");
    EXPECT_EQ(compute(form("0:85:5", "1950:2020:1"), &loaded), PyRunOutcome::Failed);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_NE(text.find("Row 2 "), std::string::npos) << text;
    EXPECT_NE(text.find("'DOX'"), std::string::npos) << text;
    EXPECT_NE(text.find("'unknown'"), std::string::npos) << text;
    expectPreviousRun();
}

TEST_F(PersonYearsKeptRun, ABirthAfterTheEntryDateStopsTheRunNamingRowColumnsAndDates) {
    sql("UPDATE Cohort SET DOB = " + std::to_string(DayNumber(1975, 3, 1)) + " WHERE ID = 2");  // entry 1.1.1975
    EXPECT_EQ(compute(form("0:85:5", "1950:2020:1"), &loaded), PyRunOutcome::Failed);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("Row 2 of the main data table 'Cohort': the date of birth (column 'DOB') "
                                       "01.03.1975 is after the entry point of study (column 'DOE') 01.01.1975."),
              std::string::npos)
        << ui.messages[0].text;
    expectPreviousRun();
    // Born on the day of entry: no error.
    sql("UPDATE Cohort SET DOB = DOE WHERE ID = 2");
    ui.messages.clear();
    EXPECT_EQ(compute(form("0:85:5", "1950:2020:1"), &loaded), PyRunOutcome::Completed);
}

TEST_F(PersonYearsKeptRun, AnEmptyHireDateStopsARunWithALag) {
    sql("UPDATE Cohort SET DOH = NULL WHERE ID = 1");
    defineLag(10);
    EXPECT_EQ(compute(form("0:85:5", "1950:2020:1"), &loaded), PyRunOutcome::Failed);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("date of hire (column 'DOH')"), std::string::npos) << ui.messages[0].text;
    expectPreviousRun();
}

TEST_F(PersonYearsRun, ACancelledFirstRunLeavesNoPersonYears) {
    addCohort({{D(1950, 1, 1), D(1980, 1, 1), D(1980, 12, 31), {}, {}, {}}});
    ui.cancelAfterPolls = 0;
    EXPECT_EQ(compute(form("0:85:5", "1970:2000:5")), PyRunOutcome::Cancelled);
    EXPECT_FALSE(state.py.computed);
    EXPECT_TRUE(pyEntries().empty());
    EXPECT_TRUE(storedIntegers("VdxPyValues", "PersonYears").empty());
    EXPECT_FALSE(state.ProjectChanged);
}

// ---- Dates kept as text ------------------------------------------------------------

TEST_F(PersonYearsRun, DatesBefore1900KeptAsTextAreRead) {
    // TXT holds the birth date as a spreadsheet keeps a date before 1900.
    addCohort({{D(1892, 3, 15), D(1950, 1, 1), D(1950, 12, 31), {}, {}, Value::text("15.03.1892")},
               {D(1893, 12, 31), D(1950, 1, 1), D(1950, 12, 31), {}, {}, Value::text("1893-12-31")}});
    PyRequest f = form("50:65:5", "1950:1951:1");
    f.birthColumn = "TXT";
    ASSERT_EQ(compute(f), PyRunOutcome::Completed) << ::testing::PrintToString(ui.messageTexts());
    const PyCells text = state.PyValues;
    f.birthColumn = "DOB";
    ASSERT_EQ(compute(f), PyRunOutcome::Completed);
    EXPECT_EQ(text, state.PyValues);
    EXPECT_EQ(state.PyValues.at(1, 2, 1), 365 + 365);  // both aged 55-60 all of 1950
}

// ---- Size ---------------------------------------------------------------------------

TEST_F(PersonYearsRun, SettingsOfMoreThan32767CellsPerTableRun) {
    addCohort({{D(1950, 1, 1), D(1990, 1, 1), D(1990, 12, 31), {}, {}, {}}});
    ASSERT_EQ(compute(form("0:999:1", "1900:2000:1")), PyRunOutcome::Completed)
        << ::testing::PrintToString(ui.messageTexts());
    ASSERT_EQ(state.PyValues.ageClasses(), 999);
    ASSERT_EQ(state.PyValues.periods(), 100);
    EXPECT_EQ(state.PyValues.at(1, 41, 91), 365);  // aged 40 all of 1990
    const auto stored = storedIntegers("VdxPyValues", "PersonYears");
    ASSERT_EQ(stored.size(), 99900u);
    EXPECT_EQ(stored[40 * 100 + 90], 365);
    int64_t sum = 0;
    for (auto v : stored) sum += v;
    EXPECT_EQ(sum, 365);
}

TEST_F(PersonYearsRun, ACellBeyond32BitsIsStoredWholeAndSumsDoNotWrap) {
    // 60000 persons of 36525 days each in one cell: 2 191 500 000 days, more
    // than a 32-bit integer holds. Half of them have sex 1, half sex 2.
    test::CreateTable(*db::Database::open(state.WorkingCopyName), "Cohort",
                          "ID LONG, DOB DATE, DOE DATE, DOX DATE, SEX INTEGER, DOH DATE, TXT TEXT");
    sql("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 60000) "
        "INSERT INTO Cohort (ID, DOB, DOE, DOX, SEX) SELECT x, 2, 2, 2 + 36524, 1 + x % 2 FROM n");
    registerMainTable("Cohort");
    defineSex(1, 2);
    ASSERT_EQ(compute(form("0:100:100", "1900:2100:200")), PyRunOutcome::Completed)
        << ::testing::PrintToString(ui.messageTexts());
    const int64_t expected = int64_t{60000} * 36525;
    ASSERT_GT(expected, kLargest32BitCell);
    EXPECT_EQ(state.PyValues.at(1, 1, 1), expected);
    EXPECT_EQ(state.PyValues.at(2, 1, 1), expected / 2);
    EXPECT_EQ(summary.largestCell, expected);
    EXPECT_EQ(summary.totalDays, expected);
    EXPECT_EQ(storedIntegers("VdxPyValues", "PersonYears"),
              (std::vector<int64_t>{expected, expected / 2, expected / 2}));

    // Saving and reopening keeps the cell whole.
    ASSERT_TRUE(db::FileSave(state, ui)) << ::testing::PrintToString(ui.messageTexts());
    const std::string file = state.ProjectFileName;
    db::ReleaseWorkingCopy(state);
    ProgramState reopened;
    ASSERT_TRUE(db::OpenProjectFile(reopened, ui, file)) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(reopened.PyValues.at(1, 1, 1), expected);
    EXPECT_EQ(reopened.PyValues.at(3, 1, 1), expected / 2);
    db::ReleaseWorkingCopy(reopened);
}
