// veldrix-cli import and attach, run as a user runs them: the example
// cohort imported with its types shows exactly as the example study's
// cohort table; tables of other formats are attached and saved; wrong
// arguments and refused tables leave the project file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "attach_test_support.h"
#include "exchange/commands/attach_commands.h"
#include "exchange/io/file_formats.h"
#include "run_program.h"
#include "xlsx_workbook.h"

namespace {

namespace fs = std::filesystem;
using vdx::exchange::testing::ColumnTexts;
using vdx::exchange::testing::TableNames;

using vdx::test::CommandRun;
using vdx::test::ReadFile;

const std::string kExamples = VDX_EXAMPLES_DIR;
const std::string kFixtures = VDX_FIXTURES;

class CliAttach : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_attach_cli_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        study = dir + "/study.vdx";
        ASSERT_EQ(cli({"new", study}).status, 0);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    CommandRun cli(const std::vector<std::string>& args) {
        return vdx::test::RunProgram(VDX_CLI, args, dir);
    }
    std::string dir, study;
};

const std::vector<std::string> kCohortTypes = {
    "--type", "ID=Long",          "--type", "SEX=Integer",      "--type", "DOB=Date:DDMMYYYY",
    "--type", "DOH=Date:DDMMYYYY", "--type", "DOE=Date:DDMMYYYY", "--type", "DOX=Date:DDMMYYYY",
    "--type", "7=Integer"};

std::vector<std::string> Args(std::vector<std::string> head, const std::vector<std::string>& tail = {}) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST_F(CliAttach, TheExampleCohortImportedWithItsTypesShowsAsTheExampleStudysCohort) {
    const CommandRun r =
        cli(Args({"import", study, "--main", kExamples + "/cohort.txt", "--headers", "--name", "Cohort"}, kCohortTypes));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Cohort: main data table, 3000 rows"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  DOB\tdate"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir + "/study.vd~"));  // the working copy is gone, the file saved

    // The example study is read from a copy: a run on it makes its working
    // copy and lock beside it, which must not happen in the source tree.
    const std::string example = dir + "/example.vdx";
    fs::copy_file(kExamples + "/example.vdx", example);
    const CommandRun ours = cli({"show", study, "Cohort"});
    const CommandRun theirs = cli({"show", example, "Cohort"});
    ASSERT_EQ(ours.status, 0) << ours.err;
    EXPECT_EQ(ours.out, theirs.out);

    // The rate table, every column a double.
    std::vector<std::string> rateTypes;
    for (int c = 1; c <= 13; ++c) rateTypes.insert(rateTypes.end(), {"--type", std::to_string(c) + "=Double"});
    const CommandRun rates =
        cli(Args({"import", study, "--rate", kExamples + "/rates.txt", "--headers", "--name", "Rates"}, rateTypes));
    ASSERT_EQ(rates.status, 0) << rates.err;
    EXPECT_EQ(cli({"show", study, "Rates"}).out, cli({"show", example, "Rates"}).out);

    const CommandRun info = cli({"info", study});
    EXPECT_NE(info.out.find("MainTable: Cohort\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("intRateTablesAnzahl: 1\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("RateTables: Rates\n"), std::string::npos) << info.out;
}

TEST_F(CliAttach, YearOnlyDatesTakeTheirDayAndMonth) {
    std::ofstream(dir + "/years.txt") << "Name;Year\nSmith;1948\n";
    const CommandRun r = cli({"import", study, "--rate", dir + "/years.txt", "--headers", "--type",
                              "Year=Date:YYYY:01:07"});
    ASSERT_EQ(r.status, 0) << r.err;
    const CommandRun shown = cli({"show", study, "years"});
    // A rate table's dates are stored as dates: day 17715 is 1 July 1948.
    EXPECT_EQ(ColumnTexts(study, "years", "Year"), std::vector<std::string>{"17715"});
    EXPECT_NE(shown.out.find("Smith\t01.07.1948"), std::string::npos) << shown.out;
}

