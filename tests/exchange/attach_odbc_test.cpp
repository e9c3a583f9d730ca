// Tables > Main table / Rate table > Add > ODBC through unixODBC and the
// SQLite ODBC driver, under a private driver and data-source configuration:
// the data-source chooser, frmSelectExternalODBCTable whose Ok copies the
// table and stays open after a failure, the owner prefix cut from the name.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>

#include "attach_test_support.h"
#include "db/database.h"
#include "exchange/commands/attach_commands.h"
#include "exchange/commands/scripted_attach_dialogs.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

using testing::ColumnTexts;
using testing::DumpDatabase;
using testing::RowCount;
using testing::TempFolder;


class OdbcSource : public ::testing::Environment {
public:
    void SetUp() override {
        folder_ = std::make_unique<TempFolder>();
        database_ = folder_->file("source.sqlite");
        const char* sql =
            "CREATE TABLE cohort (Name VARCHAR(30), Born DATE, Sex SMALLINT, Weight DOUBLE);"
            "INSERT INTO cohort VALUES ('Smith', '1950-02-01', 1, 72.5);"
            "INSERT INTO cohort VALUES ('Jones', '1962-07-15', 2, 60.25);"
            "CREATE TABLE rates (Age INTEGER, Rate DOUBLE);"
            "INSERT INTO rates VALUES (40, 0.0012);"
            "CREATE TABLE \"dbo.Cohort\" (Id INTEGER, Born DATE);"
            "INSERT INTO \"dbo.Cohort\" VALUES (7, '1940-05-01');"
            "CREATE TABLE \"a.b.c\" (Id INTEGER);"
            "INSERT INTO \"a.b.c\" VALUES (1);";
        testing::MakePrivateOdbcSource(*folder_, "vdx_attach", database_, sql);
    }
    void TearDown() override { folder_.reset(); }
    static const std::string& database() { return database_; }

private:
    std::unique_ptr<TempFolder> folder_;
    static inline std::string database_;
};

const auto* const kSource = ::testing::AddGlobalTestEnvironment(new OdbcSource);

class OdbcAttach : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db::CreateProjectFile(state, ui, dir.file("study.vdx")));
        ui.messages.clear();
    }
    void TearDown() override { db::ReleaseWorkingCopy(state); }
    std::string wc() const { return state.WorkingCopyName; }
    std::string dump() const { return DumpDatabase(wc()); }

    TempFolder dir;
    ProgramState state;
    ScriptedInteraction ui;
    ScriptedAttachDialogs dialogs;
};

TEST_F(OdbcAttach, ATableOfAListedDataSourceBecomesTheMainTable) {
    dialogs.dataSources.push_back("");  // Ok on the first listed source
    dialogs.odbcTables.push_back("cohort");
    ASSERT_TRUE(AddMainTableODBC(state, ui, dialogs));
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;
    ASSERT_EQ(dialogs.offeredDataSources.size(), 1u);
    ASSERT_FALSE(dialogs.offeredDataSources[0].empty());
    EXPECT_EQ(dialogs.offeredDataSources[0][0].name, "vdx_attach");
    ASSERT_EQ(dialogs.offeredOdbcTables.size(), 1u);
    EXPECT_EQ(dialogs.offeredOdbcTables[0], (std::vector<std::string>{"cohort", "rates", "dbo.Cohort", "a.b.c"}));

    EXPECT_EQ(state.ExternalConnect, "ODBC;");
    EXPECT_EQ(state.MainTableName, "cohort");
    EXPECT_EQ(ColumnTexts(wc(), "VdxSystemMain", "Value")[1], "cohort");
    EXPECT_EQ(state.Navigator.fullPath(state.CurrentNode), "Main_Data_cohort");
    EXPECT_EQ(ColumnTexts(wc(), "cohort", "Name"), (std::vector<std::string>{"Smith", "Jones"}));
    ASSERT_EQ(state.MainTableFields.size(), 4u);
    EXPECT_EQ(state.MainTableFields[1], (FieldInfo{"Born", "date"}));
    EXPECT_EQ(state.MainTableFields[2], (FieldInfo{"Sex", "numeric"}));
    EXPECT_TRUE(state.ProjectChanged);
}

