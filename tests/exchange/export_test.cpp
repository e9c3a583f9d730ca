// Tables > Save as...: the table built from the result shown, the target's
// name by the format chosen, the SMR figures the settings choose, and an
// export that fails leaving the old file as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "exchange/formats/excel/biff_reader.h"
#include "exchange/commands/export_command.h"
#include "exchange/formats/text/csv_reader.h"
#include "test_sql.h"
#include "state/errors.h"
#include "state/scripted_interaction.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

class MapSettings : public SettingsAccess {
public:
    std::string readSetting(const std::string& section, const std::string& key,
                            const std::string& defaultValue) const override {
        auto it = values.find(section + "/" + key);
        return it == values.end() ? defaultValue : it->second;
    }
    void writeSetting(const std::string& section, const std::string& key, const std::string& value) override {
        values[section + "/" + key] = value;
    }
    std::map<std::string, std::string> values;
};

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_export_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_TRUE(db::CreateProjectFile(state, ui, dir_ + "/study.vdx"));
    }
    void TearDown() override {
        db::ReleaseWorkingCopy(state);
        std::filesystem::remove_all(dir_);
    }

    // A project's SMR table in its stored order of 19 rows; `project` is its first value.
    void addSmrTable(const std::string& project = "Lung") {
        auto d = db::Database::open(state.WorkingCopyName);
        test::CreateTable(*d, "Lung_SMR", "Typ TEXT, Values TEXT, Figures DOUBLE");
        const std::vector<std::pair<const char*, Value>> rows{
            {"ProjectName", Value::text(project)}, {"RateTable", Value::text("Rates")},
            {"PyTable", Value::text("Age*Calendar")}, {"Alpha", Value::text("0.05")},
            {"varDTH", Value::text("ICD")}, {"varTod", Value::real(162)},
            {"totTote", Value::real(42)}, {"totPy", Value::real(12345.675)},
            {"totDthRate", Value::real(3.4)}, {"Expected", Value::real(33.5)},
            {"Smr", Value::real(1.25)}, {"Smr_l", Value::real(0.987654321)},
            {"Smr_h", Value::real(1.5)}, {"N", Value::real(1000)}, {"NInc", Value::real(990)},
            {"Lag", Value::real(10)}, {"Method", Value::text("Byar")},
            {"MainTable", Value::text("Cohort")}, {"valuesDTH", Value::text("162")}};
        auto rs = d->openRecordset("Lung_SMR");
        for (const auto& [typ, v] : rows) {
            rs->addNew();
            rs->setValue("Typ", Value::text(typ));
            rs->setValue(v.kind() == Value::Kind::Text ? "Values" : "Figures", v);
            rs->update();
        }
        state.CurrentResult = "Smr";
        state.CurrentSMRTable = "Lung_SMR";
    }

    // Person-years by age 40-45, 45-50 and calendar 1970-1975, 1975-1980, as the grid shows them.
    db::ResultGridText showPersonYears() {
        state.AgeBounds = {0, 40, 45, 50};
        state.CalendarBounds = {0, 1970, 1975, 1980};
        state.PyValues.resize(1, 2, 2);
        state.PyValues.at(1, 1, 1) = 1000;  // 2.7378... years, shown as 2.74
        state.PyValues.at(1, 1, 2) = 0;
        state.PyValues.at(1, 2, 1) = 4383;  // 12 years
        state.PyValues.at(1, 2, 2) = 365;
        state.CurrentResult = "PersonYears";
        state.CurrentResultTable = PyTableName(state.py, 1);  // as a click on its node names it
        return db::ShowPersonYears(state, 1);
    }

    ProgramState state;
    ScriptedInteraction ui;
    std::string dir_;
};

TEST_F(ExportTest, PersonYearsAsTheGridShowsThem) {
    const db::ResultGridText grid = showPersonYears();
    ExportShownResult(state, ui, grid, DefaultSmrExportChoices(), ExportTargetFor(ExportFormatIndex("text"), dir_ + "/py.txt"));
    EXPECT_EQ(Bytes(dir_ + "/py.txt"),
              "Age class;1970-1974;1975-1979\r\n"
              " 40- 44;2.74;0\r\n"
              " 45- 49;12;1\r\n");  // 365 days shown as 1.00
}