TEST_F(CliAttach, TablesOfEveryFileFormatAreAttachedAndSaved) {
    fs::copy_file(kFixtures + "/dbase/shapelib_db3.dbf", dir + "/PERSONS.DBF");
    fs::copy_file(kFixtures + "/paradox/pxlib_cohort.db", dir + "/rates.db");
    const CommandRun excel = cli({"attach", study, "--main", "--format", "excel8", kFixtures + "/excel/gnumeric_biff8.xls",
                                  "--table", "Cohort$"});
    ASSERT_EQ(excel.status, 0) << excel.err;
    EXPECT_NE(excel.out.find("Cohort: main data table, 3 rows"), std::string::npos) << excel.out;
    const CommandRun dbase = cli({"attach", study, "--rate", "--format", "dbase3", dir + "/PERSONS.DBF"});
    ASSERT_EQ(dbase.status, 0) << dbase.err;
    const CommandRun paradox = cli({"attach", study, "--rate", "--format", "paradox5", dir + "/rates.db"});
    ASSERT_EQ(paradox.status, 0) << paradox.err;
    // Without --table the chooser's first table: the first sheet.
    const CommandRun first = cli({"attach", study, "--rate", "--format", "excel5", kFixtures + "/excel/gnumeric_biff5.xls"});
    EXPECT_EQ(first.status, 1);  // Cohort is the main data table already; a rate table's message drops the "$"
    EXPECT_NE(first.err.find("Table Cohort already exist!"), std::string::npos) << first.err;

    EXPECT_EQ(ColumnTexts(study, "VdxSystemRateTables", "RateTables"), (std::vector<std::string>{"PERSONS", "rates"}));
    EXPECT_EQ(ColumnTexts(study, "VdxSystemMain", "Value")[1], "Cohort");
    EXPECT_EQ(ColumnTexts(study, "PERSONS", "NAME")[0], "Smith");
    const CommandRun shown = cli({"show", study, "Cohort"});
    EXPECT_NE(shown.out.find("Smith\t01.02.1950"), std::string::npos) << shown.out;
}

TEST_F(CliAttach, TodaysFormatsAreAttachedWithTheirDatesBefore1900) {
    struct Case {
        const char* format;
        const char* fixture;
        const char* copy;  // the file's name gives the table's
    };
    const Case cases[] = {{"xlsx", "cohort.xlsx", "book.xlsx"}, {"csv", "cohort.csv", "comma.csv"},
                          {"dta", "cohort.dta", "stata.dta"},   {"spss", "cohort.sav", "spss.sav"},
                          {"xpt", "cohort.xpt", "transport.xpt"}};
    for (const Case& c : cases) {
        fs::copy_file(kFixtures + "/modern/" + c.fixture, dir + "/" + c.copy);
        std::vector<std::string> args = {"attach", study, "--rate", "--format", c.format, dir + "/" + c.copy};
        const bool workbook = std::string(c.format) == "xlsx";
        if (workbook) args.insert(args.end(), {"--table", "Cohort$"});
        const CommandRun r = cli(args);
        ASSERT_EQ(r.status, 0) << c.format << r.err;
        const std::string table = workbook ? "Cohort" : fs::path(c.copy).stem().string();
        const CommandRun shown = cli({"show", study, table});
        EXPECT_NE(shown.out.find("15.03.1867"), std::string::npos) << c.format << shown.out;
    }
    EXPECT_EQ(ColumnTexts(study, "VdxSystemRateTables", "RateTables"),
              (std::vector<std::string>{"Cohort", "comma", "stata", "spss", "transport"}));
}

