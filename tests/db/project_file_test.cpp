// The project file: system tables, positional rows, StoreProject,
// LoadProject and the conversions of "1.0" and "2.0" files.
#include "db/file_commands.h"
#include "db/file_io.h"
#include "state/scripted_interaction.h"
#include "state/text_values.h"
#include "test_support.h"

using namespace vdx;
using namespace vdx::db;
using vdx::test::ColumnTexts;
using vdx::test::ReadBytes;
using vdx::test::WriteBytes;

namespace {

class ProjectFileTest : public vdx::test::TempDir {
protected:
    // A fresh project file made as New makes it, with the working copy closed.
    void newProject(const std::string& name = "study.vdx") {
        ASSERT_TRUE(CreateProjectFile(state, ui, path(name))) << messages();
    }
    // Opens a project file into a fresh state.
    bool open(ProgramState& s, ScriptedInteraction& u, const std::string& name) {
        return OpenProjectFile(s, u, path(name));
    }
    std::string messages() const {
        std::string out;
        for (const auto& m : ui.messages) out += m.text + "\n";
        return out;
    }
    std::unique_ptr<Database> workingCopy() { return Database::open(state.WorkingCopyName); }
    void TearDown() override {
        ReleaseWorkingCopy(state);
        TempDir::TearDown();
    }

    ProgramState state;
    ScriptedInteraction ui;
};

PySettings SomeSettings() {
    PySettings py;
    py.computed = true;
    py.tableCount = 3;
    py.birthColumn = "DOB";
    py.entryColumn = "Entry";
    py.exitColumn = "Exit";
    py.sexColumn = "Sex";
    py.ageSelfDefined = true;
    py.ageBoundCount = 5;
    py.ageFrom = 15;
    py.ageTo = 85;
    py.ageStep = -5;
    py.calendarSelfDefined = false;
    py.calendarBoundCount = 4;
    py.calendarFrom = 1950;
    py.calendarTo = 2000;
    py.calendarStep = 5;
    py.bySex = true;
    py.sexDefined = true;
    py.sexCode1 = 1;
    py.sexCode2 = 2;
    py.withLag = true;
    py.lagYears = 10;
    py.lagDefined = false;
    py.hireColumn = "Hire";
    return py;
}

// Person-years state of the 36-cell example: 3 tables, 5 age bounds, 4 calendar bounds.
void FillPersonYears(ProgramState& s) {
    s.py = SomeSettings();
    s.AgeBounds = {0, 20, 30, 40, 50, 60};
    s.CalendarBounds = {0, 1960, 1970, 1980, 1990};
    s.PyValues.resize(3, 4, 3);
    for (int t = 1; t <= 3; ++t)
        for (int a = 1; a <= 4; ++a)
            for (int c = 1; c <= 3; ++c) s.PyValues.at(t, a, c) = 1000 * t + 100 * a + c;
}

}  // namespace

// ---- The file New makes ------------------------------------------------------

