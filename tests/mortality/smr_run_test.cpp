// Compute > SMR over a project file: the default project name, the dialog's
// checks, the computed and stored project, the warnings for zero counts, the
// sex tables, cells beyond 32 bits, and failing runs that leave the working
// copy as it was.
#include "mortality_test_support.h"

#include <functional>
#include <optional>

#include "state/messages.h"

using namespace vdx;
using vdx::test::D;
using vdx::test::Person;

namespace {

class SmrRun : public vdx::test::MortalityTest {
protected:
    // One age class and one period (ages 0-100, 1900-2100), `days` person-days,
    // `deaths` persons who died of 162 in 1980 and two who are alive.
    void smallStudy(int64_t days, int deaths, double rate) {
        setStrata({0, 100}, {1900, 2100}, {days});
        std::vector<Person> persons;
        for (int n = 0; n < deaths; ++n) persons.push_back({D(1930, 1, 1), D(1980, 6, 1), {}, {}, Value::integer(162)});
        persons.push_back({D(1930, 1, 1), D(2000, 1, 1), {}, {}, Value::integer(0)});
        persons.push_back({D(1931, 1, 1), D(2000, 1, 1), {}, {}, Value::integer(0)});
        addCohort(persons);
        addRateTable("Rates", {{Value::real(rate)}});
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> out;
        for (const auto& m : ui.messages) out.push_back(m.title);
        return out;
    }
};

}  // namespace

TEST_F(SmrRun, TwelveObservedAndEightExpectedByTheExactMethodAreStoredAsAProject) {
    smallStudy(23376, 12, 0.125);  // 64 person-years at 0.125: E = 8
    ASSERT_TRUE(computeSmr(request("Rates", "162", "Exact"))) << ::testing::PrintToString(ui.messageTexts());
    const MortalityResults& m = state.mortality;
    EXPECT_EQ(m.ObservedTotal, 12);
    EXPECT_EQ(m.ExpectedTotal, 8.0);
    EXPECT_EQ(m.SmrRatio, 1.5);
    // 1.5 times the exact Poisson bounds of 12 (6.2005751 and 20.9615850) over 12.
    EXPECT_NEAR(m.SmrLow, 0.7750718886, 1e-9);
    EXPECT_NEAR(m.SmrHigh, 2.6201981310, 1e-9);
    EXPECT_EQ(m.PersonYearsTotal, 64.0);
    EXPECT_EQ(m.DeathRate, 12.0 / 64.0);
    EXPECT_EQ(m.RowCount, 14);
    EXPECT_EQ(m.IncludedCount, 14);
    EXPECT_TRUE(ui.messages.empty());

    EXPECT_EQ(column("Project1_SMR", "Typ"),
              (std::vector<std::string>{"ProjectName", "RateTable", "PyTable", "Alpha", "varDTH", "varTod", "totTote",
                                        "totPy", "totDthRate", "Expected", "Smr", "Smr_l", "Smr_h", "N", "NInc", "Lag",
                                        "Method", "MainTable", "valuesDTH"}));
    EXPECT_EQ(column("Project1_SMR", "Values"),
              (std::vector<std::string>{"Project1", "Rates", "Age*Calendar", "0.05", "ICD", "", "", "", "", "", "", "",
                                        "", "", "", "", "Exact", "Cohort", "162"}));
    const auto figures = column("Project1_SMR", "Figures");
    EXPECT_EQ(std::vector<std::string>(figures.begin() + 5, figures.begin() + 11),
              (std::vector<std::string>{"162", "12", "64", "0.1875", "8", "1.5"}));
    EXPECT_EQ(std::vector<std::string>(figures.begin() + 13, figures.begin() + 16),
              (std::vector<std::string>{"14", "14", "0"}));
    EXPECT_EQ(column("Project1_Deaths", "Deaths"), std::vector<std::string>{"12"});
    EXPECT_EQ(column("VdxSystemProjects", "Projects"), std::vector<std::string>{"Project1"});

    EXPECT_EQ(state.ProjectCount, 1);
    EXPECT_TRUE(state.ProjectChanged);
    EXPECT_EQ(state.CurrentView, ViewName::Empty);
    EXPECT_EQ(state.Navigator.fullPath(state.CurrentNode), "Project1_SMR");
    EXPECT_GE(state.Navigator.findByPath("Project1_Deaths"), 0);
    // The window's caption, then its label through the run.
    EXPECT_EQ(ui.progressLabels, (std::vector<std::string>{"Computing Deaths", "Computing Deaths", "Computing SMR"}));
    EXPECT_EQ(ui.busyDepth, 0);
}