TEST_F(OdbcAttach, TheOwnerPrefixIsCutFromTheNameButTheChosenTableIsRead) {
    dialogs.dataSources.push_back("DSN=vdx_attach");
    dialogs.odbcTables.push_back("dbo.Cohort");
    ASSERT_TRUE(AddRateTableODBC(state, ui, dialogs));
    EXPECT_EQ(state.ExternalTableName, "Cohort");
    EXPECT_EQ(ColumnTexts(wc(), "VdxSystemRateTables", "RateTables"), std::vector<std::string>{"Cohort"});
    EXPECT_EQ(ColumnTexts(wc(), "VdxSystemMain", "Value")[2], "1");
    EXPECT_EQ(state.Navigator.fullPath(state.CurrentNode), "Main_Rate tables_Cohort");
    EXPECT_EQ(ColumnTexts(wc(), "Cohort", "Id"), std::vector<std::string>{"7"});
}

TEST_F(OdbcAttach, AFailedCopyKeepsTheDialogOpenForAnotherTable) {
    dialogs.dataSources = {"vdx_attach", "vdx_attach"};  // a bare name is a data source name
    dialogs.odbcTables = {"rates"};
    ASSERT_TRUE(AddRateTableODBC(state, ui, dialogs));
    dialogs.odbcTables = {"rates", "a.b.c", "cohort"};
    ASSERT_TRUE(AddRateTableODBC(state, ui, dialogs));
    // "rates" is taken now: another name is asked for (here: cancelled);
    // "a.b.c" becomes "b.c", which the project file cannot hold. Neither
    // closes the dialog.
    EXPECT_EQ(ui.inputPrompts, std::vector<std::string>{"The study holds a table named rates already. Name of the new table:"});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, Icon::Critical);
    EXPECT_EQ(ui.messages[0].title, "Error");
    EXPECT_EQ(ui.messages[0].text.rfind("Following error has occured:\r\nNumber: 3125\r\n", 0), 0u)
        << ui.messages[0].text;
    EXPECT_TRUE(dialogs.odbcTables.empty());
    EXPECT_EQ(dialogs.offeredOdbcTables.size(), 2u);
    EXPECT_EQ(state.RateTableCount, 2);
    EXPECT_EQ(ColumnTexts(wc(), "VdxSystemRateTables", "RateTables"), (std::vector<std::string>{"rates", "cohort"}));
    EXPECT_EQ(RowCount(wc(), "rates"), 1);
}

TEST_F(OdbcAttach, AConnectionStringTypedInFullIsUsedAsItStands) {
    dialogs.dataSources.push_back("DRIVER=VdxSQLite3;DATABASE=" + OdbcSource::database());
    dialogs.odbcTables.push_back("rates");
    ASSERT_TRUE(AddMainTableODBC(state, ui, dialogs));
    EXPECT_EQ(state.MainTableName, "rates");
    EXPECT_EQ(ColumnTexts(wc(), "rates", "Rate"), std::vector<std::string>{"0.0012"});
}

TEST_F(OdbcAttach, CancelledPromptsChangeNothingAndSayNothing) {
    const std::string before = dump();
    dialogs.dataSources.push_back(std::nullopt);
    EXPECT_FALSE(AddMainTableODBC(state, ui, dialogs));
    dialogs.dataSources.push_back("");
    dialogs.odbcTables.push_back(std::nullopt);
    EXPECT_FALSE(AddRateTableODBC(state, ui, dialogs));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(dump(), before);
    EXPECT_EQ(state.MainTableName, "");
    EXPECT_EQ(state.RateTableCount, 0);
    EXPECT_EQ(state.ExternalTableName, "");
    EXPECT_FALSE(state.ProjectChanged);
}

TEST_F(OdbcAttach, ADataSourceThatCannotBeReachedGetsTheGeneralMessage) {
    const std::string before = dump();
    dialogs.dataSources.push_back("DSN=no_such_source");
    EXPECT_FALSE(AddMainTableODBC(state, ui, dialogs));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Following error has occured:\r\nNumber: 3151\r\n", 0), 0u)
        << ui.messages[0].text;
    EXPECT_TRUE(dialogs.offeredOdbcTables.empty());
    EXPECT_EQ(dump(), before);
}

}  // namespace
}  // namespace vdx::exchange
