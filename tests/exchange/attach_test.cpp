// Tables > Main table / Rate table > Add over real files: Excel workbooks
// of every version, dBase, Paradox and Access tables and ASCII files are
// copied into a study's working copy, registered and put into the tree; the
// names the project file gives them; failures and cancelled dialogs that
// must leave the working copy exactly as it was.
#include "exchange/commands/attach_commands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "attach_test_support.h"
#include "db/database.h"
#include "db/project_file.h"
#include "exchange/formats/dbase/dbase_reader.h"
#include "exchange/formats/excel/excel_reader.h"
#include "exchange/formats/paradox/paradox_reader.h"
#include "exchange/commands/scripted_attach_dialogs.h"
#include "exchange/formats/text/text_import.h"
#include "test_sql.h"
#include "state/messages.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

namespace fs = std::filesystem;
using testing::ColumnTexts;
using testing::DumpDatabase;
using testing::ReadFileBytes;
using testing::RowCount;
using testing::TableNames;
using testing::TempFolder;

const std::string kFixtures = VDX_FIXTURES;
const std::string kAccess = VDX_SHARED_ACCESS;

// ---- Names -------------------------------------------------------------------

TEST(AttachNames, SheetNamesLoseEveryDollarSign) {
    EXPECT_EQ(WithoutDollars("Cohort$"), "Cohort");
    EXPECT_EQ(WithoutDollars("A$b$"), "Ab");
    EXPECT_EQ(WithoutDollars("Rates"), "Rates");
}

TEST(AttachNames, OdbcNamesLoseTheOwnerUpToTheFirstDot) {
    EXPECT_EQ(WithoutOwner("dbo.Cohort"), "Cohort");
    EXPECT_EQ(WithoutOwner("a.b.c"), "b.c");
    EXPECT_EQ(WithoutOwner("cohort"), "cohort");
}

TEST(AttachNames, ANameThatIsNotUtf8IsReadAsWindows1252) {
    const std::pair<std::string, std::string> cases[] = {
        {"cohort", "cohort"},
        {"coh\xc3\xa9", "coh\xc3\xa9"},         // UTF-8 already
        {"coh\xe9", "coh\xc3\xa9"},              // Latin-1/Windows-1252 e acute
        {"\x80-rates", "\xe2\x82\xac-rates"},     // the euro sign of Windows-1252
        {"a\x81\x1b" "b\xff", "a__b\xc3\xbf"},  // undefined and control bytes become "_"
    };
    for (const auto& [name, valid] : cases) EXPECT_EQ(ValidTableName(name), valid);
}

TEST(SourceFormats, EachEntryHasItsPrefixFileNameAndFilter) {
    EXPECT_STREQ(FormatNamed("access").connect, "");
    EXPECT_EQ(FormatNamed("access").attachFilter(), "Access (*.mdb)|*.mdb|All files (*.*)|*.*");
    EXPECT_STREQ(FormatNamed("excel3").connect, "Excel 3.0;");
    EXPECT_STREQ(FormatNamed("excel5").connect, "Excel 5.0;");
    EXPECT_EQ(FormatNamed("excel8").initialFileName(), "*.xls");
    EXPECT_STREQ(FormatNamed("dbase4").connect, "dBASE IV;");
    EXPECT_STREQ(FormatNamed("dbase5").connect, "dBase 5.0;");
    EXPECT_STREQ(FormatNamed("paradox3").connect, "Paradox 3.x;");
    EXPECT_EQ(FormatNamed("paradox5").initialFileName(), "*.db");
    EXPECT_STREQ(FormatNamed("text").connect, "Text;");
    EXPECT_EQ(FormatNamed("text").attachFilter(), "ASCII (*.txt)|*.txt|All files (*.*)|*.*");
    EXPECT_EQ(FormatOfCliName("lotus"), nullptr);
    EXPECT_THROW(FormatNamed("lotus"), std::logic_error);
}

TEST(SourceFormats, TheConnectStringsTypeNamesTheFormat) {
    // Excel 7.0 and 5.0 share their connect type; the first entry answers.
    EXPECT_EQ(&FormatOfConnect("Excel 5.0;;DATABASE=/data/c.xls"), &FormatNamed("excel7"));
    EXPECT_EQ(&FormatOfConnect(";DATABASE=/data/n.mdb"), &FormatNamed("access"));
    EXPECT_EQ(&FormatOfConnect(""), &FormatNamed("access"));
    EXPECT_EQ(&FormatOfConnect("dBASE III;"), &FormatNamed("dbase3"));
    EXPECT_EQ(&FormatOfConnect("dbase 5.0;"), &FormatNamed("dbase5"));
    EXPECT_EQ(&FormatOfConnect("Paradox 4.x;"), &FormatNamed("paradox4"));
    EXPECT_EQ(&FormatOfConnect("Text;"), &FormatNamed("text"));
    EXPECT_EQ(FormatOfConnect("ODBC;DSN=cohort;UID=me").layout, TableLayout::DataSource);
    EXPECT_EQ(testing::ErrorNumberOf([] { FormatOfConnect("Lotus WK3;"); }), 3170);
}