TEST_F(CliAttach, ACsvFileTakesTheSeparatorGivenInsteadOfTheDetectedOne) {
    std::ofstream(dir + "/mixed.csv") << "n,d;x\n1,1950-02-01;7\n";
    const CommandRun r = cli({"attach", study, "--rate", "--format", "csv", dir + "/mixed.csv", "--separator", ";"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ColumnTexts(study, "mixed", "n,d"), (std::vector<std::string>{"1,1950-02-01"}));
    EXPECT_EQ(ColumnTexts(study, "mixed", "x"), (std::vector<std::string>{"7"}));
}

TEST_F(CliAttach, RefusedTablesLeaveTheProjectFileAsItWas) {
    ASSERT_EQ(cli({"attach", study, "--main", "--format", "excel8", kFixtures + "/excel/xlwt_biff8.xls"}).status, 0);
    const std::string before = ReadFile(study);

    const CommandRun second = cli({"attach", study, "--main", "--format", "excel8", kFixtures + "/excel/xlwt_biff8.xls"});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("Main data table already exists!"), std::string::npos) << second.err;

    const CommandRun mismatch = cli({"import", study, "--rate", kExamples + "/cohort.txt", "--headers", "--name",
                                     "Persons", "--type", "ID=Date:DDMMYYYY"});
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_NE(mismatch.err.find("Description: Can't convert data in column 1 to Date"), std::string::npos)
        << mismatch.err;

    const CommandRun column = cli({"import", study, "--rate", kExamples + "/cohort.txt", "--headers", "--name",
                                   "Persons", "--type", "AGE=Integer"});
    const CommandRun taken = cli({"import", study, "--rate", kExamples + "/cohort.txt", "--headers"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.err.find("Table cohort already exist!"), std::string::npos) << taken.err;
    EXPECT_EQ(column.status, 1);
    EXPECT_NE(column.err.find("There is no column AGE"), std::string::npos) << column.err;

    const CommandRun missing = cli({"attach", study, "--rate", "--format", "dbase4", dir + "/none.dbf"});
    EXPECT_EQ(missing.status, 1);
    std::ofstream(dir + "/bad.dbf") << std::string(100, 'x');
    const CommandRun bad = cli({"attach", study, "--rate", "--format", "dbase4", dir + "/bad.dbf"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("Table bad has wrong format!"), std::string::npos) << bad.err;

    EXPECT_EQ(ReadFile(study), before);
    EXPECT_FALSE(fs::exists(dir + "/study.vd~"));
}

// The new table's name is settled first: a name taken is refused before
// anything is read, with the way out (--name); a file name that is not
// UTF-8 is read as Windows-1252. import takes --rate-unit as attach does.
TEST_F(CliAttach, TheNewTablesNameIsSettledFirst) {
    std::ofstream(dir + "/rates.csv") << "age,rate\n40,2.5\n";
    ASSERT_EQ(cli({"attach", study, "--rate", "--format", "csv", dir + "/rates.csv"}).status, 0);
    const CommandRun taken = cli({"attach", study, "--rate", "--format", "csv", dir + "/rates.csv", "--rate-unit", "1000"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(taken.err, "Table rates already exist!\nThe study holds a table of that name; nothing was added. Give the "
                         "new table another name with --name NAME.\n");
    const CommandRun named =
        cli({"attach", study, "--rate", "--format", "csv", dir + "/rates.csv", "--rate-unit", "1000", "--name", "Rates2"});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(ColumnTexts(study, "Rates2", "rate"), std::vector<std::string>{"0.0025"});

    std::ofstream(dir + "/r.txt") << "40;2.5\n";
    const CommandRun imported = cli({"import", study, "--rate", dir + "/r.txt", "--type", "2=Double", "--rate-unit", "100000"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(ColumnTexts(study, "r", "Var2"), std::vector<std::string>{"2.5e-05"});

    std::ofstream(dir + "/coh\xe9.csv") << "id\n1\n";
    const CommandRun latin = cli({"attach", study, "--main", "--format", "csv", dir + "/coh\xe9.csv"});
    ASSERT_EQ(latin.status, 0) << latin.err;
    EXPECT_NE(latin.err.find("the table is named coh\xc3\xa9."), std::string::npos) << latin.err;
    EXPECT_EQ(ColumnTexts(study, "VdxSystemMain", "Value")[1], "coh\xc3\xa9");
}

TEST_F(CliAttach, ACutShortAccessFileShowsOnlyOurMessage) {
    // mdbtools writes a line for every page it misses; the reader keeps that to itself.
    const std::string whole = ReadFile(kFixtures + "/damaged/mdbtools_crash.mdb");
    std::ofstream(dir + "/cut.mdb", std::ios::binary) << whole.substr(0, 20000);
    const std::string before = ReadFile(study);
    const CommandRun r = cli({"attach", study, "--rate", "--format", "access", dir + "/cut.mdb"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Following error has occured:\nNumber: 3343\nDescription: Unrecognized database format '" + dir +
                         "/cut.mdb'.\n");
    EXPECT_EQ(ReadFile(study), before);
}

TEST_F(CliAttach, WrongArgumentsAreUsageErrors) {
    const std::string txt = kExamples + "/rates.txt";
    const std::string before = ReadFile(study);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"import", study, txt},                                  // neither --main nor --rate
             {"import", study, "--main", "--rate", txt},              // both
             {"import", study, "--main", txt, "--type", "1=Date"},    // a date without its layout
             {"import", study, "--main", txt, "--type", "1=Date:YYMMDD"},
             {"import", study, "--main", txt, "--type", "1=Date:YYYY:32:01"},
             {"import", study, "--main", txt, "--type", "Integer"},   // no column
             {"import", study, "--main"},
             {"attach", study, "--main", "--format", "lotus", txt},
             {"attach", study, "--main", txt},                         // no format
             {"attach", study, "--rate", "--format", "dbase3", txt, "--table", "x"},
             {"attach", study, "--rate", "--format", "csv", txt, "--separator", "|"},
             {"attach", study, "--rate", "--format", "dbase3", txt, "--separator", ","},
             {"attach", study, "--rate", "--work-history", "--format", "csv", txt},
             {"attach", study, "--main", "--format", "csv", txt, "--id", "ID"},  // a column role without --work-history
             {"attach", study, "--work-history", "--format", "odbc", "DSN=x"},
         }) {
        const CommandRun r = cli(args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args.back();
        EXPECT_NE(r.err.find("usage: veldrix-cli " + args[0]), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFile(study), before);
    const CommandRun help = cli({"--help"});
    EXPECT_NE(help.out.find("import STUDY.vdx (--main | --rate) FILE"), std::string::npos);
    EXPECT_NE(help.out.find("attach STUDY.vdx (--main | --rate | --causes | --work-history) --format FORMAT SOURCE"), std::string::npos);
}

TEST_F(CliAttach, EveryFormatOfTheTableIsNamedInTheHelpAndTakenByItsCommands) {
    const std::string help = cli({"--help"}).out;
    // A command's entry: its usage line and its summary line.
    const auto entry = [&help](const std::string& command) {
        const size_t start = help.find("  " + command + " STUDY.vdx");
        return start == std::string::npos ? std::string() : help.substr(start, help.find('\n', help.find("\n      ", start) + 1) - start);
    };
    const std::string attachHelp = entry("attach"), exportHelp = entry("export");
    // A name in a list "a, b or c" that ends in ")" or ";".
    const auto lists = [](const std::string& text, const std::string& name) {
        for (const char* end : {",", ")", ";", " "})
            if (text.find(" " + name + end) != std::string::npos) return true;
        return false;
    };
    const std::string missing = dir + "/missing.file";
    for (const vdx::exchange::FileFormat& f : vdx::exchange::FileFormats()) {
        const bool attachable = f.reader && &f != &vdx::exchange::FormatNamed("text");  // ASCII: veldrix-cli import
        // Help lists a format by its first name.
        EXPECT_EQ(lists(attachHelp, f.cliNames.front()), attachable) << f.cliNames.front() << " in " << attachHelp;
        EXPECT_EQ(lists(exportHelp, f.cliNames.front()), f.exportIndex > 0) << f.cliNames.front() << " in " << exportHelp;
        for (const std::string& name : f.cliNames) {
            // Taken: the command gets as far as the missing file (1), not a usage error (2).
            const int attach = cli({"attach", study, "--main", "--format", name, missing}).status;
            EXPECT_EQ(attach, attachable ? 1 : 2) << "attach --format " << name;
            const int exported = cli({"export", missing, "Age*Calendar", dir + "/out", "--format", name}).status;
            EXPECT_EQ(exported, f.exportIndex > 0 ? 1 : 2) << "export --format " << name;
        }
    }
}

// A long rate table (one row per sex x age x year) from a CSV file and from
// a workbook: stored as read, its layout and unit recorded; a table whose
// rate is negative or whose named column is missing is refused in words
// and the project file stays as it was.
TEST_F(CliAttach, ALongRateTableFromCsvAndXlsxIsStoredWithItsLayout) {
    std::ofstream(dir + "/office.csv") << "sex,age,year,rate\n1,40,1990,2.5\n2,40,1990,1.25\n";
    auto cell = [](const std::string& ref, const std::string& v, bool text) {
        return text ? "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + v + "</t></is></c>"
                    : "<c r=\"" + ref + "\"><v>" + v + "</v></c>";
    };
    std::string rows = "<row r=\"1\">" + cell("A1", "sex", true) + cell("B1", "age", true) + cell("C1", "year", true) +
                       cell("D1", "rate", true) + "</row>";
    rows += "<row r=\"2\">" + cell("A2", "1", false) + cell("B2", "40", false) + cell("C2", "1990", false) +
            cell("D2", "2.5", false) + "</row>";
    rows += "<row r=\"3\">" + cell("A3", "2", false) + cell("B3", "40", false) + cell("C3", "1990", false) +
            cell("D3", "1.25", false) + "</row>";
    vdx::testing::WriteXlsx(dir + "/office.xlsx", vdx::testing::SheetXml(rows));
    const std::vector<std::string> layout = {"--layout", "long", "--age", "age", "--year", "year", "--sex", "sex",
                                             "--rate-column", "rate", "--rate-unit", "1000"};
    struct Case {
        const char* format;
        const char* file;
        const char* name;
    };
    for (const Case& c : {Case{"csv", "office.csv", "CsvRates"}, Case{"xlsx", "office.xlsx", "XlsxRates"}}) {
        const CommandRun r = cli(Args({"attach", study, "--rate", "--format", c.format, dir + "/" + c.file, "--name", c.name}, layout));
        ASSERT_EQ(r.status, 0) << c.format << r.err;
        EXPECT_EQ(ColumnTexts(study, c.name, "rate"), (std::vector<std::string>{"2.5", "1.25"})) << c.format;
    }
    EXPECT_EQ(ColumnTexts(study, "VdxRateLayouts", "TableName"), (std::vector<std::string>{"CsvRates", "XlsxRates"}));
    EXPECT_EQ(ColumnTexts(study, "VdxRateLayouts", "SexColumn"), (std::vector<std::string>{"sex", "sex"}));
    EXPECT_EQ(ColumnTexts(study, "VdxRateLayouts", "RateUnit"), (std::vector<std::string>{"1000.0", "1000.0"}));

    const std::string before = ReadFile(study);
    std::ofstream(dir + "/negative.csv") << "sex,age,year,rate\n1,40,1990,-1\n";
    struct Refusal {
        std::vector<std::string> args;
        const char* said;
    };
    const Refusal refusals[] = {
        {Args({"attach", study, "--rate", "--format", "csv", dir + "/negative.csv"}, layout),
         "Row 1 of the rate table 'negative', column 'rate' (rate) holds -1"},
        {{"attach", study, "--rate", "--format", "csv", dir + "/office.csv", "--name", "Other", "--layout", "long",
          "--age", "age", "--year", "calendar", "--rate-column", "rate"},
         "The rate table 'Other' has no column 'calendar'"}};
    for (const Refusal& f : refusals) {
        const CommandRun r = cli(f.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(f.said), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFile(study), before);
}

}  // namespace

namespace {

// A work history is registered with the columns of its roles, found by their
// names or named; without its id, start and end nothing is added.
TEST_F(CliAttach, AWorkHistoryIsRegisteredWithTheColumnsOfItsRoles) {
    struct Case {
        const char* header;
        std::vector<std::string> options;
        std::vector<std::string> registered;  // id, start, end, intensity, job; empty: refused
    } cases[] = {
        {"PersonID,Start,End,Intensity,Job", {}, {"PersonID", "Start", "End", "Intensity", "Job"}},
        {"pid,d1,d2,lvl", {"--start", "d1", "--end", "d2", "--intensity", "lvl"}, {"pid", "d1", "d2", "lvl", ""}},
        {"pid,d1,d2", {}, {}},
        {"pid,d1,d2", {"--start", "d1", "--end", "nosuch"}, {}},
    };
    const char* roles[] = {"IdColumn", "StartColumn", "EndColumn", "IntensityColumn", "JobColumn"};
    int added = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const std::string file = dir + "/work" + std::to_string(&c - cases) + ".csv";
        std::ofstream(file) << c.header << "\n1,1970-01-01,1975-12-31,2.5\n";
        const std::string before = ReadFile(study);
        const CommandRun r = cli(Args({"attach", study, "--work-history", "--format", "csv", file}, c.options));
        if (c.registered.empty()) {
            EXPECT_NE(r.status, 0);
            EXPECT_EQ(ReadFile(study), before);
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.err << r.out;
        ++added;
        std::vector<std::string> row;
        for (const char* role : roles) row.push_back(ColumnTexts(study, "VdxWorkHistories", role).back());
        EXPECT_EQ(row, c.registered);
        EXPECT_EQ(ColumnTexts(study, "VdxWorkHistories", "Name").back(), fs::path(file).stem().string());
    }
    EXPECT_EQ(ColumnTexts(study, "VdxWorkHistories", "Name").size(), static_cast<size_t>(added));
}

}  // namespace