TEST_F(SmrRun, TheDefaultNameSkipsEveryTakenNameAndCancelLowersTheCount) {
    setStrata({0, 100}, {1900, 2100}, {1000});
    addCohort({});
    {
        auto d = open();
        auto rs = d->openRecordset(db::kVdxSystemProjects);
        for (const char* name : {"Project1", "Project2", "Project4"}) {
            rs->addNew();
            rs->setValue("Projects", Value::text(name));
            rs->update();
        }
    }
    state.ProjectCount = 3;
    EXPECT_EQ(mortality::BeginSmrProject(state, ui), "Project5");
    EXPECT_EQ(state.ProjectCount, 4);
    mortality::CancelSmrProject(state);
    EXPECT_EQ(state.ProjectCount, 3);
    state.ProjectCount = 0;
    mortality::CancelSmrProject(state);
    EXPECT_EQ(state.ProjectCount, 0);
}

TEST_F(SmrRun, ANewProjectTakesTheRowTheProjectCountReadsBackEvenBehindALeftOverRow) {
    smallStudy(1000, 1, 0.1);
    {
        auto d = open();
        auto rs = d->openRecordset(db::kVdxSystemProjects);
        rs->addNew();
        rs->setValue("Projects", Value::text("Gone"));  // beyond the count of 0
        rs->update();
    }
    ASSERT_TRUE(computeSmr(request("Rates", "162")));
    auto d = open();
    EXPECT_EQ(db::ReadRows(*d, db::kVdxSystemProjects, "Projects", state.ProjectCount),
              std::vector<std::string>{"Project1"});
}

TEST_F(SmrRun, NoPersonYearsNoProjectFileOrNoMainTableRefusesWithTheirMessages) {
    EXPECT_FALSE(mortality::BeginSmrProject(state, ui));
    ProgramState closed;
    EXPECT_FALSE(mortality::BeginSmrProject(closed, ui));
    setStrata({0, 100}, {1900, 2100}, {1000});  // person-years, but no main data table (removed)
    EXPECT_FALSE(mortality::BeginSmrProject(state, ui));
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_NE(ui.messages[2].text.find("There is no main data table"), std::string::npos) << ui.messages[2].text;
    ui.messages.pop_back();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{Message(18), Message(16)}));
    EXPECT_EQ(titles(), (std::vector<std::string>{"VELDRIX", "VELDRIX"}));
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(state.ProjectCount, 0);
}