TEST(SourceFormats, EachFormatOpensItsReader) {
    auto readerOf = [](const FileFormat& format, const std::string& database) { return format.reader(database); };
    EXPECT_NE(dynamic_cast<ExcelReader*>(readerOf(FormatNamed("excel8"), kFixtures + "/excel/xlwt_biff8.xls").get()), nullptr);
    EXPECT_NE(dynamic_cast<DBaseReader*>(readerOf(FormatNamed("dbase4"), kFixtures + "/dbase/").get()), nullptr);
    EXPECT_NE(dynamic_cast<ParadoxReader*>(readerOf(FormatNamed("paradox3"), kFixtures + "/paradox/").get()), nullptr);
    EXPECT_NE(dynamic_cast<TextTableReader*>(readerOf(FormatNamed("text"), kFixtures).get()), nullptr);
    // Access sources that are project files of ours are read as such.
    TempFolder dir;
    test::CreateTable(*db::Database::create(dir.file("own.vdx")), "T", "N LONG");
    EXPECT_EQ(readerOf(FormatNamed("access"), dir.file("own.vdx"))->tableNames(), std::vector<std::string>{"T"});
    // The wrong reader for a file: not in the expected format.
    EXPECT_EQ(testing::ErrorNumberOf([] { FormatNamed("excel5").reader(kFixtures + "/dbase/ours_db5.dbf"); }),
              err::NotExpectedFormat);
}

// ---- A study to add tables to ------------------------------------------------------

class AttachTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db::CreateProjectFile(state, ui, dir.file("study.vdx")));
        fs::create_directories(dir.file("src"));
        ui.messages.clear();
        ui.fileDialogs.clear();
    }
    void TearDown() override { db::ReleaseWorkingCopy(state); }

    // The file the next file dialog returns.
    void choose(const std::string& path) { ui.files.push_back(FileDialogResult{path, 1}); }
    // A fixture copied into the source folder under another name.
    std::string source(const std::string& fixture, const std::string& name) {
        const std::string to = dir.file("src/" + name);
        fs::copy_file(kFixtures + "/" + fixture, to, fs::copy_options::overwrite_existing);
        return to;
    }
    std::string wc() const { return state.WorkingCopyName; }
    std::vector<std::string> systemMain() const { return ColumnTexts(wc(), "VdxSystemMain", "Value"); }
    std::vector<std::string> rateTables() const { return ColumnTexts(wc(), "VdxSystemRateTables", "RateTables"); }
    size_t nodeCount() const { return state.Navigator.nodes().size(); }
    std::string currentPath() const { return state.Navigator.fullPath(state.CurrentNode); }

    // Everything a failed or cancelled addition must leave as it was.
    struct Snapshot {
        std::string dump;
        std::string mainTable;
        int16_t rateTables;
        size_t nodes;
        bool changed;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot() const {
        return {DumpDatabase(wc()), state.MainTableName, state.RateTableCount, nodeCount(), state.ProjectChanged};
    }

    TempFolder dir;
    ProgramState state;
    ScriptedInteraction ui;
    ScriptedAttachDialogs dialogs;
};

// ---- Choosing the source -------------------------------------------------------------

TEST_F(AttachTest, ADBaseFileGivesItsFolderWithTheSeparatorAndItsTitleLessTheExtension) {
    const std::string path = source("dbase/shapelib_db3.dbf", "COHORT.DBF");
    choose(path);
    SelectExternalTable(state, ui, dialogs, kSelectMainTableTitle, FormatNamed("dbase3"));
    EXPECT_EQ(state.ExternalDatabaseName, dir.file("src") + "/");
    EXPECT_EQ(state.ExternalFileTitle, "COHORT.DBF");
    EXPECT_EQ(state.ExternalTableName, "COHORT");
    EXPECT_EQ(state.ExternalConnect, "dBASE III;");

    ASSERT_EQ(ui.fileDialogs.size(), 1u);
    const FileDialogRequest& r = ui.fileDialogs[0].request;
    EXPECT_FALSE(ui.fileDialogs[0].save);
    EXPECT_EQ(r.title, "Select main data table...");
    EXPECT_EQ(r.fileName, "*.dbf");
    EXPECT_EQ(r.filter, "dBase (*.dbf)|*.dbf|All files (*.*)|*.*");
    EXPECT_EQ(r.filterIndex, 1);
    EXPECT_EQ(r.defaultExtension, "*");
    EXPECT_TRUE(dialogs.offeredTables.empty());  // no chooser for a one-table file
}