// CSV carries the person-years as stored, to the day (not the grid's two
// decimals), as R reads them; our own CSV reader where R is missing.
TEST_F(ExportTest, CsvCarriesThePersonYearsToTheDay) {
    const db::ResultGridText grid = showPersonYears();
    const std::string csv = dir_ + "/py.csv";
    ExportShownResult(state, ui, grid, DefaultSmrExportChoices(), ExportTargetFor(ExportFormatIndex("csv"), csv));
    std::vector<double> read;
    if (!testing::CommandOutput("command -v Rscript").empty()) {
        // Row by row, each figure with the digits that give back its double.
        const std::string figures = testing::CommandOutput(
            "Rscript -e \"m <- as.matrix(read.csv('" + csv + "', check.names = FALSE)[-1]); "
            "cat(sprintf('%.17g', t(m)), sep = '\\n')\"");
        std::istringstream lines(figures);
        for (std::string line; std::getline(lines, line);) read.push_back(std::strtod(line.c_str(), nullptr));
    } else {
        CsvReader reader(csv);
        for (const auto& row : testing::ReadAll(reader, reader.tableNames().front()))
            for (size_t c = 1; c < row.size(); ++c) read.push_back(row[c].asDouble());
    }
    std::vector<double> stored;
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 2; ++j) stored.push_back(static_cast<double>(state.PyValues.at(1, i, j)) / 365.25);
    EXPECT_EQ(read, stored);
}

// The file written is the one named: an extension is only ever added. A
// name of another format decides the type in the save dialog and is refused
// by veldrix-cli (nothing written).
TEST(ExportTarget, FileAndTableNameByChoice) {
    using R = OtherExtension;
    struct Case {
        const char* format;
        const char* chosen;
        R rule;
        const char* written;  // the entry written, by its CLI name; nullptr: refused
        const char* path;
        const char* table;
    };
    const Case cases[] = {
        {"text", "/d/result.txt", R::Refused, "text", "/d/result.txt", "result"},
        {"html", "/d/result.HTML", R::Refused, "html", "/d/result.HTML", "result"},
        {"html", "/d/result.htm", R::Refused, "html", "/d/result.htm", "result"},
        {"excel7", "/d/book.xls", R::Refused, "excel7", "/d/book.xls", "book"},
        {"dbase4", "/d/PY.DBF", R::Refused, "dbase4", "/d/PY.DBF", "PY"},
        {"paradox3", "/d/py.db", R::Refused, "paradox3", "/d/py.db", "py"},
        {"xlsx", "/d/py.xlsx", R::Refused, "xlsx", "/d/py.xlsx", "py"},
        // Names without the format's extension keep every character.
        {"paradox5", "/d/px_out", R::Refused, "paradox5", "/d/px_out.db", "px_out"},
        {"dbase3", "/d/noext", R::Refused, "dbase3", "/d/noext.dbf", "noext"},
        {"dbase5", "noext", R::Refused, "dbase5", "noext.dbf", "noext"},
        {"text", "/d/results.dat", R::Refused, "text", "/d/results.dat.txt", "results.dat"},
        {"access70", "/d/x", R::Refused, "access70", "/d/x.mdb", "x"},
        // Another format's extension.
        {"dbase4", "/d/out.txt", R::Refused, nullptr, "", ""},
        {"text", "/d/py_men.xlsx", R::Refused, nullptr, "", ""},
        {"text", "/d/py_men.xlsx", R::ChoosesFormat, "xlsx", "/d/py_men.xlsx", "py_men"},
        {"text", "/d/py.XLS", R::ChoosesFormat, "excel8", "/d/py.XLS", "py"},
        {"csv", "/d/py.dbf", R::ChoosesFormat, "dbase5", "/d/py.dbf", "py"},
        {"dbase4", "/d/out.txt", R::ChoosesFormat, "text", "/d/out.txt", "out"},
        // No name left for the table.
        {"text", "/d/.txt", R::ChoosesFormat, nullptr, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.chosen);
        if (!c.written) {
            EXPECT_THROW(ExportTargetFor(ExportFormatIndex(c.format), c.chosen, c.rule), VdxError);
            continue;
        }
        const ExportTarget t = ExportTargetFor(ExportFormatIndex(c.format), c.chosen, c.rule);
        EXPECT_EQ(t.format, &FormatNamed(c.written));
        EXPECT_EQ(t.path, c.path);
        EXPECT_EQ(t.tableName, c.table);
    }
}