TEST_F(SmrRun, TheChecksRefuseInTheirOrderAndFocusTheirControl) {
    setStrata({0, 50, 100}, {1900, 2000, 2100}, {1, 2, 3, 4});
    addCohort({{D(1930, 1, 1), D(1980, 6, 1), {}, {}, Value::integer(162)}});
    addRateTable("Rates", {{Value::real(0.1), Value::real(0.1)}, {Value::real(0.1), Value::real(0.1)}});
    addRateTable("Labelled", {{Value::real(0.1), Value::real(0.1), Value::real(0.1)},
                              {Value::real(0.1), Value::real(0.1), Value::real(0.1)}});
    addRateTable("Short", {{Value::real(0.1), Value::real(0.1)}});
    using mortality::SmrField;
    struct Case {
        std::function<void(mortality::SmrRequest&)> change;
        int message;
        SmrField focus;
        const char* said = "";  // what the message adds to its numbered text
    } cases[] = {
        {[](auto& r) { r.rateTable = ""; r.pyTable = ""; }, 28, SmrField::RateTable},
        {[](auto& r) { r.pyTable = ""; r.deathColumn = ""; }, 29, SmrField::PyTable},
        {[](auto& r) { r.pyTable = "Age*Calendar*Sex=1"; }, 29, SmrField::PyTable},  // not listed without sex
        {[](auto& r) { r.deathColumn = ""; r.deathValueText = "x"; }, 30, SmrField::DeathColumn},
        {[](auto& r) { r.deathColumn = "DOB"; }, 31, SmrField::DeathColumn},
        {[](auto& r) { r.deathValueText = "16x"; }, 32, SmrField::DeathValue},
        {[](auto& r) { r.deathValueText = "-1"; }, 33, SmrField::DeathValue},
        {[](auto& r) { r.deathValueText = "32767.5"; }, 33, SmrField::DeathValue},
        // Message 34 gives both shapes.
        {[](auto& r) { r.rateTable = "Labelled"; }, 34, SmrField::RateTable,  // an extra (label) column
         "'Labelled' has 2 rows and 3 columns; the person-years tables have 2 age classes and 2 calendar periods"},
        {[](auto& r) { r.rateTable = "Short"; }, 34, SmrField::RateTable, "'Short' has 1 row and 2 columns"},
    };
    for (const auto& c : cases) {
        ui.messages.clear();
        auto r = request("Rates", "162");
        c.change(r);
        const auto check = mortality::CheckSmrRequest(state, ui, r);
        EXPECT_FALSE(check.ok) << c.message;
        EXPECT_EQ(check.focus, c.focus) << c.message;
        ASSERT_EQ(ui.messages.size(), 1u) << c.message;
        EXPECT_EQ(ui.messages[0].text.rfind(Message(c.message), 0), 0u) << ui.messages[0].text;
        EXPECT_NE(ui.messages[0].text.find(c.said), std::string::npos) << ui.messages[0].text;
        EXPECT_EQ(ui.messages[0].title, "Error");
        EXPECT_EQ(ui.messages[0].icon, Icon::Critical);
    }
    ui.messages.clear();
    EXPECT_TRUE(mortality::CheckSmrRequest(state, ui, request("Rates", "162.0")).ok);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SmrRun, ZeroExpectedStoresZerosAndZeroObservedStoresTheUpperBoundOfAZeroCount) {
    // Byar's upper bound of the mean at O = 0, 95 %, in R: (8/9 + qnorm(0.975)/3)^3.
    const double byarAtZero = 3.668011832;
    struct Case {
        int deaths;
        double rate;
        std::vector<std::string> messages;
        std::vector<std::string> figures7to12;  // totTote, totPy, totDthRate, Expected, Smr, Smr_l
        double upper;                           // Smr_h
    } cases[] = {
        {0, 0.0, {Message(36), Message(37)}, {"0", "64", "0", "0", "0", "0"}, 0},
        {4, 0.0, {Message(36)}, {"4", "64", "0.0625", "0", "0", "0"}, 0},
        {0, 0.125, {Message(37)}, {"0", "64", "0", "8", "0", "0"}, byarAtZero / 8},
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        smallStudy(23376, c.deaths, c.rate);
        ASSERT_TRUE(computeSmr(request("Rates", "162")));
        EXPECT_EQ(ui.messageTexts(), c.messages);
        EXPECT_EQ(titles(), std::vector<std::string>(c.messages.size(), "Warning"));
        const auto figures = column("Project1_SMR", "Figures");
        EXPECT_EQ(std::vector<std::string>(figures.begin() + 6, figures.begin() + 12), c.figures7to12);
        EXPECT_NEAR(std::stod(figures[12]), c.upper, 1e-9);
        ui.messages.clear();
    }
}

