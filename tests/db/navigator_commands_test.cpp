// The navigator without widgets: the tree a rebuild makes, and what a click
// on each kind of node shows and switches.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "sample_project.h"
#include "test_sql.h"
#include "state/scripted_interaction.h"

namespace vdx::db {
namespace {

namespace fs = std::filesystem;

// ---- Person-years grid --------------------------------------------------------

TEST(ShowPersonYears, FourByThreeGridWithLabelsAndYears) {
    ProgramState state;
    test::SetSamplePersonYears(state);
    const ResultGridText g = ShowPersonYears(state, 1);
    ASSERT_EQ(g.rows, 4);
    ASSERT_EQ(g.cols, 3);
    EXPECT_EQ(g.at(0, 0), "Age class");
    EXPECT_EQ(g.at(1, 0), "20\u201339");
    EXPECT_EQ(g.at(2, 0), "40\u201359");
    EXPECT_EQ(g.at(3, 0), "60\u201379");
    EXPECT_EQ(g.at(0, 1), "1970\u20131979");
    EXPECT_EQ(g.at(0, 2), "1980\u20131989");
    EXPECT_EQ(g.at(1, 1), "0");     // 0 days
    EXPECT_EQ(g.at(1, 2), "2.00");  // 730 days = 1.9986 years
    EXPECT_EQ(g.at(3, 2), "3.61");  // 1000 + 300 + 20 = 1320 days
    EXPECT_EQ(state.CurrentView, ViewName::ResultGrid);
    EXPECT_EQ(state.CurrentGrid, GridName::ResultGrid);
}

TEST(ShowPersonYears, ModeChoosesTheTable) {
    ProgramState state;
    test::SetSamplePersonYears(state);
    // Cell (t, 2, 1) holds 1000 t + 210 days.
    EXPECT_EQ(ShowPersonYears(state, 2).at(2, 1), FormatYears(2210 / 365.25));
    EXPECT_EQ(ShowPersonYears(state, 3).at(2, 1), FormatYears(3210 / 365.25));
    EXPECT_EQ(FormatYears(2210 / 365.25), "6.05");
}

TEST(ShowPersonYears, CellsBeyondTheComputedTablesStayEmpty) {
    ProgramState state;
    test::SetSamplePersonYears(state);
    state.PyValues.resize(1, 3, 2);  // a run without sex: table 1 only
    const ResultGridText g = ShowPersonYears(state, 2);
    EXPECT_EQ(g.at(1, 1), "");
    EXPECT_EQ(g.at(0, 1), "1970\u20131979");
}

TEST(ShowPersonYears, NoBoundsGiveTheLabelCellOnly) {
    ProgramState state;
    const ResultGridText g = ShowPersonYears(state, 1);
    EXPECT_EQ(g.rows, 1);
    EXPECT_EQ(g.cols, 1);
    EXPECT_EQ(g.at(0, 0), "Age class");
}

TEST(FormatYears, TwoDecimalsAndZeroAsZero) {
    EXPECT_EQ(FormatYears(0), "0");
    EXPECT_EQ(FormatYears(1.0 / 365.25), "0.00");  // not zero: two decimals
    EXPECT_EQ(FormatYears(12.345), "12.35");
    EXPECT_EQ(FormatYears(-1.5), "-1.50");
}

// A figure shows rounded to its column's decimals; the rest as stored.
TEST(ShownCellText, FiguresOfAColumnWithDecimalsRoundToThem) {
    ResultGridText g;
    g.rows = 2;
    g.cols = 4;
    g.cells = {"Stratum", "2.19e-05", "Rate", "PY", "Total", "", "0.000178422997946612", "1234.5678"};
    g.decimals = {8, 8, 8};  // no entry for column 3
    const struct {
        int row, col;
        const char* shown;
    } cases[] = {
        {0, 1, "2.19e-05"},    // the header row as it is
        {1, 0, "Total"},       // the header column too
        {1, 1, ""},            // an empty cell stays empty
        {1, 2, "0.00017842"},  // rounded to eight decimals
        {1, 3, "1234.5678"},   // a column without decimals
    };
    for (const auto& c : cases) EXPECT_EQ(ShownCellText(g, c.row, c.col), c.shown) << c.row << "," << c.col;
    g.cells[5] = "not defined";
    EXPECT_EQ(ShownCellText(g, 1, 1), "not defined");  // text is no figure
    g.cells[5] = "2.19e-05";
    EXPECT_EQ(ShownCellText(g, 1, 1), "0.00002190");
}

// The person-years bring the plots; the projects stay together before them.
TEST(NavigatorEntries, PlotsComeWithThePersonYearsAndAfterTheProjects) {
    ProgramState state;
    AddFixedNavigatorNodes(state);
    AddProjectEntry(state, "Project1");
    EXPECT_LT(state.Navigator.findByKey(kPlotsKey), 0);
    test::SetSamplePersonYears(state);
    AddPersonYearsEntries(state);
    AddProjectEntry(state, "Project2");
    std::vector<std::string> topLevel;
    for (const auto& n : state.Navigator.nodes())
        if (n.parent < 0) topLevel.push_back(n.text);
    EXPECT_EQ(topLevel, (std::vector<std::string>{"Main", "Project1", "Project2", "Plots"}));
    EXPECT_GE(state.Navigator.findByPath("Project2_SMR"), 0);
    EXPECT_EQ(state.Navigator.fullPath(state.CurrentNode), "Project2_SMR");  // the new report
}

// ---- Entries ------------------------------------------------------------------

TEST(EntriesAfterClick, TableOfTheNodeKinds) {
    const ViewEntries off;
    ViewEntries on;
    on.tablesSaveAs = on.tablesCopy = on.reportsSaveAs = on.reportsPrint = true;
    on.buttonCopy = on.buttonPrint = true;

    const ViewEntries rate = EntriesAfterClick(NodeKind::RateTable, on);
    EXPECT_EQ(rate, (ViewEntries{false, true, false, false, true, false}));
    EXPECT_EQ(EntriesAfterClick(NodeKind::MainTable, on), rate);
    const ViewEntries result = EntriesAfterClick(NodeKind::Deaths, off);
    EXPECT_EQ(result, (ViewEntries{true, true, false, false, true, false}));
    EXPECT_EQ(EntriesAfterClick(NodeKind::PersonYears, off), result);
    EXPECT_EQ(EntriesAfterClick(NodeKind::Other, on), off);
    // An SMR result leaves Tables > Copy and the Copy button as they were.
    EXPECT_EQ(EntriesAfterClick(NodeKind::Smr, off), (ViewEntries{true, false, true, true, false, true}));
    EXPECT_EQ(EntriesAfterClick(NodeKind::Smr, on), (ViewEntries{true, true, true, true, true, true}));
}

// ---- A project file --------------------------------------------------------------

class NavigatorWithProject : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vdx_nav_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        ASSERT_TRUE(test::CreateSampleProject(state, ui, (dir / "study.vdx").string()));
    }
    void TearDown() override {
        ReleaseWorkingCopy(state);
        fs::remove_all(dir);
    }
    std::vector<std::string> paths() const {
        std::vector<std::string> out;
        for (const auto& n : state.Navigator.nodes()) out.push_back(state.Navigator.fullPath(n.id));
        return out;
    }