// The eighteen choices keep their places (stored filter indexes); today's
// formats follow them.
TEST(ExportTarget, FilterListsTheEighteenChoicesInOrderThenTodaysFormats) {
    const std::string filter = ExportFilter();
    EXPECT_EQ(filter.rfind("ASCII files (*.txt)|*.txt|Access 1.0 (*.mdb)|*.mdb|", 0), 0u);
    EXPECT_NE(filter.find("|Excel 7.0 (*.xls)|*.xls|Excel 8.0 (*.xls)|*.xls|Paradox 3.x (*.db)|*.db|"), std::string::npos);
    const std::string tail = "|HTML (*.htm)|*.htm|CSV (*.csv)|*.csv|Excel 2007+ (*.xlsx)|*.xlsx|Stata (*.dta)|*.dta|";
    EXPECT_EQ(filter.substr(filter.size() - tail.size()), tail);
    EXPECT_EQ(std::count(filter.begin(), filter.end(), '|'), 42);
    EXPECT_EQ(ExportFormatIndex("html"), 18);
    EXPECT_EQ(ExportFormatIndex("dta"), 21);
}

TEST_F(ExportTest, DefaultSmrFiguresWithTheirFormats) {
    addSmrTable();
    const MapSettings noKeys;
    const ExportTable t = BuildExportTable(state, {}, ReadSmrExportChoices(noKeys));
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& r : t.rows) rows.emplace_back(r[0].asText(), r[1].asText());
    const std::vector<std::pair<std::string, std::string>> expected{
        {"SMR", "125.00000000"}, {"Lower Confidence Bound", "98.7654321"},
        {"Upper Confidence Bound", "150.00000000"}, {"Alpha", "0.05"}, {"Method", "Byar"},
        {"Observed Cases", "42"}, {"Expected Cases", "33.5"}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(testing::Names(t.columns), (std::vector<std::string>{"Description", "Values"}));
}

TEST_F(ExportTest, StoredChoicesPickAndNameTheRows) {
    addSmrTable();
    state.SmrNullValue = 1;
    MapSettings settings;
    for (int k = 0; k < 18; ++k) settings.writeSetting("Exports", std::to_string(k), "x 0");
    settings.writeSetting("Exports", "0", "Ratio 1");
    settings.writeSetting("Exports", "7", "Person Years 1");
    const ExportTable t = BuildExportTable(state, {}, ReadSmrExportChoices(settings));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0][0].asText() + "=" + t.rows[0][1].asText(), "Ratio=1.25000000");
    EXPECT_EQ(t.rows[1][0].asText() + "=" + t.rows[1][1].asText(), "Person Years=12345.675");
}

// The figures as stored, every digit, and the death values as typed.
TEST_F(ExportTest, SmrFiguresAreTheStoredValues) {
    addSmrTable();
    auto d = db::Database::open(state.WorkingCopyName);
    test::Sql(*d, "UPDATE [Lung_SMR] SET Figures = 127.80891234567 WHERE Typ = 'Expected';");
    test::Sql(*d, "UPDATE [Lung_SMR] SET Figures = 0.00167 WHERE Typ = 'totDthRate';");
    test::Sql(*d, "UPDATE [Lung_SMR] SET Figures = 7.5 WHERE Typ = 'Lag';");
    test::Sql(*d, "UPDATE [Lung_SMR] SET [Values] = '160-165, 170' WHERE Typ = 'valuesDTH';");
    d.reset();
    const ExportTable t = BuildExportTable(state, {}, *SmrExportChoicesFromList("6,7,8,9,11,13"));
    std::vector<std::string> values;
    for (const auto& r : t.rows) values.push_back(r[1].asText());
    EXPECT_EQ(values, (std::vector<std::string>{"127.80891234567", "12345.675", "0.00167", "1000", "7.5", "160-165, 170"}));
    // A project of one code (valuesDTH empty, as older files store it) gives the code.
    test::Sql(*db::Database::open(state.WorkingCopyName), "UPDATE [Lung_SMR] SET [Values] = '' WHERE Typ = 'valuesDTH';");
    EXPECT_EQ(BuildExportTable(state, {}, *SmrExportChoicesFromList("13")).rows[0][1].asText(), "162");
    // With E = 0 the stored 0s of the ratio and its bounds are no figures.
    test::Sql(*db::Database::open(state.WorkingCopyName), "UPDATE [Lung_SMR] SET Figures = 0 WHERE Typ IN ('Expected', 'Smr', 'Smr_l', 'Smr_h');");
    std::vector<std::string> undefined;
    for (const auto& r : BuildExportTable(state, {}, *SmrExportChoicesFromList("0,1,2,6")).rows) undefined.push_back(r[1].asText());
    EXPECT_EQ(undefined, (std::vector<std::string>{"not defined", "not defined", "not defined", "0"}));
}