TEST_F(SmrRun, TheFirstSexTableUsesTheSecondBlockOfCellsAndDeathsOfItsCode) {
    defineSex(1, 2);
    // 2 age classes x 1 period per table; tables 1, 2, 3 one after the other.
    setStrata({0, 50, 100}, {1900, 2100}, {36525, 73050, 14610, 29220, 21915, 43830});
    addCohort({{D(1930, 1, 1), D(1960, 6, 1), Value::integer(1), {}, Value::integer(162)},
               {D(1930, 1, 1), D(1990, 6, 1), Value::integer(2), {}, Value::integer(162)},
               {D(1930, 1, 1), D(1990, 6, 1), Value::integer(1), {}, Value::integer(162)}});
    addRateTable("Rates", {{Value::real(0.01)}, {Value::real(0.1)}});
    auto r = request("Rates", "162");
    r.pyTable = "Age*Calendar*Sex=1";
    ASSERT_TRUE(computeSmr(r)) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(state.mortality.PersonYearsTotal, 120.0);           // 40 + 80 years of table 2
    EXPECT_DOUBLE_EQ(state.mortality.ExpectedTotal, 40 * 0.01 + 80 * 0.1);
    EXPECT_EQ(state.mortality.ObservedTotal, 2);
    EXPECT_EQ(column("Project1_Deaths", "Deaths"), (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(column("Project1_SMR", "Values")[2], "Age*Calendar*Sex=1");
}

TEST_F(SmrRun, CellsBeyondThirtyTwoBitsOfDaysAreSummedWhole) {
    smallStudy(3'000'000'000, 3, 1e-6);
    ASSERT_TRUE(computeSmr(request("Rates", "162")));
    EXPECT_EQ(state.mortality.PersonYearsTotal, 3e9 / 365.25);
    EXPECT_DOUBLE_EQ(state.mortality.ExpectedTotal, 3e9 / 365.25 * 1e-6);
}

TEST_F(SmrRun, AFailingRunLeavesTheWorkingCopyAsItWasAndSaysWhy) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        std::string said;  // part of the message
    } cases[] = {
        {"empty rate", [this] { smallStudy(1000, 2, 0); addRateTable("Gaps", {{Value()}}); },
         "Row 1, column 'Y1' of the rate table 'Gaps' is empty"},
        {"rate that is no number",
         [this] { smallStudy(1000, 2, 0); addRateTable("Gaps", {{Value::text("n/a")}}, "TEXT"); },
         "holds 'n/a', which is not a number"},
        {"negative rate", [this] { smallStudy(1000, 2, 0); addRateTable("Gaps", {{Value::real(-0.5)}}); },
         "negative rate -0.5"},
        {"counted death without a death date",
         [this] {
             setStrata({0, 100}, {1900, 2100}, {1000});
             addCohort({{D(1930, 1, 1), D(1980, 1, 1), {}, {}, Value::integer(162)},
                          {D(1930, 1, 1), {}, {}, {}, Value::integer(162)}});
             addRateTable("Gaps", {{Value::real(0.1)}});
         },
         "Row 2 of the main data table 'Cohort': the termination point of study (column 'DOX') is empty"},
        {"a death before its entry",
         [this] {
             setStrata({0, 100}, {1900, 2100}, {1000});
             addCohort({{D(1930, 1, 1), D(1980, 1, 1), {}, {}, Value::integer(162)},
                        {D(1930, 1, 1), D(2001, 1, 1), {}, {}, Value::integer(162), D(2003, 1, 1)}});
             addRateTable("Gaps", {{Value::real(0.1)}});
         },
         "Row 2 of the main data table 'Cohort': the termination point of study (column 'DOX') 01.01.2001 is "
         "before the entry point of study (column 'DOE') 01.01.2003"},
        {"deaths in a table without person-years",
         [this] { smallStudy(0, 2, 0.1); addRateTable("Gaps", {{Value::real(0.1)}}); },
         "holds no person-years"},
        {"tables of the project exist",
         [this] {
             smallStudy(1000, 2, 0.1);
             addRateTable("Gaps", {{Value::real(0.1)}});
             auto d = open();
             test::CreateTable(*d, "Project1_SMR", "Typ TEXT");
         },
         "holds a table 'Project1_SMR' already"},
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        c.setUp();
        state.ProjectChanged = false;
        const auto nodes = state.Navigator.nodes().size();
        const std::string before = vdx::test::ReadBytes(state.WorkingCopyName);
        ui.messages.clear();
        EXPECT_FALSE(computeSmr(request("Gaps", "162"))) << c.name;
        EXPECT_EQ(vdx::test::ReadBytes(state.WorkingCopyName), before) << c.name;
        ASSERT_EQ(ui.messages.size(), 1u) << c.name << ::testing::PrintToString(ui.messageTexts());
        EXPECT_NE(ui.messages[0].text.find(c.said), std::string::npos) << c.name << ": " << ui.messages[0].text;
        EXPECT_EQ(ui.messages[0].title, "Error");
        EXPECT_EQ(state.ProjectCount, 0) << c.name;
        EXPECT_FALSE(state.ProjectChanged) << c.name;
        EXPECT_EQ(state.Navigator.nodes().size(), nodes) << c.name;
        EXPECT_EQ(ui.busyDepth, 0);
    }
}

TEST_F(SmrRun, ARateTableAboveOneIsQuestionedAndNoStoresNothing) {
    smallStudy(23376, 12, 0.125);
    addRateTable("Per100k", {{Value::real(12500)}});
    struct Case {
        const char* table;
        std::optional<Answer> answer;  // none: no question expected
        bool stored;
    } cases[] = {{"Per100k", Answer::No, false}, {"Per100k", Answer::Yes, true}, {"Rates", std::nullopt, true}};
    for (const auto& c : cases) {
        ui.messages.clear();
        if (c.answer) ui.answers.push_back(*c.answer);
        const int16_t projects = state.ProjectCount;
        EXPECT_EQ(computeSmr(request(c.table, "162")), c.stored) << c.table;
        if (c.answer) {
            ASSERT_EQ(ui.messages.size(), 1u) << c.table;
            EXPECT_EQ(ui.messages[0].buttons, Buttons::YesNoDefaultNo);
            EXPECT_EQ(ui.messages[0].title, "Warning");
            EXPECT_NE(ui.messages[0].text.find("12500"), std::string::npos) << ui.messages[0].text;
        } else {
            EXPECT_TRUE(ui.messages.empty()) << ::testing::PrintToString(ui.messageTexts());
        }
        EXPECT_EQ(state.ProjectCount, projects + (c.stored ? 1 : 0)) << c.table;
        if (!c.stored) EXPECT_FALSE(open()->tableExists("Project1_Deaths"));
    }
    EXPECT_EQ(column("VdxSystemProjects", "Projects"), (std::vector<std::string>{"Project1", "Project2"}));
}
