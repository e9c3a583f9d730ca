// The stratum table of an SMR project: its totals against the stored
// project on a generated study, the sex tables, the navigator's "Strata"
// node, projects that have no stratum table, and projects whose
// person-years were computed again.
#include "mortality_test_support.h"

#include <bit>
#include <cmath>
#include <functional>
#include <random>

#include "db/navigator_commands.h"
#include "db/project_management.h"
#include "mortality/plot_data.h"
#include "mortality/smr_report.h"
#include "mortality/srr_run.h"
#include "mortality/strata_table.h"
#include "state/errors.h"

using namespace vdx;
using vdx::test::D;
using vdx::test::Person;

namespace {

class StrataTable : public vdx::test::MortalityTest {
protected:
    // 6 age classes x 5 periods, cells and rates of many digits, and 400
    // persons of whom about half died of 162 at ages and years spread over
    // the strata.
    void generatedStudy() {
        std::mt19937 random(20261207);
        std::vector<int64_t> cells;
        for (int k = 0; k < 30; ++k) cells.push_back(std::uniform_int_distribution<int64_t>(0, 9'000'000)(random));
        setStrata({15, 25, 35, 45, 55, 65, 75}, {1950, 1960, 1970, 1980, 1990, 2000}, cells);
        std::vector<std::vector<Value>> rates(6);
        for (auto& row : rates)
            for (int j = 0; j < 5; ++j) row.push_back(Value::real(std::pow(10.0, std::uniform_real_distribution<double>(-7, -0.5)(random))));
        addRateTable("Rates", rates);
        std::vector<Person> persons;
        for (int n = 0; n < 400; ++n) {
            const int born = std::uniform_int_distribution<int>(1890, 1950)(random);
            const int died = std::uniform_int_distribution<int>(1951, 1999)(random);
            persons.push_back({D(born, 3, 1), D(died, 7, 1), {}, {}, Value::integer(n % 2 ? 162 : 410)});
        }
        addCohort(persons);
    }
};

}  // namespace

TEST_F(StrataTable, TotalsAreTheStoredObservedExpectedAndSmrToTheLastDigit) {
    generatedStudy();
    ASSERT_TRUE(computeSmr(request("Rates", "162"))) << ::testing::PrintToString(ui.messageTexts());
    const mortality::StrataTable t = mortality::BuildStrataTable(state, "Project1");

    ASSERT_EQ(t.strata.size(), 30u);
    EXPECT_EQ(t.observedTotal, state.mortality.ObservedTotal);
    EXPECT_GT(t.observedTotal, 50);
    EXPECT_EQ(std::bit_cast<uint64_t>(t.expectedTotal), std::bit_cast<uint64_t>(state.mortality.ExpectedTotal));
    // The data are such that the reverse order of summation gives other bits.
    double reversed = 0;
    for (auto s = t.strata.rbegin(); s != t.strata.rend(); ++s) reversed += s->expected;
    EXPECT_NE(std::bit_cast<uint64_t>(reversed), std::bit_cast<uint64_t>(t.expectedTotal));

    // Against the stored table, as the report and the reader of the file see it.
    const auto rows = mortality::StrataRows(t, 1);
    ASSERT_EQ(rows.size(), 32u);
    const auto& total = rows.back();
    const auto figures = column("Project1_SMR", "Figures");
    EXPECT_EQ(total[0], "Total");
    EXPECT_EQ(total[3], figures[6]);   // totTote
    EXPECT_EQ(total[2], figures[7]);   // totPy
    EXPECT_EQ(total[5], figures[9]);   // Expected
    EXPECT_EQ(total[6], figures[10]);  // Smr
    // Each stratum's observed deaths are the deaths table's row.
    const auto deaths = column("Project1_Deaths", "Deaths");
    for (size_t k = 0; k < 30; ++k) EXPECT_EQ(rows[k + 1][3], deaths[k]) << k;
    EXPECT_EQ(rows[7][0], "25\u201334");
    EXPECT_EQ(rows[7][1], "1960\u20131969");
}

TEST_F(StrataTable, ASexTableShowsItsCodeItsCellsAndItsDeaths) {
    defineSex(1, 2);
    setStrata({0, 50, 100}, {1900, 2100}, {36525, 73050, 14610, 29220, 21915, 43830});
    addCohort({{D(1930, 1, 1), D(1960, 6, 1), Value::integer(1), {}, Value::integer(162)},
               {D(1930, 1, 1), D(1990, 6, 1), Value::integer(2), {}, Value::integer(162)},
               {D(1930, 1, 1), D(1990, 6, 1), Value::integer(1), {}, Value::integer(162)}});
    addRateTable("Rates", {{Value::real(0.01)}, {Value::real(0.1)}});
    auto r = request("Rates", "162");
    r.pyTable = "Age*Calendar*Sex=2";
    ASSERT_TRUE(computeSmr(r)) << ::testing::PrintToString(ui.messageTexts());
    const auto rows = mortality::StrataRows(mortality::BuildStrataTable(state, "Project1"), 100);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Age class", "Calendar period", "Sex", "Person-years", "Observed",
                                                 "Rate", "Expected", "O/E x 100"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"0\u201349", "1900\u20132099", "2", "60", "0", "0.01", "0.6", "0"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"50\u201399", "1900\u20132099", "2", "120", "1", "0.1", "12",
                                                 "8.33333333333333"}));
    EXPECT_EQ(rows[3], (std::vector<std::string>{"Total", "", "2", "180", "1", "", "12.6", "7.93650793650794"}));
}