    fs::path dir;
    ProgramState state;
    ScriptedInteraction ui;
};

TEST_F(NavigatorWithProject, RebuildListsEveryTableOfTheProject) {
    RebuildNavigator(state, ui);
    const std::vector<std::string> expected = {
        "Main", "Main_Data", "Main_Rate tables", "Main_Person-Years",
        "Main_Data_Cohort", "Main_Rate tables_Rates 1990",
        "P1", "P1_Deaths", "P1_SMR", "P1_Strata", "P1_Observed vs expected",
        "Main_Person-Years_Age*Calendar", "Main_Person-Years_Age*Calendar*Sex=1",
        "Main_Person-Years_Age*Calendar*Sex=2", "Plots", "Plots_Forest plot", "Plots_Person-years"};
    EXPECT_EQ(paths(), expected);
    // Projects are top-level nodes; the rebuilt rate table has no key.
    EXPECT_EQ(state.Navigator.node(state.Navigator.findByPath("P1"))->parent, -1);
    EXPECT_EQ(state.Navigator.node(state.Navigator.findByPath("Main_Rate tables_Rates 1990"))->key, "");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.busyDepth, 0);
}

TEST_F(NavigatorWithProject, RebuildReadsOnlyAsManyRowsAsTheCountsSay) {
    {
        auto wc = Database::open(state.WorkingCopyName);
        auto rs = wc->openRecordset(kVdxSystemRateTables);
        rs->addNew();
        rs->setValue(0, Value::text("Old rates"));
        rs->update();
    }
    state.py.tableCount = 1;
    RebuildNavigator(state, ui);
    const auto p = paths();
    EXPECT_EQ(std::count(p.begin(), p.end(), "Main_Rate tables_Old rates"), 0);
    EXPECT_EQ(std::count(p.begin(), p.end(), "Main_Person-Years_Age*Calendar"), 1);
    EXPECT_EQ(std::count(p.begin(), p.end(), "Main_Person-Years_Age*Calendar*Sex=1"), 0);
    // A click on the row beyond the count shows nothing.
    ClickNode(state, ui, "Main_Rate tables_Old rates", false);
    EXPECT_EQ(state.CurrentView, ViewName::Empty);
}