TEST_F(AttachTest, ParadoxAndAsciiFilesNameTheirTableAfterTheFile) {
    choose(source("paradox/pxlib_cohort.db", "rates.db"));
    SelectExternalTable(state, ui, dialogs, kSelectRateTableTitle, FormatNamed("paradox4"));
    EXPECT_EQ(state.ExternalTableName, "rates");
    EXPECT_EQ(state.ExternalConnect, "Paradox 4.x;");
    EXPECT_EQ(ui.fileDialogs.back().request.title, "Select rate data table...");

    testing::TempFolder txt;
    choose(txt.write("rates.txt", "Age;Rate\n40;0.1\n"));
    SelectExternalTable(state, ui, dialogs, kSelectRateTableTitle, FormatNamed("text"));
    EXPECT_EQ(state.ExternalTableName, "rates");
    EXPECT_EQ(state.ExternalFileTitle, "rates.txt");
    EXPECT_EQ(state.ExternalConnect, "Text;");
}

TEST_F(AttachTest, AWorkbookOffersItsSheetsAndSwitchesTheViewToEmpty) {
    state.CurrentView = ViewName::MainGrid;
    choose(kFixtures + "/excel/gnumeric_biff8.xls");
    dialogs.tables.push_back("Rates$");
    SelectExternalTable(state, ui, dialogs, kSelectMainTableTitle, FormatNamed("excel8"));
    ASSERT_EQ(dialogs.offeredTables.size(), 1u);
    EXPECT_EQ(dialogs.offeredTables[0], (std::vector<std::string>{"Cohort$", "Rates$", "Empty$", "Header only$"}));
    EXPECT_EQ(state.ExternalTableName, "Rates$");
    EXPECT_EQ(state.ExternalDatabaseName, kFixtures + "/excel/gnumeric_biff8.xls");
    EXPECT_EQ(state.ExternalConnect, "Excel 8.0;");
    EXPECT_EQ(state.CurrentView, ViewName::Empty);
    EXPECT_EQ(ui.busyDepth, 0);
}

TEST_F(AttachTest, CancellingTheFileDialogOrTheChooserEmptiesAllFourNames) {
    auto fill = [&] {
        state.ExternalConnect = "x";
        state.ExternalDatabaseName = "x";
        state.ExternalFileTitle = "x";
        state.ExternalTableName = "x";
    };
    auto allEmpty = [&] {
        return state.ExternalConnect.empty() && state.ExternalDatabaseName.empty() && state.ExternalFileTitle.empty() &&
               state.ExternalTableName.empty();
    };
    fill();
    ui.files.push_back(std::nullopt);
    SelectExternalTable(state, ui, dialogs, kSelectMainTableTitle, FormatNamed("dbase4"));
    EXPECT_TRUE(allEmpty());

    fill();
    choose(kFixtures + "/excel/gnumeric_biff8.xls");
    dialogs.tables.push_back(std::nullopt);
    SelectExternalTable(state, ui, dialogs, kSelectMainTableTitle, FormatNamed("excel5"));
    EXPECT_TRUE(allEmpty());
    EXPECT_TRUE(ui.messages.empty());
}

// ---- The main data table ---------------------------------------------------------------

TEST_F(AttachTest, AnExcelSheetBecomesTheMainTableWithoutItsDollar) {
    choose(kFixtures + "/excel/gnumeric_biff8.xls");
    dialogs.tables.push_back("Cohort$");
    ASSERT_TRUE(AddMainTable(state, ui, dialogs, FormatNamed("excel8")));
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;

    EXPECT_EQ(state.MainTableName, "Cohort");
    EXPECT_EQ(systemMain()[1], "Cohort");  // the MainTable row, reached by position
    EXPECT_EQ(ColumnTexts(wc(), "Cohort", "Name"), (std::vector<std::string>{"Smith", "M\xC3\xBCller", "O'Brien"}));
    // No temporary table _Cohort is left; nothing but the new table was added.
    const auto tables = TableNames(wc());
    EXPECT_EQ(std::count(tables.begin(), tables.end(), "_Cohort"), 0);
    EXPECT_EQ(tables.back(), "Cohort");

    // The tree node, and the columns classified on the first row.
    const NavigatorNode* node = state.Navigator.node(state.CurrentNode);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->key, "Main_Data_Cohort");
    EXPECT_EQ(node->text, "Cohort");
    EXPECT_EQ(node->image, 3);
    EXPECT_EQ(currentPath(), "Main_Data_Cohort");
    ASSERT_GE(state.MainTableFields.size(), 4u);
    EXPECT_EQ(state.MainTableFields[0], (FieldInfo{"Name", ""}));
    EXPECT_EQ(state.MainTableFields[1], (FieldInfo{"Born", "date"}));
    EXPECT_EQ(state.MainTableFields[2], (FieldInfo{"Sex", "numeric"}));
    EXPECT_EQ(state.MainTableFields[3], (FieldInfo{"Weight", "numeric"}));
    EXPECT_TRUE(state.ProjectChanged);

    // Dates come in as dates.
    auto d = db::Database::open(wc());
    auto rs = d->openRecordset("Cohort");
    EXPECT_EQ(rs->value("Born"), Value::date(DayNumber(1950, 2, 1)));
}