TEST_F(ExportTest, ExcelSevenWritesAnExcelFiveWorkbook) {
    addSmrTable();
    ExportShownResult(state, ui, {}, DefaultSmrExportChoices(), ExportTargetFor(ExportFormatIndex("excel7"), dir_ + "/result.xls"));
    const BiffWorkbook book = BiffWorkbook::FromFile(dir_ + "/result.xls", "result");
    EXPECT_EQ(book.version(), 5);
    EXPECT_EQ(book.sheetNames(), std::vector<std::string>{"result"});
}

TEST_F(ExportTest, FailedExportLeavesTheOldFile) {
    addSmrTable("a;b");  // a semicolon no ASCII field can hold
    SmrExportChoices withProject = DefaultSmrExportChoices();
    withProject[14].exported = true;
    struct Case {
        const char* format;
        const char* file;
    };
    for (const Case& c : {Case{"text", "old.txt"}}) {
        SCOPED_TRACE(c.format);
        const std::string path = dir_ + "/" + c.file;
        std::ofstream(path, std::ios::binary) << "the user's file\r\n";
        EXPECT_THROW(ExportShownResult(state, ui, {}, withProject, ExportTargetFor(ExportFormatIndex(c.format), path)), VdxError);
        EXPECT_EQ(Bytes(path), "the user's file\r\n");
    }
    std::vector<std::string> left;  // no partial file beside the old ones
    for (const auto& e : std::filesystem::directory_iterator(dir_))
        if (e.path().filename().string().rfind("study.", 0) != 0) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"old.txt"}));
}

// The five Access choices write the same database of one table, named after the file.
TEST_F(ExportTest, EachAccessChoiceWritesADatabaseMdbtoolsReads) {
    addSmrTable();
    for (const char* format : {"access10", "access11", "access20", "access70", "access80"}) {
        SCOPED_TRACE(format);
        const std::string path = dir_ + "/" + format + ".mdb";
        ExportShownResult(state, ui, {}, DefaultSmrExportChoices(), ExportTargetFor(ExportFormatIndex(format), path));
        const std::string out = testing::CommandOutput("mdb-export -H -d '|' '" + path + "' " + format);
        EXPECT_EQ(out.substr(0, out.find("|")), "\"SMR\"");
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 7);
    }
}

TEST_F(ExportTest, LeftoverExportTableGoes) {
    addSmrTable();
    test::CreateTable(*db::Database::open(state.WorkingCopyName), "_export", "Description TEXT, Values TEXT");
    ExportShownResult(state, ui, {}, DefaultSmrExportChoices(), ExportTargetFor(ExportFormatIndex("html"), dir_ + "/r.htm"));
    EXPECT_FALSE(db::Database::open(state.WorkingCopyName)->tableExists("_export"));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/r.htm"));
}