TEST_F(ProjectFileTest, NewFileHoldsTheSevenSystemTablesInOrder) {
    newProject();
    auto d = Database::open(path("study.vdx"));
    std::vector<std::string> names;
    for (const auto& def : d->tableDefs()) names.push_back(def.name);
    EXPECT_EQ(names, (std::vector<std::string>{"VdxSystemMain", "VdxSystemPY", "VdxSystemRateTables",
                                               "VdxPyValues", "VdxAgeClassValues", "VdxYearClassValues",
                                               "VdxSystemProjects"}));
    EXPECT_EQ(d->tableDef("VdxSystemMain").fields,
              (std::vector<FieldDef>{{"Typ", FieldType::Text, 255, false}, {"Value", FieldType::Text, 255, true}}));
    EXPECT_EQ(d->tableDef("VdxSystemRateTables").fields,
              (std::vector<FieldDef>{{"RateTables", FieldType::Text, 255, false}}));
    EXPECT_EQ(d->tableDef("VdxSystemProjects").fields[0].allowZeroLength, false);
    EXPECT_EQ(d->tableDef("VdxAgeClassValues").fields[0], (FieldDef{"AgeClass", FieldType::Integer, 0, true}));
    EXPECT_EQ(d->tableDef("VdxPyValues").fields[0], (FieldDef{"PersonYears", FieldType::Long, 0, true}));

    EXPECT_EQ(ColumnTexts(*d, "VdxSystemMain", "Typ"), SystemMainKeys());
    EXPECT_EQ(ColumnTexts(*d, "VdxSystemMain", "Value"),
              (std::vector<std::string>{"3.0", "", "0", "0", kSmrReportHeadingDefault}));
    EXPECT_EQ(ColumnTexts(*d, "VdxSystemPY", "Typ"), SystemPyKeys());
    EXPECT_EQ(ColumnTexts(*d, "VdxSystemPY", "Value"), PySettingTexts(PySettings{}));
    EXPECT_EQ(PySettingTexts(PySettings{})[0], "False");
    for (const char* list : {"VdxSystemRateTables", "VdxSystemProjects", "VdxPyValues", "VdxAgeClassValues",
                             "VdxYearClassValues"})
        EXPECT_EQ(d->openRecordset(list)->recordCount(), 0) << list;
}

// ---- Round trips ---------------------------------------------------------------

TEST_F(ProjectFileTest, EverySystemTableRoundTrips) {
    newProject();
    {
        // What the table commands leave behind: tables registered in the list tables.
        auto d = workingCopy();
        test::CreateTable(*d, "Cohort", "ID LONG, DOB DATE, Sex TEXT(10), Code TEXT(10), Name TEXT(10)");
        auto rs = d->openRecordset("Cohort");
        rs->addNew();
        rs->setValue("ID", Value::integer(7));
        rs->setValue("DOB", Value::date(DayNumber(1931, 4, 2)));
        rs->setValue("Sex", Value::text("1"));
        rs->setValue("Code", Value::text("1955-03-01"));
        rs->update();
        vdx::test::AddTextRow(*d, "VdxSystemRateTables", {{"RateTables", "Rates 1990"}});
        vdx::test::AddTextRow(*d, "VdxSystemRateTables", {{"RateTables", "RATES"}});
        vdx::test::AddTextRow(*d, "VdxSystemProjects", {{"Projects", "P1"}});
    }
    state.MainTableName = "Cohort";
    state.RateTableCount = 2;
    state.ProjectCount = 1;
    FillPersonYears(state);
    ASSERT_TRUE(FileSave(state, ui)) << messages();

    ProgramState loaded;
    ScriptedInteraction ui2;
    ReleaseWorkingCopy(state);
    ASSERT_TRUE(open(loaded, ui2, "study.vdx"));
    EXPECT_EQ(loaded.MainTableName, "Cohort");
    EXPECT_EQ(loaded.RateTableCount, 2);
    EXPECT_EQ(loaded.ProjectCount, 1);
    EXPECT_EQ(loaded.py, SomeSettings());
    EXPECT_EQ(loaded.AgeBounds, state.AgeBounds);
    EXPECT_EQ(loaded.CalendarBounds, state.CalendarBounds);
    EXPECT_EQ(loaded.PyValues, state.PyValues);
    EXPECT_EQ(loaded.MainTableFields,
              (std::vector<FieldInfo>{{"ID", "numeric"}, {"DOB", "date"}, {"Sex", "numeric"},
                                      {"Code", "date"}, {"Name", ""}}));
    const auto& tree = loaded.Navigator;
    EXPECT_NE(tree.findByKey("Main_Data_Cohort"), -1);
    EXPECT_EQ(tree.fullPath(tree.findByKey("Main_Data_Cohort")), "Main_Data_Cohort");
    EXPECT_NE(tree.findByPath("Main_Rate tables_Rates 1990"), -1);
    EXPECT_EQ(tree.findByKey("Main_Rate tables_RATES"), tree.findByPath("Main_Rate tables_RATES"));
    EXPECT_NE(tree.findByPath("P1_Deaths"), -1);
    EXPECT_NE(tree.findByPath("P1_SMR"), -1);
    EXPECT_EQ(tree.fullPath(tree.findByKey(kPySex2Key)), "Main_Person-Years_Age*Calendar*Sex=2");
    EXPECT_NE(tree.findByPath("Main_Person-Years_Age*Calendar"), -1);
    EXPECT_FALSE(loaded.ProjectUpgraded);
    EXPECT_TRUE(loaded.ProjectOpen);
    ReleaseWorkingCopy(loaded);
}