TEST_F(NavigatorWithProject, RateTableShowsInInternalGridWhetherItsNodeHasAKeyOrNot) {
    AddRateTableEntry(state, test::kRateTable, true);
    const int keyed = state.Navigator.findByKey("Main_Rate tables_Rates 1990");
    ASSERT_NE(keyed, -1);
    const NodeClickAction a = ClickNode(state, ui, state.Navigator.fullPath(keyed), false);
    EXPECT_EQ(a.kind, NodeKind::RateTable);
    EXPECT_EQ(a.tableName, "Rates 1990");
    EXPECT_EQ(state.CurrentView, ViewName::InternalGrid);
    EXPECT_EQ(state.CurrentGrid, GridName::InternalGrid);
    EXPECT_EQ(state.Entries, EntriesAfterClick(NodeKind::RateTable, {}));

    ShowView(state, ViewName::Empty);
    RebuildNavigator(state, ui);  // now without a key
    const int rebuilt = state.Navigator.findByPath("Main_Rate tables_Rates 1990");
    ASSERT_NE(rebuilt, -1);
    EXPECT_EQ(ClickNode(state, ui, state.Navigator.fullPath(rebuilt), false).tableName, "Rates 1990");
    EXPECT_EQ(state.CurrentView, ViewName::InternalGrid);
}

TEST_F(NavigatorWithProject, ProjectNodeRightClickAsksForItsMenuLeftClickShowsNothing) {
    ClickNode(state, ui, "Main_Data_Cohort", false);
    const NodeClickAction right = ClickNode(state, ui, "P1", true);
    EXPECT_TRUE(right.showProjectMenu);
    EXPECT_EQ(right.project, "P1");
    EXPECT_EQ(state.CurrentView, ViewName::MainGrid);  // the view stays

    const NodeClickAction left = ClickNode(state, ui, "P1", false);
    EXPECT_FALSE(left.showProjectMenu);
    EXPECT_EQ(state.CurrentView, ViewName::Empty);
    EXPECT_EQ(state.Entries, ViewEntries{});
}

TEST_F(NavigatorWithProject, DeathsTableFillsTheResultGridAgeClassOuter) {
    const NodeClickAction a = ClickNode(state, ui, "P1_Deaths", false);
    EXPECT_EQ(a.kind, NodeKind::Deaths);
    ASSERT_TRUE(a.resultGrid.has_value());
    const ResultGridText& g = *a.resultGrid;
    ASSERT_EQ(g.rows, 4);
    ASSERT_EQ(g.cols, 3);
    EXPECT_EQ(g.at(0, 0), "Age class");
    EXPECT_EQ(g.at(1, 0), "20\u201339");
    EXPECT_EQ(g.at(0, 2), "1980\u20131989");
    EXPECT_EQ(g.at(1, 1), "1");
    EXPECT_EQ(g.at(1, 2), "2");
    EXPECT_EQ(g.at(2, 1), "3");
    EXPECT_EQ(g.at(3, 2), "6");
    EXPECT_EQ(state.CurrentResult, "Deaths");
    EXPECT_EQ(state.CurrentView, ViewName::ResultGrid);
    EXPECT_EQ(state.Entries, EntriesAfterClick(NodeKind::Deaths, {}));
}