TEST_F(StrataTable, TheStrataNodeOfAnSmrProjectShowsTheTableAndAnSrrProjectHasNone) {
    setStrata({0, 50, 100}, {1900, 2100}, {36525, 73050});
    addCohort({{D(1930, 1, 1), D(1990, 6, 1), {}, {}, Value::integer(162)}});
    addRateTable("Rates", {{Value::real(0.01)}, {Value::real(0.1)}});
    ASSERT_TRUE(computeSmr(request("Rates", "162")));
    auto r = request("Rates", "162");
    r.method.clear();
    r.projectName = *mortality::BeginSmrProject(state, ui);
    ASSERT_TRUE(mortality::RunSrr(state, ui, r));
    EXPECT_GE(state.Navigator.findByPath("Project1_Strata"), 0);
    EXPECT_LT(state.Navigator.findByPath("Project2_Strata"), 0);
    db::RebuildNavigator(state, ui);
    EXPECT_GE(state.Navigator.findByPath("Project1_Strata"), 0);
    EXPECT_LT(state.Navigator.findByPath("Project2_Strata"), 0);

    const auto click = db::ClickNode(state, ui, "Project1_Strata", false);
    EXPECT_EQ(click.kind, db::NodeKind::Strata);
    EXPECT_TRUE(state.Entries.tablesCopy && state.Entries.buttonCopy);
    const db::ResultGridText g = mortality::ShowStrata(state, click.project);
    EXPECT_EQ(state.CurrentView, ViewName::ResultGrid);
    ASSERT_EQ(g.rows, 4);
    EXPECT_EQ(g.at(2, 0), "50\u201399, 1900\u20132099");
    EXPECT_EQ(g.at(3, 0), "Total");
    EXPECT_EQ(g.at(3, 4), "21");  // 100 years at 0.01 and 200 at 0.1
    EXPECT_THROW(mortality::BuildStrataTable(state, "Project2"), VdxError);
    EXPECT_THROW(mortality::BuildStrataTable(state, "Nothing"), VdxError);
}

TEST_F(StrataTable, AProjectWhosePersonYearsWereComputedAgainShowsItsStoredTotalsAsOutOfDate) {
    setStrata({0, 50, 100}, {1900, 2100}, {36525, 73050});
    addCohort({{D(1930, 1, 1), D(1990, 6, 1), {}, {}, Value::integer(162)}});
    addRateTable("Rates", {{Value::real(0.01)}, {Value::real(0.1)}});
    ASSERT_TRUE(computeSmr(request("Rates", "162")));  // E = 100 * 0.01 + 200 * 0.1 = 21
    const auto figures = column("Project1_SMR", "Figures");
    struct Step {
        const char* what;
        std::function<void()> change;
        bool outOfDate;
    } steps[] = {
        {"the same run again", [this] { setStrata({0, 50, 100}, {1900, 2100}, {36525, 73050}); }, false},
        {"other person-years", [this] { setStrata({0, 50, 100}, {1900, 2100}, {36525, 36525}); }, true},
        {"other classes", [this] { setStrata({0, 40, 100}, {1900, 2100}, {36525, 73050}); }, true},
        {"a lag", [this] {
             state.py.withLag = true;
             state.py.lagYears = 10;
             setStrata({0, 50, 100}, {1900, 2100}, {36525, 73050});
         }, true},
        {"renamed, the run back", [this] {
             state.py.withLag = false;
             setStrata({0, 50, 100}, {1900, 2100}, {36525, 36525});
             ui.inputs.push_back("Lung");
             ASSERT_TRUE(db::RenameProject(state, ui, "Project1"));
         }, true},
    };
    std::string project = "Project1";
    for (const auto& step : steps) {
        step.change();
        if (std::string(step.what).rfind("renamed", 0) == 0) project = "Lung";
        const mortality::StrataTable t = mortality::BuildStrataTable(state, project);
        EXPECT_EQ(t.outOfDate, step.outOfDate) << step.what;
        const auto rows = mortality::StrataRows(t, 1);
        if (!step.outOfDate) {
            EXPECT_EQ(rows.size(), 4u) << step.what;
            continue;
        }
        // The stored totals, never the new person-years beside the old deaths.
        ASSERT_EQ(rows.size(), 3u) << step.what;
        EXPECT_EQ(rows[1], (std::vector<std::string>{"Total", "", figures[7], figures[6], "", figures[9], figures[10]}))
            << step.what;
        EXPECT_EQ(rows[2][0], "Out of date");
        EXPECT_NE(rows[2][2].find("the person-years were computed again"), std::string::npos) << rows[2][2];
        EXPECT_NE(mortality::BuildSmrReport(state, project + "_SMR").find("is out of date"), std::string::npos);
        const auto forest = mortality::ReadForestRows(state);
        ASSERT_EQ(forest.size(), 1u);
        EXPECT_TRUE(forest[0].outOfDate) << step.what;
        EXPECT_EQ(forest[0].expected, 21);
    }

    // A project without a record (made by the earlier program) is shown as before.
    open()->deleteTable("VdxProjectRuns");
    EXPECT_FALSE(mortality::BuildStrataTable(state, "Lung").outOfDate);
}

TEST_F(StrataTable, WithNoExpectedDeathsTheTotalsSayTheSmrIsNotDefined) {
    setStrata({0, 100}, {1900, 2100}, {36525});
    addCohort({{D(1930, 1, 1), D(1990, 6, 1), {}, {}, Value::integer(162)}});
    addRateTable("Rates", {{Value::real(0)}});
    ASSERT_TRUE(computeSmr(request("Rates", "162")));
    const auto rows = mortality::StrataRows(mortality::BuildStrataTable(state, "Project1"), 100);
    EXPECT_EQ(rows.back(), (std::vector<std::string>{"Total", "", "100", "1", "", "0", "not defined"}));
}