TEST_F(AttachTest, TheMainTableIsInTheProjectFileAfterSaving) {
    choose(kFixtures + "/excel/xlwt_biff8.xls");
    dialogs.tables.push_back("");  // Ok on the first sheet
    ASSERT_TRUE(AddMainTable(state, ui, dialogs, FormatNamed("excel8")));
    ASSERT_TRUE(db::FileSave(state, ui));
    const auto fields = state.MainTableFields;
    db::ReleaseWorkingCopy(state);

    ProgramState reopened;
    ASSERT_TRUE(db::OpenProjectFile(reopened, ui, dir.file("study.vdx")));
    EXPECT_EQ(reopened.MainTableName, "Cohort");
    EXPECT_EQ(reopened.MainTableFields, fields);
    EXPECT_GE(reopened.Navigator.findByPath("Main_Data_Cohort"), 0);
    db::ReleaseWorkingCopy(reopened);
}

TEST_F(AttachTest, EveryExcelVersionReadsThroughItsEntry) {
    const struct {
        const FileFormat& format;
        const char* file;
        const char* sheet;
        const char* table;
    } adds[] = {{FormatNamed("excel3"), "excel/ours_biff3.xls", "", "ours_biff3"},
                {FormatNamed("excel4"), "excel/ours_biff4.xls", "", "ours_biff4"},
                {FormatNamed("excel5"), "excel/gnumeric_biff5.xls", "Rates$", "Rates"},
                {FormatNamed("excel8"), "excel/sheetjs_biff8.xls", "Cohort$", "Cohort"}};
    for (const auto& a : adds) {
        choose(kFixtures + "/" + a.file);
        dialogs.tables.push_back(a.sheet);
        ASSERT_TRUE(AddRateTable(state, ui, dialogs, a.format)) << a.file;
        EXPECT_EQ(currentPath(), std::string("Main_Rate tables_") + a.table);
    }
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(state.RateTableCount, 4);
    EXPECT_EQ(systemMain()[2], "4");
    EXPECT_EQ(rateTables(), (std::vector<std::string>{"ours_biff3", "ours_biff4", "Rates", "Cohort"}));
    EXPECT_EQ(RowCount(wc(), "Rates"), 2);
    EXPECT_EQ(RowCount(wc(), "ours_biff4"), 3);
}

TEST_F(AttachTest, TextThatReadsAsADateStaysTextAndCountsAsADate) {
    choose(kFixtures + "/excel/gnumeric_early_biff8.xls");
    dialogs.tables.push_back("Early$");
    ASSERT_TRUE(AddMainTable(state, ui, dialogs, FormatNamed("excel8")));
    ASSERT_EQ(state.MainTableFields.size(), 3u);
    EXPECT_EQ(state.MainTableFields[0].type, "");
    EXPECT_EQ(state.MainTableFields[1].type, "date");
    EXPECT_EQ(state.MainTableFields[2].type, "date");
    EXPECT_EQ(ColumnTexts(wc(), "Early", state.MainTableFields[2].name)[0], "12.05.1889");
}

TEST_F(AttachTest, MessageTwentyWhenTheStudyHasAMainTable) {
    choose(kFixtures + "/excel/gnumeric_biff8.xls");
    dialogs.tables.push_back("Cohort$");
    ASSERT_TRUE(AddMainTable(state, ui, dialogs, FormatNamed("excel8")));
    const Snapshot before = snapshot();
    const size_t dialogsShown = ui.fileDialogs.size();

    EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("dbase3")));
    EXPECT_FALSE(AddMainTableODBC(state, ui, dialogs));
    ASSERT_EQ(ui.messages.size(), 2u);
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.text, "Main data table already exists!");
        EXPECT_EQ(m.icon, Icon::Exclamation);
        EXPECT_EQ(m.title, "VELDRIX");
    }
    EXPECT_EQ(ui.fileDialogs.size(), dialogsShown);
    EXPECT_TRUE(dialogs.offeredDataSources.empty());
    EXPECT_EQ(snapshot(), before);
}

TEST(AttachWithoutStudy, MessageSixteenAndNoDialog) {
    ProgramState state;
    ScriptedInteraction ui;
    ScriptedAttachDialogs dialogs;
    EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("excel8")));
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("dbase3")));
    EXPECT_FALSE(AddMainTableODBC(state, ui, dialogs));
    EXPECT_FALSE(AddRateTableODBC(state, ui, dialogs));
    ASSERT_EQ(ui.messages.size(), 4u);
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.text, "There is no VELDRIX file loaded!");
        EXPECT_EQ(m.icon, Icon::Exclamation);
        EXPECT_EQ(m.title, "VELDRIX");
    }
    EXPECT_TRUE(ui.fileDialogs.empty());
}