TEST_F(NavigatorWithProject, ShortDeathsTableLeavesTheLastCellsEmpty) {
    {
        auto wc = Database::open(state.WorkingCopyName);
        test::Sql(*wc, "DELETE FROM P1_Deaths WHERE Deaths > 4");
    }
    const NodeClickAction a = ClickNode(state, ui, "P1_Deaths", false);
    ASSERT_TRUE(a.resultGrid.has_value());
    EXPECT_EQ(a.resultGrid->at(2, 2), "4");
    EXPECT_EQ(a.resultGrid->at(3, 1), "");
    EXPECT_EQ(a.resultGrid->at(3, 2), "");
}

TEST_F(NavigatorWithProject, SmrNodeShowsTheReportViewKeepingTheResultGrid) {
    ClickNode(state, ui, "Main", false);  // everything off
    const NodeClickAction a = ClickNode(state, ui, "P1_SMR", false);
    EXPECT_EQ(a.kind, NodeKind::Smr);
    EXPECT_EQ(state.CurrentSMRTable, "P1_SMR");
    EXPECT_EQ(state.CurrentResult, "Smr");
    EXPECT_EQ(state.CurrentView, ViewName::ResultRTF);
    EXPECT_EQ(state.CurrentGrid, GridName::ResultGrid);
    EXPECT_EQ(state.Entries, (ViewEntries{true, false, true, true, false, true}));
}

TEST_F(NavigatorWithProject, MainTableShowsInMainGrid) {
    const NodeClickAction a = ClickNode(state, ui, "Main_Data_Cohort", false);
    EXPECT_EQ(a.kind, NodeKind::MainTable);
    EXPECT_EQ(state.CurrentView, ViewName::MainGrid);
    EXPECT_EQ(state.CurrentGrid, GridName::MainGrid);
    EXPECT_EQ(state.Entries, EntriesAfterClick(NodeKind::MainTable, {}));
}

TEST_F(NavigatorWithProject, PersonYearsNodesShowTheirTable) {
    const NodeClickAction all = ClickNode(state, ui, "Main_Person-Years_Age*Calendar", false);
    ASSERT_TRUE(all.resultGrid.has_value());
    EXPECT_EQ(all.resultGrid->at(1, 2), "2.00");
    EXPECT_EQ(state.CurrentResult, "PersonYears");
    EXPECT_EQ(state.Entries, EntriesAfterClick(NodeKind::PersonYears, {}));

    const NodeClickAction sex2 = ClickNode(state, ui, "Main_Person-Years_Age*Calendar*Sex=2", false);
    ASSERT_TRUE(sex2.resultGrid.has_value());
    EXPECT_EQ(sex2.resultGrid->at(1, 1), FormatYears(3110 / 365.25));
    const NodeClickAction sex1 = ClickNode(state, ui, "Main_Person-Years_Age*Calendar*Sex=1", false);
    ASSERT_TRUE(sex1.resultGrid.has_value());
    EXPECT_EQ(sex1.resultGrid->at(1, 1), FormatYears(2110 / 365.25));
}

TEST_F(NavigatorWithProject, GroupsAndRootShowTheEmptyViewWithEverythingOff) {
    for (const char* path : {"Main", "Main_Data", "Main_Rate tables", "Main_Person-Years", "Nowhere"}) {
        ClickNode(state, ui, "Main_Person-Years_Age*Calendar", false);
        ASSERT_NE(state.Entries, ViewEntries{});
        const NodeClickAction a = ClickNode(state, ui, path, false);
        EXPECT_EQ(a.kind, NodeKind::Other) << path;
        EXPECT_EQ(state.CurrentView, ViewName::Empty) << path;
        EXPECT_EQ(state.CurrentGrid, GridName::None) << path;
        EXPECT_EQ(state.Entries, ViewEntries{}) << path;
    }
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.busyDepth, 0);
}

TEST_F(NavigatorWithProject, UnreadableWorkingCopyShowsTheErrorAndTheEmptyView) {
    ClickNode(state, ui, "Main_Data_Cohort", false);
    fs::remove(state.WorkingCopyName);
    const NodeClickAction a = ClickNode(state, ui, "Main_Rate tables_Rates 1990", false);
    EXPECT_EQ(a.kind, NodeKind::Other);
    EXPECT_EQ(state.CurrentView, ViewName::Empty);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Error");
    EXPECT_EQ(ui.messages[0].text.rfind("Following error has occured:", 0), 0u);
    EXPECT_EQ(ui.busyDepth, 0);
}

}  // namespace
}  // namespace vdx::db
