// Tables > Main table / Rate table > Remove over the sample study: the
// question, the refusal of a rate table that a project uses, and the table,
// its registration, the counts and the tree changing together or not at all.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "db/remove_table.h"
#include "sample_project.h"
#include "test_sql.h"
#include "state/scripted_interaction.h"

namespace vdx::db {
namespace {

class RemoveTable : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("vdx_remove_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        ASSERT_TRUE(test::CreateSampleProject(state, ui, (dir_ / "study.vdx").string()));
        // A second and a third rate table; the project P1 uses the first.
        auto wc = Database::open(state.WorkingCopyName);
        for (const char* name : {"Rates 2000", "Rates 2010"}) {
            test::CreateTable(*wc, name, "Age INTEGER, Rate DOUBLE");
            test::Sql(*wc, std::string("INSERT INTO VdxSystemRateTables (RateTables) VALUES ('") + name + "');");
        }
        state.RateTableCount = 3;
        test::Sql(*wc, "INSERT INTO P1_SMR (Typ, [Values]) VALUES ('ProjectName', 'P1');");
        test::Sql(*wc, std::string("INSERT INTO P1_SMR (Typ, [Values]) VALUES ('RateTable', '") + test::kRateTable +
                    "');");
        wc.reset();
        ASSERT_TRUE(FileSave(state, ui));
        RebuildNavigator(state, ui);
        ui.messages.clear();
    }
    void TearDown() override {
        ReleaseWorkingCopy(state);
        std::filesystem::remove_all(dir_);
    }
    bool inTree(const std::string& path) const { return state.Navigator.findByPath(path) >= 0; }
    std::vector<std::string> registered() {
        return ReadNameList(state.WorkingCopyName, kVdxSystemRateTables, "RateTables", 10);
    }
    std::string systemMain(int row) {
        auto wc = Database::open(state.WorkingCopyName);
        return ReadRows(*wc, kVdxSystemMain, "Value", row).back();
    }
    bool tableExists(const std::string& name) { return Database::open(state.WorkingCopyName)->tableExists(name); }

    std::filesystem::path dir_;
    ProgramState state;
    ScriptedInteraction ui;
};

TEST_F(RemoveTable, TheMainTableGoesWithItsRegistrationAndEntryAfterYes) {
    ui.answers = {Answer::No};
    EXPECT_FALSE(RemoveMainTable(state, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, RemoveMainTableQuestion("Cohort"));
    EXPECT_EQ(ui.messages[0].buttons, Buttons::YesNo);
    EXPECT_TRUE(tableExists("Cohort"));
    EXPECT_FALSE(state.ProjectChanged);

    ui.answers = {Answer::Yes};
    ASSERT_TRUE(RemoveMainTable(state, ui));
    EXPECT_FALSE(tableExists("Cohort"));
    EXPECT_EQ(systemMain(2), "");
    EXPECT_EQ(state.MainTableName, "");
    EXPECT_TRUE(state.MainTableFields.empty());
    EXPECT_FALSE(inTree("Main_Data_Cohort"));
    EXPECT_TRUE(state.ProjectChanged);
}

TEST_F(RemoveTable, ARateTableAProjectUsesIsRefusedNamingTheProject) {
    EXPECT_FALSE(RemoveRateTable(state, ui, test::kRateTable));
    ASSERT_EQ(ui.messages.size(), 1u);  // no question first
    EXPECT_NE(ui.messages[0].text.find("'P1'"), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_TRUE(tableExists(test::kRateTable));
    EXPECT_EQ(registered(), (std::vector<std::string>{"Rates 1990", "Rates 2000", "Rates 2010"}));
    EXPECT_FALSE(state.ProjectChanged);
}

TEST_F(RemoveTable, ARateTableGoesFromTheListCountAndTree) {
    ASSERT_TRUE(RemoveRateTable(state, ui, "Rates 2000"));
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{RemoveRateTableQuestion("Rates 2000")});
    EXPECT_FALSE(tableExists("Rates 2000"));
    EXPECT_EQ(registered(), (std::vector<std::string>{"Rates 1990", "Rates 2010"}));
    EXPECT_EQ(systemMain(3), "2");
    EXPECT_EQ(state.RateTableCount, 2);
    EXPECT_FALSE(inTree("Main_Rate tables_Rates 2000"));
    EXPECT_TRUE(inTree("Main_Rate tables_Rates 2010"));
    EXPECT_FALSE(RemoveRateTable(state, ui, "Rates 2000"));  // no longer there
    EXPECT_NE(ui.messages.back().text.find("no rate table"), std::string::npos);
}

TEST_F(RemoveTable, AFailingStepLeavesTableRegistrationAndTreeAsTheyWere) {
    // A registration that cannot be written: VdxSystemMain has lost its rows.
    test::Sql(*Database::open(state.WorkingCopyName), "DELETE FROM VdxSystemMain;");
    EXPECT_THROW(RemoveRateTable(state, ui, "Rates 2010"), VdxError);
    EXPECT_TRUE(tableExists("Rates 2010"));
    EXPECT_EQ(registered().size(), 3u);
    EXPECT_EQ(state.RateTableCount, 3);
    EXPECT_TRUE(inTree("Main_Rate tables_Rates 2010"));
    EXPECT_THROW(RemoveMainTable(state, ui), VdxError);
    EXPECT_TRUE(tableExists("Cohort"));
    EXPECT_EQ(state.MainTableName, "Cohort");
    EXPECT_EQ(ui.busyDepth, 0);
}

}  // namespace
}  // namespace vdx::db