// A name the study holds already (any case) is asked for again at once:
// before the unit question, the copy or the import dialog.
TEST_F(AttachTest, ATakenNameIsAskedForAgainBeforeAnythingElse) {
    test::CreateTable(*db::Database::open(wc()), "Cohort", "X LONG");
    const std::string prompt = "The study holds a table named Cohort already. Name of the new table:";
    const Snapshot before = snapshot();
    const std::string book = kFixtures + "/excel/gnumeric_biff8.xls";
    choose(book);
    dialogs.tables.push_back("Cohort$");
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("excel8")));  // the name question cancelled
    EXPECT_EQ(ui.inputPrompts, std::vector<std::string>{prompt});
    EXPECT_TRUE(ui.choicePrompts.empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(state.ExternalTableName, "");

    choose(book);
    dialogs.tables.push_back("Cohort$");
    ui.inputs = {"COHORT", " Rates 1990 "};  // taken again (any case), then a free one
    ASSERT_TRUE(AddRateTable(state, ui, dialogs, FormatNamed("excel8")));
    EXPECT_EQ(ui.inputPrompts.size(), 3u);
    EXPECT_EQ(ui.choicePrompts, std::vector<std::string>{"The rates of 'Rates 1990' are given as:"});
    EXPECT_EQ(rateTables(), std::vector<std::string>{"Rates 1990"});
    EXPECT_EQ(RowCount(wc(), "Rates 1990"), 3);

    testing::TempFolder src;
    choose(src.write("cohort.txt", "ID\r\n1\r\n"));
    dialogs.fillTextImport = [](TextImportForm& form) { form.setHeaders(true); };
    ui.inputs = {"Persons"};
    ASSERT_TRUE(AddMainTable(state, ui, dialogs, FormatNamed("text")));
    EXPECT_EQ(state.MainTableName, "Persons");
    EXPECT_EQ(ColumnTexts(wc(), "Persons", "ID"), std::vector<std::string>{"1"});
}

TEST_F(AttachTest, AFileThatIsNoWorkbookHasTheWrongFormat) {
    testing::TempFolder src;
    choose(src.write("bad.xls", std::string(4096, 'x')));
    const Snapshot before = snapshot();
    EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("excel8")));
    ASSERT_EQ(ui.messages.size(), 1u);
    // No table was chosen yet: the message names the file.
    EXPECT_EQ(testing::WrongFormatReason(ui.messages[0].text, "bad.xls", "bad.xls"),
              "is not in the expected format: it does not begin with an Excel record");
    EXPECT_TRUE(dialogs.offeredTables.empty());
    EXPECT_EQ(snapshot(), before);
}

