#include <gtest/gtest.h>

#include "state/state.h"

using namespace vdx;

TEST(Navigator, FixedNodesAndFullPaths) {
    ProgramState s;
    ResetNavigator(s);
    const auto& tree = s.Navigator;
    ASSERT_EQ(tree.nodes().size(), 4u);
    EXPECT_EQ(tree.fullPath(tree.findByKey("DATA")), "Main_Data");
    EXPECT_EQ(tree.fullPath(tree.findByKey("RATE")), "Main_Rate tables");
    EXPECT_EQ(tree.fullPath(tree.findByKey("PY")), "Main_Person-Years");
    EXPECT_EQ(s.CurrentNode, tree.findByKey("PY"));
}

TEST(Navigator, NodesWithoutKeysAreFoundByPathAndRemovedWithChildren) {
    ProgramState s;
    ResetNavigator(s);
    auto& tree = s.Navigator;
    int rate = tree.findByKey("RATE");
    tree.add(rate, "", "Rates 1990", 3);
    EXPECT_NE(tree.findByPath("Main_Rate tables_Rates 1990"), -1);

    int project = tree.add(-1, "P1", "P1", 1);
    tree.add(project, "", "Deaths", 3);
    tree.add(project, "", "SMR", 3);
    EXPECT_NE(tree.findByPath("P1_SMR"), -1);
    auto before = tree.revision();
    EXPECT_TRUE(tree.remove(project));
    EXPECT_GT(tree.revision(), before);
    EXPECT_EQ(tree.findByPath("P1_Deaths"), -1);
    EXPECT_EQ(tree.nodes().size(), 5u);
    EXPECT_FALSE(tree.remove(project));
}

TEST(ProgramStateReset, ClearsProjectButKeepsChangedFlagAndConstants) {
    ProgramState s;
    s.ProjectOpen = true;
    s.ProjectChanged = true;
    s.ProjectUpgraded = true;
    s.ProjectFileName = "/x/study.vdx";
    s.MainTableName = "Cohort";
    s.RateTableCount = 2;
    s.py.birthColumn = "dob";
    s.py.computed = true;
    s.AgeBounds = {0, 20, 25};
    s.PyValues.resize(1, 1, 1);
    s.CurrentSMRTable = "P1_SMR";
    s.SmrNullValue = 1;
    ResetNavigator(s);
    EXPECT_FALSE(s.ProjectOpen);
    EXPECT_TRUE(s.ProjectChanged);
    EXPECT_FALSE(s.ProjectUpgraded);
    EXPECT_EQ(s.ProjectFileName, "");
    EXPECT_EQ(s.MainTableName, "");
    EXPECT_EQ(s.RateTableCount, 0);
    EXPECT_EQ(s.py, PySettings{});
    EXPECT_EQ(s.AgeBounds.size(), 1u);
    EXPECT_EQ(s.PyValues.tables(), 0);
    EXPECT_EQ(s.CurrentSMRTable, "P1_SMR");
    EXPECT_EQ(s.SmrNullValue, 1);
    EXPECT_EQ(s.FormatVersion, "3.0");
    EXPECT_EQ(s.ProgramVersion, "1.41");
}

TEST(ProgramStateHelpers, WorkingCopyAndPyTableNames) {
    EXPECT_EQ(WorkingCopyPath("/data/study.vdx"), "/data/study.vd~");
    EXPECT_EQ(WorkingCopyPath(""), "");
    PySettings py;
    py.sexCode1 = 1;
    py.sexCode2 = 2;
    EXPECT_EQ(PyTableName(py, 1), "Age*Calendar");
    EXPECT_EQ(PyTableName(py, 3), "Age*Calendar*Sex=2");
}

TEST(ProgramStateHelpers, ViewSwitchSetsCurrentGrid) {
    ProgramState s;
    ShowView(s, ViewName::ResultRTF);
    EXPECT_EQ(s.CurrentGrid, GridName::ResultGrid);
    ShowView(s, ViewName::Empty);
    EXPECT_EQ(s.CurrentGrid, GridName::None);
}