TEST_F(ProjectFileTest, PersonYearsCellsAreStoredInNestingOrder) {
    newProject();
    FillPersonYears(state);
    ASSERT_TRUE(FileSave(state, ui)) << messages();
    auto d = Database::open(path("study.vdx"));
    auto rs = d->openRecordset("VdxPyValues");
    ASSERT_EQ(rs->recordCount(), 36);  // 3 x (5 - 1) x (4 - 1)
    rs->move(12);                       // the 13th row is cell (2, 1, 1)
    EXPECT_EQ(rs->value("PersonYears"), Value::integer(2101));
    std::vector<std::string> expected;
    for (int t = 1; t <= 3; ++t)
        for (int a = 1; a <= 4; ++a)
            for (int c = 1; c <= 3; ++c) expected.push_back(std::to_string(1000 * t + 100 * a + c) + ".000000");
    EXPECT_EQ(ColumnTexts(*d, "VdxPyValues", "PersonYears"), expected);
    EXPECT_EQ(ColumnTexts(*d, "VdxAgeClassValues", "AgeClass"),
              (std::vector<std::string>{"20.000000", "30.000000", "40.000000", "50.000000", "60.000000"}));
    EXPECT_EQ(d->openRecordset("VdxYearClassValues")->recordCount(), 4);
}

TEST_F(ProjectFileTest, WithoutPersonYearsTheValueTablesAreLeftAlone) {
    newProject();
    {
        auto d = workingCopy();
        vdx::test::AddTextRow(*d, "VdxSystemRateTables", {{"RateTables", "R"}});
        test::Sql(*d, "INSERT INTO VdxPyValues (PersonYears) VALUES (99)");
    }
    state.py.computed = false;
    ASSERT_TRUE(FileSave(state, ui));
    auto d = Database::open(path("study.vdx"));
    EXPECT_EQ(ColumnTexts(*d, "VdxPyValues", "PersonYears"), std::vector<std::string>{"99.000000"});
}

// ---- Rows by position ----------------------------------------------------------

TEST_F(ProjectFileTest, OnlyTheCountedListRowsAreShown) {
    newProject();
    {
        auto d = workingCopy();
        for (const char* name : {"R1", "R2", "R3", "R4"})
            vdx::test::AddTextRow(*d, "VdxSystemRateTables", {{"RateTables", name}});
        test::CreateTable(*d, "R1", "X LONG");
    }
    state.RateTableCount = 2;
    ASSERT_TRUE(FileSave(state, ui));
    ReleaseWorkingCopy(state);
    ProgramState loaded;
    ScriptedInteraction ui2;
    ASSERT_TRUE(open(loaded, ui2, "study.vdx"));
    const int group = loaded.Navigator.findByKey(kNodeRateKey);
    std::vector<std::string> shown;
    for (int id : loaded.Navigator.children(group)) shown.push_back(loaded.Navigator.node(id)->text);
    EXPECT_EQ(shown, (std::vector<std::string>{"R1", "R2"}));
    ReleaseWorkingCopy(loaded);
}