TEST_F(AttachTest, AnEmptySheetHasTheWrongFormatAndAHeaderOnlySheetGivesAnEmptyTable) {
    choose(kFixtures + "/excel/gnumeric_biff8.xls");
    dialogs.tables.push_back("Empty$");
    const Snapshot before = snapshot();
    EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("excel8")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(testing::WrongFormatReason(ui.messages[0].text, "Empty$", "Empty$").find("the sheet is empty"),
              std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(snapshot(), before);

    choose(kFixtures + "/excel/gnumeric_biff8.xls");
    dialogs.tables.push_back("Header only$");
    ASSERT_TRUE(AddMainTable(state, ui, dialogs, FormatNamed("excel8")));
    EXPECT_EQ(state.MainTableName, "Header only");
    EXPECT_EQ(RowCount(wc(), "Header only"), 0);
    EXPECT_EQ(state.MainTableFields, (std::vector<FieldInfo>{{"A", ""}, {"B", ""}}));
}

TEST_F(AttachTest, AnAccessTableChosenAmongTheUserTables) {
    if (!fs::exists(kAccess + "/nwind.mdb")) GTEST_SKIP() << "no sample databases in " << kAccess;
    choose(kAccess + "/nwind.mdb");
    dialogs.tables.push_back("Employees");
    ASSERT_TRUE(AddMainTable(state, ui, dialogs, FormatNamed("access")));
    ASSERT_EQ(dialogs.offeredTables.size(), 1u);
    EXPECT_EQ(dialogs.offeredTables[0].size(), 9u);
    for (const auto& t : dialogs.offeredTables[0]) EXPECT_NE(t.rfind("MSys", 0), 0u) << t;
    EXPECT_EQ(state.ExternalConnect, "");
    EXPECT_EQ(state.MainTableName, "Employees");
    EXPECT_EQ(RowCount(wc(), "Employees"), 9);
    auto birth = std::find_if(state.MainTableFields.begin(), state.MainTableFields.end(),
                              [](const FieldInfo& f) { return f.name == "BirthDate"; });
    ASSERT_NE(birth, state.MainTableFields.end());
    EXPECT_EQ(birth->type, "date");
}

// ---- Rate tables ---------------------------------------------------------------------------

TEST_F(AttachTest, ADBaseFileBecomesARateTable) {
    choose(source("dbase/shapelib_db3.dbf", "COHORT.DBF"));
    ASSERT_TRUE(AddRateTable(state, ui, dialogs, FormatNamed("dbase3")));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(state.RateTableCount, 1);
    EXPECT_EQ(systemMain()[2], "1");
    EXPECT_EQ(rateTables(), std::vector<std::string>{"COHORT"});
    EXPECT_EQ(state.Navigator.node(state.CurrentNode)->key, "Main_Rate tables_COHORT");
    EXPECT_EQ(currentPath(), "Main_Rate tables_COHORT");
    EXPECT_TRUE(state.MainTableName.empty());
    EXPECT_TRUE(state.ProjectChanged);
    auto d = db::Database::open(wc());
    auto rs = d->openRecordset("COHORT");
    EXPECT_EQ(rs->recordCount(), 3);
    EXPECT_EQ(rs->value("BORN"), Value::date(DayNumber(1950, 2, 1)));
    rs->setAbsolutePosition(2);
    EXPECT_EQ(rs->value("BORN"), Value::date(DayNumber(1889, 5, 12)));
}

TEST_F(AttachTest, AParadoxFileBecomesARateTable) {
    choose(source("paradox/pxlib_cohort.db", "rates.db"));
    ASSERT_TRUE(AddRateTable(state, ui, dialogs, FormatNamed("paradox5")));
    EXPECT_EQ(rateTables(), std::vector<std::string>{"rates"});
    EXPECT_EQ(RowCount(wc(), "rates"), 3);
    auto d = db::Database::open(wc());
    auto rs = d->openRecordset("rates");
    EXPECT_EQ(rs->value(0), Value::text("Smith"));
    EXPECT_EQ(rs->value(1), Value::date(DayNumber(1950, 2, 1)));
}

TEST_F(AttachTest, AFailureHalfWayThroughACopyLeavesNoTableAndNoLink) {
    // More rows than one batch is handed over in, so rows were already
    // written when the damaged record is read.
    testing::WriteDBaseCohort(dir.file("src/big.dbf"), 3000, 2500);
    const Snapshot before = snapshot();
    choose(dir.file("src/big.dbf"));
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("dbase3")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(testing::WrongFormatReason(ui.messages[0].text, "big", "big.dbf").find("record 2501"), std::string::npos)
        << ui.messages[0].text;
    EXPECT_EQ(snapshot(), before);

    choose(dir.file("src/big.dbf"));
    EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("dbase3")));
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(state.MainTableName, "");
}

TEST_F(AttachTest, ARegistrationThatFailsTakesTheCopiedTableWithIt) {
    // A damaged project file whose VdxSystemMain lacks its rows.
    test::Sql(*db::Database::open(wc()), "DELETE FROM VdxSystemMain");
    const Snapshot before = snapshot();
    choose(source("dbase/shapelib_db3.dbf", "COHORT.DBF"));
    EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("dbase3")));
    choose(source("dbase/shapelib_db3.dbf", "COHORT.DBF"));
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("dbase3")));
    testing::TempFolder src;
    choose(src.write("cohort.txt", "ID\r\n1\r\n"));
    dialogs.fillTextImport = [](TextImportForm& form) { form.setHeaders(true); };
    EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("text")));
    ASSERT_EQ(ui.messages.size(), 3u);
    for (const auto& m : ui.messages)
        EXPECT_EQ(m.text.rfind("Following error has occured:\r\nNumber: 3021\r\n", 0), 0u) << m.text;
    EXPECT_EQ(snapshot(), before);
}

TEST_F(AttachTest, TruncatedAndForeignFilesHaveTheWrongFormat) {
    const std::string good = ReadFileBytes(kFixtures + "/dbase/shapelib_db3.dbf");
    testing::TempFolder src;
    const Snapshot before = snapshot();
    for (const std::string& bytes : {good.substr(0, good.size() - 30), good.substr(0, 40),
                                     ReadFileBytes(kFixtures + "/paradox/pxlib_cohort.db")}) {
        ui.messages.clear();
        choose(src.write("cohort.dbf", bytes));
        EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("dbase3")));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(testing::WrongFormatReason(ui.messages[0].text, "cohort", "cohort.dbf").find("is not in the expected format: "),
                  std::string::npos) << ui.messages[0].text;
        EXPECT_EQ(snapshot(), before);
    }
    const std::string px = ReadFileBytes(kFixtures + "/paradox/pxlib_cohort.db");
    ui.messages.clear();
    choose(src.write("short.db", px.substr(0, px.size() / 2)));
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("paradox5")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(testing::WrongFormatReason(ui.messages[0].text, "short", "short.db").find("truncated"), std::string::npos)
        << ui.messages[0].text;
    EXPECT_EQ(snapshot(), before);
}

