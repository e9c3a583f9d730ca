// Project > Rename and Delete on stored projects, and SRR projects: what is
// refused leaves the working copy byte for byte as it was, what succeeds
// moves the row, the ProjectName row and both tables together; an SRR
// project counts deaths as an SMR project does and stores its settings.
#include "mortality_test_support.h"

#include <algorithm>

#include "db/navigator_commands.h"
#include "db/project_management.h"
#include "mortality/srr_run.h"
#include "state/messages.h"

using namespace vdx;
using vdx::test::D;

namespace {

class Projects : public vdx::test::MortalityTest {
protected:
    // Two SMR projects, Project1 and Project2, over a small cohort.
    void twoProjects() {
        setStrata({0, 100}, {1900, 2100}, {23376});
        addCohort({{D(1930, 1, 1), D(1980, 6, 1), {}, {}, Value::integer(162)},
                   {D(1930, 1, 1), D(2000, 1, 1), {}, {}, Value::integer(0)}});
        addRateTable("Rates", {{Value::real(0.125)}});
        ASSERT_TRUE(computeSmr(request("Rates", "162")));
        ASSERT_TRUE(computeSmr(request("Rates", "162")));
        ui.messages.clear();
        state.ProjectChanged = false;
    }
    std::vector<std::string> tables() {
        std::vector<std::string> out;
        for (const auto& t : open()->tableDefs())
            if (!t.isSystemTable() && t.name.rfind("Vdx", 0) != 0) out.push_back(t.name);
        std::sort(out.begin(), out.end());
        return out;
    }
};

}  // namespace

TEST_F(Projects, RenameRefusesTakenAndBadNamesSayingWhyAndChangesNothing) {
    twoProjects();
    test::CreateTable(*open(), "Kept_SMR", "Typ TEXT");
    struct Case {
        std::optional<std::string> answer;
        std::string message;  // the start of the one message; none for ""
        std::string said = {};
    } cases[] = {
        {"Project1", Message(35)},  // its own name
        {"Project2", Message(35)},
        {"project2", Message(35), "differ only in letter case are the same name to the tables: 'project2' is the "
                                  "project 'Project2'"},
        {"1x", Message(22)},
        {" x", Message(22)},
        {"a.b", "The project name 'a.b' cannot be used", "the table 'a.b_Deaths' has a name with the character '.'"},
        {std::string(300, 'x'), "The project name is too long", "it has 300 characters, and a project name has at "
                                                                "most 57"},
        {std::string(58, 'x'), "The project name is too long", "it has 58 characters"},
        {"kept", "The project file holds a table 'Kept_SMR' already", "no project can be named 'kept'"},
        {"", ""},
        {std::nullopt, ""},  // Cancel
    };
    const std::string before = vdx::test::ReadBytes(state.WorkingCopyName);
    for (const auto& c : cases) {
        const std::string answer = c.answer.value_or("(cancel)").substr(0, 20);
        ui.messages.clear();
        ui.inputs.push_back(c.answer);
        EXPECT_FALSE(db::RenameProject(state, ui, "Project1")) << answer;
        if (c.message.empty()) {
            EXPECT_TRUE(ui.messages.empty()) << answer;
        } else {
            ASSERT_EQ(ui.messages.size(), 1u) << answer;
            EXPECT_EQ(ui.messages[0].text.rfind(c.message, 0), 0u) << ui.messages[0].text;
            EXPECT_NE(ui.messages[0].text.find(c.said), std::string::npos) << ui.messages[0].text;
            EXPECT_EQ(ui.messages[0].text.find("Number:"), std::string::npos) << ui.messages[0].text;
        }
        EXPECT_EQ(vdx::test::ReadBytes(state.WorkingCopyName), before) << answer;
    }
    EXPECT_FALSE(state.ProjectChanged);
    // The longest name the tables take is a rename.
    ui.inputs.push_back(std::string(57, 'x'));
    EXPECT_TRUE(db::RenameProject(state, ui, "Project1")) << ::testing::PrintToString(ui.messageTexts());
    ui.messages.clear();
    // Not a project's entry: nothing is asked.
    EXPECT_FALSE(db::RenameProject(state, ui, "Project1_SMR"));
    EXPECT_FALSE(db::DeleteProject(state, ui, "project2"));  // letter case counts
    EXPECT_EQ(ui.inputs.size(), 0u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Projects, RenameToA1MovesRowSettingsAndTablesAndAsksToSaveAtExit) {
    twoProjects();
    ui.inputs.push_back("a1");
    ASSERT_TRUE(db::RenameProject(state, ui, "Project1")) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(column("VdxSystemProjects", "Projects"), (std::vector<std::string>{"a1", "Project2"}));
    EXPECT_EQ(column("a1_SMR", "Values")[0], "a1");
    EXPECT_EQ(column("a1_Deaths", "Deaths"), std::vector<std::string>{"1"});
    EXPECT_EQ(tables(), (std::vector<std::string>{"Cohort", "Project2_Deaths", "Project2_SMR", "Rates", "a1_Deaths",
                                                  "a1_SMR"}));
    EXPECT_GE(state.Navigator.findByPath("a1_SMR"), 0);
    EXPECT_LT(state.Navigator.findByPath("Project1"), 0);
    // The rename reaches the project file with Save: Exit asks first.
    ui.answers.push_back(Answer::Cancel);
    EXPECT_FALSE(db::FileExit(state, ui));
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{Message(19)});
}