TEST_F(ProjectFileTest, KeyValueRowsAreReadByPositionNotByKey) {
    newProject();
    {
        auto d = workingCopy();
        // Keys renamed: readers never look at them.
        test::Sql(*d, "UPDATE VdxSystemPY SET Typ = 'renamed' || rowid");
        test::Sql(*d, "UPDATE VdxSystemMain SET Typ = 'x' || rowid");
        // Booleans in the forms a reader must accept.
        test::Sql(*d, "UPDATE VdxSystemPY SET Value = 'TRUE' WHERE rowid = 7");     // ageSelfDefined
        test::Sql(*d, "UPDATE VdxSystemPY SET Value = '-1' WHERE rowid = 17");      // bySex
        test::Sql(*d, "UPDATE VdxSystemPY SET Value = 'false' WHERE rowid = 21");   // withLag
        test::Sql(*d, "UPDATE VdxSystemPY SET Value = '27' WHERE rowid = 22");      // lagYears
        test::Sql(*d, "UPDATE VdxSystemPY SET Value = 'Hire' WHERE rowid = 24");    // hireColumn
        test::Sql(*d, "UPDATE VdxSystemMain SET Value = '3' WHERE rowid = 4");      // intProjectAnzahl
        for (const char* p : {"A", "B", "C"}) vdx::test::AddTextRow(*d, "VdxSystemProjects", {{"Projects", p}});
    }
    ReplaceFileSafely(state.WorkingCopyName, state.ProjectFileName);
    ReleaseWorkingCopy(state);
    ProgramState loaded;
    ScriptedInteraction ui2;
    ASSERT_TRUE(open(loaded, ui2, "study.vdx"));
    EXPECT_TRUE(loaded.py.ageSelfDefined);
    EXPECT_TRUE(loaded.py.bySex);
    EXPECT_FALSE(loaded.py.withLag);
    EXPECT_EQ(loaded.py.lagYears, 27);
    EXPECT_EQ(loaded.py.hireColumn, "Hire");
    EXPECT_EQ(loaded.ProjectCount, 3);
    EXPECT_NE(loaded.Navigator.findByPath("C_SMR"), -1);
    ReleaseWorkingCopy(loaded);
}

// A stored study damaged in its settings: the open stops with one message, and
// nothing is open.
TEST_F(ProjectFileTest, ADamagedSettingStopsTheOpenWithOneMessage) {
    const struct {
        const char* damage;
        const char* message;  // the message begins with it
    } cases[] = {
        {"UPDATE VdxSystemPY SET Value = 'maybe' WHERE rowid = 1", "Following error has occured:\r\nNumber: 13\r\n"},
        {"DELETE FROM VdxSystemPY WHERE rowid > 20", "Following error has occured:\r\nNumber: 3021\r\n"},
        {"UPDATE VdxSystemMain SET Value = '2.5' WHERE rowid = 1", "This VELDRIX file has not the correct file version!"},
    };
    int number = 0;
    for (const auto& c : cases) {
        const std::string name = "damaged" + std::to_string(++number) + ".vdx";
        newProject(name);
        test::Sql(*workingCopy(), c.damage);
        ReplaceFileSafely(state.WorkingCopyName, state.ProjectFileName);
        ReleaseWorkingCopy(state);
        ProgramState loaded;
        ScriptedInteraction ui2;
        EXPECT_FALSE(open(loaded, ui2, name)) << c.damage;
        ASSERT_EQ(ui2.messages.size(), 1u) << c.damage;
        EXPECT_EQ(ui2.messages[0].text.rfind(c.message, 0), 0u) << ui2.messages[0].text;
        EXPECT_EQ(ui2.messages[0].icon, Icon::Critical);
        EXPECT_EQ(ui2.messages[0].title, "Error");
        EXPECT_FALSE(loaded.ProjectOpen);
        EXPECT_EQ(loaded.ProjectFileName, "");
        EXPECT_EQ(loaded.WorkingCopyName, "");
    }
}

// ---- Versions and files that are no project files ----------------------------