TEST_F(AttachTest, ATableNameTheProjectFileCannotHoldGetsTheGeneralMessage) {
    choose(source("dbase/shapelib_db3.dbf", "co.hort.dbf"));
    const Snapshot before = snapshot();
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("dbase3")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Following error has occured:\r\nNumber: 3125\r\nDescription: ", 0), 0u)
        << ui.messages[0].text;
    EXPECT_EQ(snapshot(), before);
}

TEST_F(AttachTest, ATableWithABlankInItsNameIsCopied) {
    choose(source("dbase/shapelib_db3.dbf", "rates 1990.dbf"));
    ASSERT_TRUE(AddRateTable(state, ui, dialogs, FormatNamed("dbase3")));
    EXPECT_EQ(rateTables(), std::vector<std::string>{"rates 1990"});
    EXPECT_EQ(RowCount(wc(), "rates 1990"), 3);
}

TEST_F(AttachTest, TheRateTableCountNeverWraps) {
    state.RateTableCount = 32767;
    const Snapshot before = snapshot();
    choose(source("dbase/shapelib_db3.dbf", "COHORT.DBF"));
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("dbase3")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Following error has occured:\r\nNumber: 6\r\n", 0), 0u);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(AttachTest, CancelledDialogsChangeNothingAndSayNothing) {
    const Snapshot before = snapshot();
    ui.files.push_back(std::nullopt);  // the file dialog
    EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("excel8")));
    choose(kFixtures + "/excel/gnumeric_biff8.xls");
    dialogs.tables.push_back(std::nullopt);  // the table chooser
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("excel8")));
    testing::TempFolder src;
    choose(src.write("rates.txt", "Age;Rate\n40;0.1\n"));  // the ASCII import dialog
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("text")));
    EXPECT_EQ(dialogs.textImportsShown, 1);
    EXPECT_FALSE(state.TextImportDone);
    dialogs.dataSources.push_back(std::nullopt);  // the ODBC data-source chooser
    EXPECT_FALSE(AddMainTableODBC(state, ui, dialogs));
    EXPECT_FALSE(AddRateTableODBC(state, ui, dialogs));  // (an empty queue cancels too)
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(ui.busyDepth, 0);
}

// ---- ASCII files through the import dialog ----------------------------------------------------

TEST_F(AttachTest, AnAsciiFileGoesThroughTheImportDialogAndIsRegistered) {
    testing::TempFolder src;
    choose(src.write("cohort.txt", "ID;DOB;SEX\r\n1;01021950;1\r\n2;15071962;2\r\n"));
    dialogs.fillTextImport = [](TextImportForm& form) {
        form.setHeaders(true);
        form.clickColumn(1);
        form.chooseType("Long");
        form.clickColumn(2);
        form.chooseType("Date");
        form.clickColumn(3);
        form.chooseType("Integer");
    };
    ASSERT_TRUE(AddMainTable(state, ui, dialogs, FormatNamed("text")));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(state.TextImportDone);
    EXPECT_EQ(state.MainTableName, "cohort");
    EXPECT_EQ(systemMain()[1], "cohort");
    EXPECT_EQ(currentPath(), "Main_Data_cohort");
    EXPECT_EQ(state.MainTableFields,
              (std::vector<FieldInfo>{{"ID", "numeric"}, {"DOB", "date"}, {"SEX", "numeric"}}));
    EXPECT_EQ(RowCount(wc(), "cohort"), 2);
}

TEST_F(AttachTest, AFailedAsciiImportRegistersNothing) {
    testing::TempFolder src;
    choose(src.write("rates.txt", "Age;Rate\n40;0.1\nforty;0.2\n"));
    dialogs.fillTextImport = [](TextImportForm& form) {
        form.setHeaders(true);
        form.chooseType("Integer");
    };
    const Snapshot before = snapshot();
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("text")));
    ASSERT_EQ(ui.messages.size(), 1u);  // the dialog's message; the command adds none
    EXPECT_EQ(ui.messages[0].text,
              "Following error has occured:\r\nNumber: 13\r\nDescription: Can't convert data in column 1 to Integer\r\n\r\n"
              "Line 3, column 1 (Age) holds \"forty\": an Integer column holds whole numbers from -32768 to 32767.");
    EXPECT_EQ(snapshot(), before);
}