TEST_F(ExportTest, SaveDialogChoosesFileAndFormat) {
    addSmrTable();
    MapSettings settings;
    ui.files.push_back(std::nullopt);  // cancelled: silent
    ui.files.push_back(FileDialogResult{dir_ + "/result.html", ExportFormatIndex("html")});
    EXPECT_FALSE(SaveTableAs(state, ui, {}, settings));
    EXPECT_TRUE(SaveTableAs(state, ui, {}, settings));
    EXPECT_TRUE(ui.messageTexts().empty());
    ASSERT_EQ(ui.fileDialogs.size(), 2u);
    EXPECT_EQ(ui.fileDialogs[0].request.title, "Save Table as ...");
    EXPECT_EQ(ui.fileDialogs[0].request.fileName, "*.txt");
    EXPECT_NE(Bytes(dir_ + "/result.html").find("125.00000000"), std::string::npos);
}

// The type follows the name typed; an existing file (the one written, with
// the extension the dialog did not show) is replaced only after a Yes.
TEST_F(ExportTest, SaveDialogAsksBeforeReplacingTheFileWritten) {
    addSmrTable();
    state.CurrentResultTable = "Lung_SMR";
    MapSettings settings;
    const std::string xlsx = dir_ + "/py_men.xlsx";
    std::ofstream(xlsx) << "KEEP";
    ui.files.push_back(FileDialogResult{xlsx, ExportFormatIndex("text")});
    ui.answers.push_back(Answer::No);
    EXPECT_FALSE(SaveTableAs(state, ui, {}, settings));
    EXPECT_EQ(Bytes(xlsx), "KEEP");
    ui.files.push_back(FileDialogResult{xlsx, ExportFormatIndex("text")});
    ui.answers.push_back(Answer::Yes);
    EXPECT_TRUE(SaveTableAs(state, ui, {}, settings));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, xlsx + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(Bytes(xlsx).substr(0, 2), "PK");  // a workbook, not semicolon text
    EXPECT_NE(testing::CommandOutput("unzip -p '" + xlsx + "' xl/workbook.xml").find("name=\"Lung_SMR\""),
              std::string::npos);  // the sheet is named after the result

    std::ofstream(dir_ + "/noext.dbf") << "KEEP";
    ui.files.push_back(FileDialogResult{dir_ + "/noext", ExportFormatIndex("dbase4")});
    ui.answers.push_back(Answer::No);
    EXPECT_FALSE(SaveTableAs(state, ui, {}, settings));
    EXPECT_EQ(ui.messages.back().text, dir_ + "/noext.dbf already exists.\nDo you want to replace it?");
    EXPECT_EQ(Bytes(dir_ + "/noext.dbf"), "KEEP");
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/noext"));

    // A read-only file is not replaced, even after a Yes.
    std::filesystem::permissions(dir_ + "/noext.dbf", std::filesystem::perms::owner_read);
    ui.files.push_back(FileDialogResult{dir_ + "/noext", ExportFormatIndex("dbase4")});
    EXPECT_FALSE(SaveTableAs(state, ui, {}, settings));
    EXPECT_NE(ui.messages.back().text.find("Number: 70"), std::string::npos) << ui.messages.back().text;
    EXPECT_EQ(Bytes(dir_ + "/noext.dbf"), "KEEP");
}

TEST_F(ExportTest, AMillionRowExportShowsProgressAndCancelLeavesTheOldFile) {
    const std::string path = dir_ + "/big.txt";
    std::ofstream(path, std::ios::binary) << "the user's file\r\n";
    constexpr uint64_t kRows = 1000000;
    uint64_t handedOver = 0;
    const auto next = [&handedOver](std::vector<Value>& row) {
        if (handedOver == kRows) return false;
        row = {Value::integer(static_cast<int64_t>(handedOver++))};
        return true;
    };
    const auto files = [this] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = files();
    ui.cancelAfterPolls = 50;
    EXPECT_FALSE(WriteExportRows(ui, {{"N", FieldType::Long, 0}}, kRows, next,
                                 ExportTargetFor(ExportFormatIndex("text"), path)));
    EXPECT_GT(ui.maxProgressValue, 0);
    EXPECT_LT(handedOver, kRows);  // stopped at the cancel, not at the end
    EXPECT_EQ(Bytes(path), "the user's file\r\n");
    EXPECT_EQ(files(), before);  // no partial file beside it
}

}  // namespace
}  // namespace vdx::exchange