TEST_F(ProjectFileTest, FilesThatAreNoProjectFiles) {
    newProject("real.vdx");
    ReleaseWorkingCopy(state);
    const std::string real = ReadBytes(path("real.vdx"));
    WriteBytes(path("text.vdx"), "Name;DOB\nA;1950-01-01\n");
    WriteBytes(path("empty.vdx"), "");
    WriteBytes(path("truncated.vdx"), real.substr(0, real.size() / 2));
    {
        auto other = Database::create(path("other.vdx"));
        test::CreateTable(*other, "Something", "X LONG");
    }
    for (const char* name : {"text.vdx", "empty.vdx", "truncated.vdx", "other.vdx"}) {
        ProgramState s;
        ScriptedInteraction u;
        EXPECT_FALSE(open(s, u, name)) << name;
        ASSERT_EQ(u.messages.size(), 1u) << name;
        EXPECT_EQ(u.messages[0].text, path(name) + " is not a VELDRIX file!");
        EXPECT_EQ(u.messages[0].icon, Icon::Critical);
        EXPECT_EQ(u.messages[0].title, "Error");
        EXPECT_FALSE(s.ProjectOpen);
    }
    // None of them was touched.
    EXPECT_EQ(ReadBytes(path("empty.vdx")), "");
    EXPECT_EQ(ReadBytes(path("truncated.vdx")), real.substr(0, real.size() / 2));
}

TEST_F(ProjectFileTest, AMissingFileShowsTheGeneralError) {
    ProgramState s;
    ScriptedInteraction u;
    EXPECT_FALSE(open(s, u, "nowhere.vdx"));
    ASSERT_EQ(u.messages.size(), 1u);
    EXPECT_NE(u.messages[0].text.find("Number: 53"), std::string::npos) << u.messages[0].text;
}

// ---- Conversions ---------------------------------------------------------------

TEST_F(ProjectFileTest, AVersionOneFileIsConvertedInOneGo) {
    vdx::test::OldProject old;
    old.version = "1.0";
    old.pyTableRow = "2";
    old.sex1 = "3";
    MakeOldProjectFile(path("old.vdx"), old);
    const std::string before = ReadBytes(path("old.vdx"));

    ASSERT_TRUE(open(state, ui, "old.vdx")) << messages();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(state.ProjectUpgraded);
    EXPECT_EQ(state.MainTableName, "Cohort");
    EXPECT_EQ(state.ProjectCount, 1);
    EXPECT_NE(state.Navigator.findByPath("P_SMR"), -1);
    EXPECT_EQ(ReadBytes(path("old.vdx")), before);  // the file keeps its version until Save

    auto d = workingCopy();
    EXPECT_EQ(ColumnTexts(*d, "VdxSystemMain", "Value"),
              (std::vector<std::string>{"3.0", "Cohort", "0", "1", kSmrReportHeadingDefault}));
    const auto fields = d->tableDef("P_SMR").fields;
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[2], (FieldDef{"Figures", FieldType::Double, 0, true}));
    std::vector<std::string> figures;
    auto rs = d->openRecordset("P_SMR");
    for (int row = 1; !rs->eof(); ++row, rs->moveNext()) {
        const Value typ = rs->value("Typ"), values = rs->value("Values"), fig = rs->value("Figures");
        if (row == 3) EXPECT_EQ(values, Value::text("Age*Calendar*Sex=3"));
        if (row >= 6 && row <= 17) {
            EXPECT_EQ(values, Value::text("")) << row;
            ASSERT_EQ(fig.kind(), Value::Kind::Double) << row;
            EXPECT_EQ(fig.asDouble(), *ReadNumber(old.figures[static_cast<size_t>(row - 6)])) << row;
        } else {
            EXPECT_TRUE(fig.isNull()) << row;
        }
        if (row == 18) EXPECT_EQ(std::make_pair(typ, values), std::make_pair(Value::text("Method"), Value::text("Byar")));
        if (row == 19) EXPECT_EQ(std::make_pair(typ, values), std::make_pair(Value::text("MainTable"), Value::text("Cohort")));
        if (row == 20) EXPECT_EQ(std::make_pair(typ, values), std::make_pair(Value::text("valuesDTH"), Value::text("")));
    }
    EXPECT_EQ(rs->recordCount(), 20);
}