TEST_F(AttachTest, AnAsciiFileThatIsNoTextHasTheWrongFormat) {
    testing::TempFolder src;
    choose(src.write("binary.txt", std::string("a;b\0\0\0c", 7)));
    const Snapshot before = snapshot();
    EXPECT_FALSE(AddMainTable(state, ui, dialogs, FormatNamed("text")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(testing::WrongFormatReason(ui.messages[0].text, "binary", "binary.txt").find("binary data"), std::string::npos)
        << ui.messages[0].text;
    EXPECT_EQ(snapshot(), before);
}

// ---- Rate units --------------------------------------------------------------------------------

TEST_F(AttachTest, RatesPerThousandOrHundredThousandAreStoredPerPersonYearDividedOnce) {
    // Numbers whose quotient a second rounding (through a float, or a
    // division in two steps) would change.
    const std::vector<std::string> typed{"0.7", "123.456789", "3", "1e-3", "499.99999999999994"};
    std::string csv = "Y1950,Y1955,Y1960,Y1965,Y1970\n";
    for (size_t k = 0; k < typed.size(); ++k) csv += (k ? "," : "") + typed[k];
    csv += "\n";
    for (size_t k = 0; k < typed.size(); ++k) csv += k ? ",1" : "2";
    csv += "\n";
    testing::TempFolder src;
    dialogs.fillTextImport = [](TextImportForm& form) { form.proposeFromData(); };
    struct Case {
        int choice;  // among per person-year, per 1,000, per 100,000
        double unit;
        const char* name;
    } cases[] = {{1, 1000.0, "per1000"}, {2, 100000.0, "per100000"}, {0, 1.0, "perYear"}};
    for (const auto& c : cases) {
        ui.messages.clear();
        choose(src.write(std::string(c.name) + ".csv", csv));
        ui.choices.push_back(c.choice);
        ASSERT_TRUE(AddRateTable(state, ui, dialogs, FormatNamed("csv"))) << ::testing::PrintToString(ui.messageTexts());
        auto d = db::Database::open(wc());
        auto rs = d->openRecordset(c.name);
        for (size_t k = 0; k < typed.size(); ++k) {
            if (c.unit != 1) EXPECT_EQ(d->tableDef(c.name).fields[k].type, FieldType::Double);
            const Value v = rs->value(static_cast<int>(k));
            ASSERT_TRUE(v.isNumber()) << c.name << " " << k;
            EXPECT_EQ(v.asDouble(), *ReadNumber(typed[k]) / c.unit) << c.name << " " << typed[k];
        }
        rs->setAbsolutePosition(rs->recordCount() - 1);
        EXPECT_EQ(rs->value(0).asDouble(), 2 / c.unit);
        if (c.unit == 1) {
            EXPECT_TRUE(ui.messages.empty());
        } else {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_NE(ui.messages[0].text.find(c.unit == 1000 ? "per 1,000 person-years" : "per 100,000"),
                      std::string::npos) << ui.messages[0].text;
        }
    }
    EXPECT_EQ(rateTables(), (std::vector<std::string>{"per1000", "per100000", "perYear"}));

    // Cancelling the question adds nothing.
    const Snapshot before = snapshot();
    choose(src.write("cancelled.csv", csv));
    ui.choices.push_back(std::nullopt);
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("csv")));
    EXPECT_EQ(snapshot(), before);
}

// ---- CSV files through the import dialog ------------------------------------------------------

TEST_F(AttachTest, ACsvFileGoesThroughTheImportDialogWithItsProposedTypes) {
    testing::TempFolder src;
    choose(src.write("cohort.csv", "ID\tDOB\tICD\n1\t1950-02-01\t162\n2\t1962-07-15\t\n"));
    char separatorShown = 0;
    dialogs.fillTextImport = [&](TextImportForm& form) {
        separatorShown = form.separator();
        form.proposeFromData();
        form.clickColumn(3);
        form.chooseType("Text");
    };
    ASSERT_TRUE(AddMainTable(state, ui, dialogs, FormatNamed("csv")));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(dialogs.textImportsShown, 1);
    EXPECT_EQ(separatorShown, '\t');
    EXPECT_EQ(systemMain()[1], "cohort");
    EXPECT_EQ(state.MainTableFields, (std::vector<FieldInfo>{{"ID", "numeric"}, {"DOB", "date"}, {"ICD", "numeric"}}));
    EXPECT_EQ(db::Database::open(wc())->tableDef("cohort").fields[2].type, FieldType::Text);
    EXPECT_EQ(RowCount(wc(), "cohort"), 2);

    // Cancelled (no script): nothing is added.
    const Snapshot before = snapshot();
    choose(src.write("rates.csv", "Age,Rate\n40,0.1\n"));
    dialogs.fillTextImport = nullptr;
    EXPECT_FALSE(AddRateTable(state, ui, dialogs, FormatNamed("csv")));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(snapshot(), before);
}

}  // namespace
}  // namespace vdx::exchange
