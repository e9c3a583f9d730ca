// The example study and the headless commands over it: the generator makes
// the committed files again, veldrix-cli pyears gives the tables the
// generator's run stored, refuses what the dialogs refuse without touching
// the file, and veldrix-cli show prints the grids.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "run_program.h"
#include "state/messages.h"

namespace {

namespace fs = std::filesystem;

using vdx::test::CommandRun;
using vdx::test::ReadFile;

class ExampleStudy : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_py_cli_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        // Never work on the committed file itself: commands make a working copy beside it.
        fs::copy_file(std::string(VDX_EXAMPLES_DIR) + "/example.vdx", dir + "/stored.vdx");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    CommandRun run(const std::string& program, const std::vector<std::string>& args) {
        return vdx::test::RunProgram(program, args, dir);
    }
    CommandRun cli(const std::vector<std::string>& args) { return run(VDX_CLI, args); }
    std::string copy(const std::string& name) {
        fs::copy_file(dir + "/stored.vdx", dir + "/" + name);
        return dir + "/" + name;
    }
    std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    // The "(N days)" of pyears' summary line.
    std::string daysOf(const std::string& out) {
        const auto at = out.find("Person-years in Age*Calendar: ");
        if (at == std::string::npos) return "?";
        const auto open = out.find('(', at), close = out.find(" days)", at);
        return out.substr(open + 1, close - open - 1);
    }
    std::string dir;
    const std::vector<std::string> standard = {"--dob", "DOB", "--entry", "DOE", "--exit", "DOX",
                                               "--age", "15:85:5", "--calendar", "1950:2015:5"};
};

std::vector<std::string> With(std::vector<std::string> base, std::initializer_list<std::string> more) {
    base.insert(base.end(), more);
    return base;
}

}  // namespace

TEST_F(ExampleStudy, TheGeneratorMakesTheCommittedFilesAgain) {
    const CommandRun made = run(VDX_MAKE_EXAMPLE, {dir + "/made"});
    ASSERT_EQ(made.status, 0) << made.err;
    for (const char* file : {"cohort.txt", "rates.txt"})
        EXPECT_EQ(ReadFile(dir + "/made/" + file), ReadFile(std::string(VDX_EXAMPLES_DIR) + "/" + file)) << file;
    EXPECT_EQ(lines(ReadFile(dir + "/made/cohort.txt")).size(), 3001u);
    EXPECT_EQ(lines(ReadFile(dir + "/made/rates.txt")).size(), 15u);  // header, 14 age classes
    for (const char* table : {"Age*Calendar", "Age*Calendar*Sex=1", "Age*Calendar*Sex=2", "Cohort", "Rates"}) {
        const CommandRun a = cli({"show", dir + "/made/example.vdx", table});
        const CommandRun b = cli({"show", dir + "/stored.vdx", table});
        ASSERT_EQ(a.status, 0) << a.err;
        EXPECT_EQ(a.out, b.out) << table;
    }
}