TEST_F(Projects, ItsOwnNameInOtherLettersIsARename) {
    twoProjects();
    ui.inputs.push_back("PROJECT1");
    EXPECT_TRUE(db::RenameProject(state, ui, "Project1")) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(column("PROJECT1_SMR", "Values")[0], "PROJECT1");
    EXPECT_EQ(column("VdxSystemProjects", "Projects"), (std::vector<std::string>{"PROJECT1", "Project2"}));
}

TEST_F(Projects, DeleteAsksRemovesWhatExistsAndSavesTheCount) {
    twoProjects();
    const std::string before = vdx::test::ReadBytes(state.WorkingCopyName);
    ui.answers.push_back(Answer::No);
    EXPECT_FALSE(db::DeleteProject(state, ui, "Project2"));
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Do you really want to delete Project2?"});
    EXPECT_EQ(ui.messages[0].buttons, Buttons::YesNo);
    EXPECT_EQ(vdx::test::ReadBytes(state.WorkingCopyName), before);
    EXPECT_EQ(state.ProjectCount, 2);

    // A missing deaths table goes without a message.
    open()->deleteTable("Project2_Deaths");
    ui.messages.clear();
    ASSERT_TRUE(db::DeleteProject(state, ui, "Project2"));
    ASSERT_TRUE(db::DeleteProject(state, ui, "Project1"));
    EXPECT_EQ(ui.messages.size(), 2u);  // the two questions
    EXPECT_EQ(state.ProjectCount, 0);
    EXPECT_TRUE(column("VdxSystemProjects", "Projects").empty());
    EXPECT_EQ(tables(), (std::vector<std::string>{"Cohort", "Rates"}));
    EXPECT_TRUE(state.ProjectChanged);
    EXPECT_LT(state.Navigator.findByPath("Project1"), 0);
    EXPECT_LT(state.Navigator.findByPath("Project2"), 0);

    ASSERT_TRUE(db::FileSave(state, ui));
    auto saved = db::Database::open(state.ProjectFileName);
    auto main = saved->openRecordset(db::kVdxSystemMain);
    main->moveFirst();
    main->move(3);
    EXPECT_EQ(main->value("Typ").asText(), "intProjectAnzahl");
    EXPECT_EQ(main->value("Value").asText(), "0");
}

TEST_F(Projects, AnSrrProjectCountsAsTheSmrRunAndStoresItsSettings) {
    defineSex(1, 2);
    state.py.withLag = state.py.lagDefined = true;
    state.py.lagYears = 5;
    setStrata({0, 50, 100}, {1900, 1970, 2100}, std::vector<int64_t>(12, 3650));
    addCohort({{D(1930, 1, 1), D(1960, 6, 1), Value::integer(1), D(1950, 1, 1), Value::integer(162)},
               {D(1930, 1, 1), D(1990, 6, 1), Value::integer(1), D(1950, 1, 1), Value::integer(162)},
               {D(1930, 1, 1), D(1990, 6, 1), Value::integer(1), D(1988, 1, 1), Value::integer(162)},  // lagged out
               {D(1930, 1, 1), D(1990, 6, 1), Value::integer(2), D(1950, 1, 1), Value::integer(162)}});
    addRateTable("Rates", {{Value::real(0.1), Value::real(0.1)}, {Value::real(0.1), Value::real(0.1)}});
    auto r = request("Rates", "162");
    r.pyTable = "Age*Calendar*Sex=1";
    ASSERT_TRUE(computeSmr(r));
    r.method.clear();
    r.projectName = *mortality::BeginSmrProject(state, ui);
    ASSERT_TRUE(mortality::CheckSmrRequest(state, ui, r).ok);
    ASSERT_TRUE(mortality::RunSrr(state, ui, r)) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_GT(state.mortality.IncludedCount, 0);

    EXPECT_EQ(column("Project2_Deaths", "Deaths"), column("Project1_Deaths", "Deaths"));
    EXPECT_EQ(column("Project2_Deaths", "Deaths"), (std::vector<std::string>{"1", "0", "0", "1"}));
    EXPECT_EQ(open()->tableDef("Project2_SMR").fields.size(), 2u);  // Typ and Values
    const auto values = column("Project2_SMR", "Values");
    EXPECT_EQ(values, (std::vector<std::string>{"Project2", "Rates", "2", "0.05", "ICD", "162", "0", "0", "0", "0",
                                                "0", "0", "0", "0", "0", "5"}));
    EXPECT_EQ(column("VdxSystemProjects", "Projects"), (std::vector<std::string>{"Project1", "Project2"}));
    EXPECT_EQ(state.ProjectCount, 2);

    // Its SMR entry shows the settings under readable captions, not a
    // report, and not the stored keys or the result rows an SRR leaves at 0.
    const auto click = db::ClickNode(state, ui, "Project2_SMR", false);
    EXPECT_EQ(click.kind, db::NodeKind::SrrSettings);
    EXPECT_EQ(state.CurrentView, ViewName::ResultGrid);
    ASSERT_TRUE(click.resultGrid);
    EXPECT_EQ(click.resultGrid->rows, 8);
    EXPECT_EQ(click.resultGrid->at(3, 0), "Person-years table");
    EXPECT_EQ(click.resultGrid->at(3, 1), PyTableName(state.py, 2));
    for (int r = 0; r < click.resultGrid->rows; ++r)
        for (const char* key : {"Typ", "PyTable", "varDTH", "varTod", "totTote", "totDthRate", "Smr_l", "NInc"})
            EXPECT_NE(click.resultGrid->at(r, 0), key) << r;
    EXPECT_EQ(db::ClickNode(state, ui, "Project1_SMR", false).kind, db::NodeKind::Smr);
}