TEST_F(ProjectFileTest, AVersionTwoFileIsConvertedAndSaveAsksFirst) {
    vdx::test::OldProject old;
    old.version = "2.0";
    old.pyTableRow = "3";
    old.sex2 = "2";
    MakeOldProjectFile(path("two.vdx"), old);
    const std::string before = ReadBytes(path("two.vdx"));

    ASSERT_TRUE(open(state, ui, "two.vdx")) << messages();
    EXPECT_TRUE(state.ProjectUpgraded);
    {
        auto d = workingCopy();
        auto smr = ColumnTexts(*d, "P_SMR", "Values");
        ASSERT_EQ(smr.size(), 19u);
        EXPECT_EQ(smr[2], "Age*Calendar*Sex=2");
        EXPECT_EQ(smr[16], "Exact");  // the Method row stays as it was
        EXPECT_EQ(smr[17], "Cohort");
        EXPECT_EQ(smr[18], "");
        EXPECT_EQ(ColumnTexts(*d, "VdxSystemMain", "Value")[0], "3.0");
    }
    // Cancel on message 41 leaves the file as it was.
    ui.answers.push_back(Answer::Cancel);
    EXPECT_FALSE(FileSave(state, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, Message(41));
    EXPECT_EQ(ui.messages[0].buttons, Buttons::OkCancel);
    EXPECT_EQ(ReadBytes(path("two.vdx")), before);
    // OK writes the converted file.
    ui.answers.push_back(Answer::Ok);
    EXPECT_TRUE(FileSave(state, ui));
    auto d = Database::open(path("two.vdx"));
    EXPECT_EQ(ColumnTexts(*d, "VdxSystemMain", "Value")[0], "3.0");
    EXPECT_EQ(ColumnTexts(*d, "P_SMR", "Values")[2], "Age*Calendar*Sex=2");
}

TEST_F(ProjectFileTest, OtherPyTableValuesStayAsTheyAre) {
    vdx::test::OldProject old;
    old.version = "2.0";
    old.pyTableRow = "Age*Calendar";
    MakeOldProjectFile(path("two.vdx"), old);
    ASSERT_TRUE(open(state, ui, "two.vdx")) << messages();
    auto d = workingCopy();
    EXPECT_EQ(ColumnTexts(*d, "P_SMR", "Values")[2], "Age*Calendar");
}

TEST_F(ProjectFileTest, AConversionStepFindingAnotherVersionShowsMessage42) {
    vdx::test::OldProject old;
    old.version = "2.0";
    MakeOldProjectFile(path("two.vdx"), old);
    state.ProjectFileName = path("two.vdx");
    state.WorkingCopyName = WorkingCopyPath(state.ProjectFileName);
    EXPECT_FALSE(UpgradeVersion1(state, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "This is not a VELDRIX v1.0-1.2x file");
    EXPECT_EQ(ui.messages[0].icon, Icon::Critical);

    old.version = "1.0";
    MakeOldProjectFile(path("one.vdx"), old);
    state.ProjectFileName = path("one.vdx");
    state.WorkingCopyName = WorkingCopyPath(state.ProjectFileName);
    EXPECT_FALSE(UpgradeVersion2(state, ui, false));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, Message(42));
    RemoveFileQuietly(state.WorkingCopyName);
    RemoveFileQuietly(WorkingCopyPath(path("two.vdx")));
}

TEST_F(ProjectFileTest, AProjectNameThatTriesToInjectSql) {
    // A name that cannot be a table name is refused before any SQL runs.
    vdx::test::OldProject old;
    old.version = "1.0";
    old.projectName = "P";
    MakeOldProjectFile(path("evil.vdx"), old);
    {
        auto d = Database::open(path("evil.vdx"));
        test::Sql(*d, "UPDATE VdxSystemProjects SET Projects = 'P_SMR ADD COLUMN X DOUBLE; DROP TABLE VdxSystemMain; --]'");
    }
    const std::string before = ReadBytes(path("evil.vdx"));
    EXPECT_FALSE(open(state, ui, "evil.vdx"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("Number: 3125"), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ReadBytes(path("evil.vdx")), before);
    {
        auto wc = Database::open(WorkingCopyPath(path("evil.vdx")));
        EXPECT_TRUE(wc->tableExists("VdxSystemMain"));
        EXPECT_EQ(wc->tableDef("P_SMR").fields.size(), 2u);
    }

    // A valid name full of SQL is only a name: its own table is converted.
    old.projectName = "P1'); DROP TABLE VdxSystemMain; --";
    MakeOldProjectFile(path("odd.vdx"), old);
    ProgramState s;
    ScriptedInteraction u;
    ASSERT_TRUE(open(s, u, "odd.vdx"));
    auto wc = Database::open(s.WorkingCopyName);
    EXPECT_TRUE(wc->tableExists("VdxSystemMain"));
    EXPECT_EQ(wc->tableDef(old.projectName + "_SMR").fields.size(), 3u);
    EXPECT_NE(s.Navigator.findByPath(old.projectName + "_SMR"), -1);
    wc.reset();
    ReleaseWorkingCopy(s);
}

// ---- Damaged person-years tables ------------------------------------------------

TEST_F(ProjectFileTest, DamagedPersonYearsTablesOpenAsNotComputed) {
    newProject();
    test::CreateTable(*workingCopy(), "Cohort", "ID LONG");
    state.MainTableName = "Cohort";
    FillPersonYears(state);
    ASSERT_TRUE(FileSave(state, ui)) << messages();
    ReleaseWorkingCopy(state);
    const std::string sound = ReadBytes(path("study.vdx"));

    struct Case {
        const char* damage;
        const char* table;  // named in the warning
    };
    const Case cases[] = {
        // Counts that would size 3 x 32766 x 32766 cells.
        {"UPDATE VdxSystemPY SET Value = '32767' WHERE Typ IN ('maxAgeClass', 'maxYearClass')", "VdxAgeClassValues"},
        {"DELETE FROM VdxPyValues WHERE rowid > 30", "VdxPyValues"},
        {"DELETE FROM VdxPyValues", "VdxPyValues"},
        {"UPDATE VdxPyValues SET PersonYears = 'many' WHERE rowid = 7", "VdxPyValues"},
        {"UPDATE VdxPyValues SET PersonYears = 2.5 WHERE rowid = 8", "VdxPyValues"},
        {"DELETE FROM VdxAgeClassValues WHERE rowid = 5", "VdxAgeClassValues"},
        {"UPDATE VdxYearClassValues SET YearClass = 70000 WHERE rowid = 2", "VdxYearClassValues"},
        {"DROP TABLE VdxYearClassValues", "VdxYearClassValues"},
        {"UPDATE VdxSystemPY SET Value = '2' WHERE Typ = 'intAnzahlTables'", "VdxSystemPY"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        WriteBytes(path("study.vdx"), sound);
        test::Sql(*Database::open(path("study.vdx")), c.damage);
        ProgramState s;
        ScriptedInteraction u;
        ASSERT_TRUE(open(s, u, "study.vdx"));
        EXPECT_FALSE(s.py.computed);
        EXPECT_EQ(s.PyValues.tables(), 0);
        EXPECT_EQ(s.AgeBounds.size(), 1u);
        EXPECT_EQ(s.Navigator.findByKey(kPyAllKey), -1);
        EXPECT_NE(s.Navigator.findByKey("Main_Data_Cohort"), -1);  // the data stay usable
        EXPECT_EQ(s.py.birthColumn, "DOB");
        ASSERT_EQ(u.messages.size(), 1u);
        EXPECT_EQ(u.messages[0].title, "Warning");
        EXPECT_NE(u.messages[0].text.find(std::string(c.table) + " "), std::string::npos) << u.messages[0].text;
        ReleaseWorkingCopy(s);
    }
}