TEST_F(ExampleStudy, PyearsWithSexAndLagGivesTheTablesOfTheExample) {
    const std::string study = copy("again.vdx");
    std::vector<std::string> args{"pyears", study};
    args.insert(args.end(), standard.begin(), standard.end());
    const CommandRun r = cli(With(args, {"--sex", "SEX=1,2", "--lag", "DOH=10"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Persons read: 3000 rows"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir + "/again.vd~"));  // the working copy is gone
    for (const char* table : {"Age*Calendar", "Age*Calendar*Sex=1", "Age*Calendar*Sex=2"}) {
        const CommandRun a = cli({"show", study, table});
        const CommandRun b = cli({"show", dir + "/stored.vdx", table});
        ASSERT_EQ(a.status, 0) << a.err;
        EXPECT_EQ(a.out, b.out) << table;
    }
}

TEST_F(ExampleStudy, ShowPrintsThePersonYearsGridTabSeparated) {
    const CommandRun r = cli({"show", dir + "/stored.vdx", "Age*Calendar*Sex=2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 15u);  // header row and 14 age classes
    // Both ends of a class are ages (years) reached: 15–19 is [15, 20).
    EXPECT_EQ(rows[0].rfind("Age class\t1950\u20131954\t1955\u20131959\t", 0), 0u) << rows[0];
    EXPECT_EQ(rows[1].rfind("15\u201319\t", 0), 0u) << rows[1];
    EXPECT_EQ(rows[14].rfind("80\u201384\t", 0), 0u) << rows[14];
    for (const auto& row : rows) EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 13) << row;
    EXPECT_EQ(cli({"show", dir + "/stored.vdx", "Age*Calendar*Sex=3"}).status, 1);
}

TEST_F(ExampleStudy, ShowPrintsTheMainDataTableWithDatesAsTheGridShowsThem) {
    const CommandRun r = cli({"show", dir + "/stored.vdx", "Cohort"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 3001u);
    EXPECT_EQ(rows[0], "ID\tSEX\tDOB\tDOH\tDOE\tDOX\tICD");
    // The file's first worker, its dates DDMMYYYY in cohort.txt.
    std::string first = lines(ReadFile(std::string(VDX_EXAMPLES_DIR) + "/cohort.txt"))[1];
    if (!first.empty() && first.back() == '\r') first.pop_back();
    std::vector<std::string> fields;
    std::istringstream in(first);
    for (std::string f; std::getline(in, f, ';');) fields.push_back(f);
    ASSERT_EQ(fields.size(), 7u);
    std::string expected = fields[0] + "\t" + fields[1];
    for (int i = 2; i <= 5; ++i)
        expected += "\t" + fields[i].substr(0, 2) + "." + fields[i].substr(2, 2) + "." + fields[i].substr(4);
    expected += "\t" + fields[6];
    EXPECT_EQ(rows[1], expected);
}

TEST_F(ExampleStudy, ShowRefusesATableTheFileDoesNotHold) {
    const CommandRun r = cli({"show", dir + "/stored.vdx", "Nope"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Nope"), std::string::npos);
}

TEST_F(ExampleStudy, SelfDefinedClassesCoverTheSameDaysAsTheRegularSeries) {
    const std::string regular = copy("regular.vdx"), listed = copy("listed.vdx");
    const CommandRun a = cli({"pyears", regular, "--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "15:85:5",
                       "--calendar", "1950:2015:5"});
    ASSERT_EQ(a.status, 0) << a.err;
    const CommandRun b = cli({"pyears", listed, "--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age-classes",
                       "15-24,25-44,45-64,65-84", "--calendar-classes", "1950-1969,1970-1989,1990-2014"});
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(daysOf(a.out), daysOf(b.out));
    EXPECT_NE(daysOf(a.out), "0");
    const auto rows = lines(cli({"show", listed, "Age*Calendar"}).out);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], "Age class\t1950\u20131969\t1970\u20131989\t1990\u20132014");
    EXPECT_EQ(rows[2].rfind("25\u201344\t", 0), 0u) << rows[2];
    // Without sex stratification the sex tables are gone.
    EXPECT_EQ(cli({"show", listed, "Age*Calendar*Sex=1"}).status, 1);
}

TEST_F(ExampleStudy, RefusedSettingsShowTheDialogsMessagesAndLeaveTheFileAsItWas) {
    const std::string study = copy("refused.vdx");
    const std::string before = ReadFile(study);
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    using vdx::Message;
    const Case cases[] = {
        {With(standard, {"--sex", "SEX=1;2"}), Message(24)},
        {With(standard, {"--sex", "SEX=1,1"}), Message(27)},
        {With(standard, {"--sex", "DOB=1,2"}), Message(25)},
        {With(standard, {"--sex", "GENDER=1,2"}), "no column 'GENDER'"},
        {With(standard, {"--lag", "DOH=101"}), Message(15)},
        {With(standard, {"--lag", "SEX=10"}), Message(14)},
        {{"--dob", "ICD", "--entry", "DOE", "--exit", "DOX", "--age", "15:85:5", "--calendar", "1950:2015:5"}, Message(5)},
        {{"--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "50:20:5", "--calendar", "1950:2015:5"}, Message(10)},
        {{"--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "15:85:5", "--calendar", "2015:1950:5"}, Message(11)},
        {{"--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "abc:85:5", "--calendar", "1950:2015:5"}, Message(10)},
        {{"--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "15:85:5", "--calendar", ":2015:5"}, Message(11)},
        {{"--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "15:85:2.5", "--calendar", "1950:2015:5"},
         "Step holds 2.5, which is not a whole number"},
        {{"--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age-classes", "20-24,26-29", "--calendar",
          "1950:2015:5"},
         Message(10)},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"pyears", study};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandRun r = cli(args);
        EXPECT_EQ(r.status, 1) << c.said;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << c.said << ": " << r.err;
        EXPECT_EQ(ReadFile(study), before) << c.said;
    }
}

TEST_F(ExampleStudy, MissingArgumentsAreAUsageError) {
    const std::string study = copy("usage.vdx");
    EXPECT_EQ(cli({"pyears", study, "--dob", "DOB", "--entry", "DOE", "--age", "15:85:5", "--calendar",
                   "1950:2015:5"})
                  .status,
              2);
    EXPECT_EQ(cli({"pyears", study, "--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "15:85:5",
                   "--age-classes", "15-24", "--calendar", "1950:2015:5"})
                  .status,
              2);
    EXPECT_EQ(cli({"show", study}).status, 2);
}

// Exposure from end to end, headless: a work history attached, the
// person-years by cumulative exposure lagged 10 years, then the SMR per
// category, whose total is the SMR of the whole cohort.
TEST_F(ExampleStudy, PersonYearsAndSmrByCumulativeExposureAddUpToTheWholeCohort) {
    const std::string study = copy("exposure.vdx");
    // One or two periods a person, at intensities 0.5 to 4.
    std::string work = "PersonID,Start,End,Intensity\n";
    for (int id = 1; id <= 3000; ++id) {
        const int year = 1940 + id % 50;
        work += std::to_string(id) + "," + std::to_string(year) + "-03-01," + std::to_string(year + 1 + id % 23) +
                "-02-28," + std::to_string(0.5 * (1 + id % 8)) + "\n";
        if (id % 3 == 0)
            work += std::to_string(id) + "," + std::to_string(year + 25) + "-01-01," + std::to_string(year + 30) +
                    "-12-31,1\n";
    }
    {
        std::ofstream(dir + "/work.csv") << work;
    }
    ASSERT_EQ(cli({"attach", study, "--work-history", "--format", "csv", dir + "/work.csv"}).status, 0);
    std::vector<std::string> args{"pyears", study};
    args.insert(args.end(), standard.begin(), standard.end());
    const CommandRun py = cli(With(args, {"--sex", "SEX=1,2", "--by", "cumulative:0,1,5,20", "--work-history", "work",
                                          "--id", "ID", "--exposure-lag", "10"}));
    ASSERT_EQ(py.status, 0) << py.err << py.out;
    // Every day of follow-up has a value of 0 or more: the categories hold them all.
    const auto at = py.out.find("Person-years in the categories: ");
    ASSERT_NE(at, std::string::npos) << py.out;
    const std::string line = py.out.substr(at, py.out.find('\n', at) - at);
    EXPECT_NE(line.find("(" + daysOf(py.out) + " days)"), std::string::npos) << py.out;
    EXPECT_NE(py.out.find("Days below the first bound (0), in no category: 0"), std::string::npos) << py.out;
    EXPECT_EQ(cli({"show", study, "Age*Calendar*Sex=2*Cumulative=5-20"}).status, 0);

    const CommandRun smr = cli({"smr", study, "--rate", "Rates", "--death", "ICD=162"});
    ASSERT_EQ(smr.status, 0) << smr.err;
    const CommandRun table = cli({"categories", study, "--rate", "Rates", "--death", "ICD=162", "--name", "Lung"});
    ASSERT_EQ(table.status, 0) << table.err << table.out;
    const auto rows = lines(table.out);
    ASSERT_EQ(rows.size(), 6u) << table.out;  // header, 4 categories, total
    EXPECT_EQ(rows[0], "category,days,person_years,observed,expected,smr,low,high");
    auto fields = [](const std::string& line) {
        std::vector<std::string> out;
        std::istringstream in(line);
        for (std::string f; std::getline(in, f, ',');) out.push_back(f);
        return out;
    };
    double days = 0, observed = 0, expected = 0;
    for (size_t r = 1; r <= 4; ++r) {
        const auto f = fields(rows[r]);
        EXPECT_EQ(f[0], (std::vector<std::string>{"", "0-1", "1-5", "5-20", "20+"}[r]));
        days += std::stod(f[1]);
        observed += std::stod(f[3]);
        expected += std::stod(f[4]);
    }
    const auto total = fields(rows[5]);
    ASSERT_EQ(total.size(), 8u);
    EXPECT_EQ(total[0], "total");
    EXPECT_EQ(std::stod(total[1]), days);
    EXPECT_EQ(total[1], daysOf(py.out));
    EXPECT_EQ(std::stod(total[3]), observed);
    EXPECT_NEAR(std::stod(total[4]), expected, 1e-9 * expected);
    // The report of the whole cohort's SMR: "Observed Cases: O", "Expected Cases: E".
    auto reported = [&](const std::string& label) {
        const auto p = smr.out.find(label);
        return p == std::string::npos ? -1.0 : std::stod(smr.out.substr(p + label.size()));
    };
    EXPECT_EQ(std::stod(total[3]), reported("Observed Cases: "));
    EXPECT_NEAR(std::stod(total[4]), reported("Expected Cases: "), 1e-7);
    EXPECT_NEAR(std::stod(total[5]), std::stod(total[3]) / std::stod(total[4]), 1e-12);
    EXPECT_LT(std::stod(total[6]), std::stod(total[5]));
    EXPECT_GT(std::stod(total[7]), std::stod(total[5]));
    // Stored as an analysis of the study.
    EXPECT_EQ(cli({"show", study, "Lung_Categories"}).status, 0);
}
