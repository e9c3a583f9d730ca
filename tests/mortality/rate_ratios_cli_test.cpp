// From end to end, headless: the example study's person-years by cumulative
// exposure (veldrix-cli pyears --by), then veldrix-cli rate-ratios for lung
// cancer adjusted for age, calendar period and sex. Its strata cells are
// those kept in rate_ratios/lung_strata.csv and its table equals what R's
// glm makes of them (lung_rate_ratios.csv, by lung_reference.R there); the
// stored analysis is plotted.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run_program.h"

namespace {

namespace fs = std::filesystem;
using vdx::test::CommandRun;
using vdx::test::ReadFile;

std::vector<std::vector<std::string>> Rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream s(line);
        for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
        if (!line.empty() && line.back() == ',') fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

class RateRatiosCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_rate_ratios_cli_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        fs::copy_file(std::string(VDX_EXAMPLES_DIR) + "/example.vdx", dir + "/study.vdx");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    CommandRun cli(const std::vector<std::string>& args) { return vdx::test::RunProgram(VDX_CLI, args, dir); }
    // The person-years by cumulative exposure, by sex.
    void byCumulativeExposure();
    std::string dir;
};

void RateRatiosCli::byCumulativeExposure() {
    const std::string study = dir + "/study.vdx";
    // One period of work a person, of 1 to 23 years at an intensity of 0.5 to 4.
    {
        std::ofstream work(dir + "/work.csv");
        work << "PersonID,Start,End,Intensity\n";
        for (int id = 1; id <= 3000; ++id) {
            const int year = 1940 + id % 50;
            work << id << "," << year << "-03-01," << year + 1 + id % 23 << "-02-28," << 0.5 * (1 + id % 8) << "\n";
        }
    }
    ASSERT_EQ(cli({"attach", study, "--work-history", "--format", "csv", dir + "/work.csv"}).status, 0);
    const CommandRun py = cli({"pyears", study, "--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "15:85:5",
                               "--calendar", "1950:2015:5", "--sex", "SEX=1,2", "--by", "cumulative:0,1,5,20",
                               "--work-history", "work", "--id", "ID"});
    ASSERT_EQ(py.status, 0) << py.err << py.out;
}

}  // namespace

TEST_F(RateRatiosCli, LungCancerByCumulativeExposureEqualsRsGlmOnTheSameStrata) {
    const std::string study = dir + "/study.vdx";
    ASSERT_NO_FATAL_FAILURE(byCumulativeExposure());
    const CommandRun cells = cli({"rate-ratios", study, "--death", "ICD=162", "--cells"});
    ASSERT_EQ(cells.status, 0) << cells.err;
    EXPECT_EQ(cells.out, ReadFile(std::string(VDX_RATE_RATIO_DATA) + "/lung_strata.csv"));

    const CommandRun fit =
        cli({"rate-ratios", study, "--death", "ICD=162", "--adjust", "age,calendar,sex", "--name", "Lung"});
    ASSERT_EQ(fit.status, 0) << fit.err;
    // The notes name the levels by their labels.
    EXPECT_NE(fit.err.find("The age class 15–19 has no deaths"), std::string::npos) << fit.err;
    EXPECT_NE(fit.err.find("The calendar period 1955–1959 has no deaths"), std::string::npos) << fit.err;
    const auto got = Rows(fit.out);
    const auto expected = Rows(ReadFile(std::string(VDX_RATE_RATIO_DATA) + "/lung_rate_ratios.csv"));
    ASSERT_EQ(got.size(), expected.size()) << fit.out;
    for (size_t r = 0; r < got.size(); ++r) {
        ASSERT_EQ(got[r].size(), expected[r].size()) << fit.out;
        EXPECT_EQ(got[r][0], expected[r][0]);
        for (size_t f = 1; r > 0 && f < got[r].size(); ++f) {
            // To 1e-6, relative for the small p-values.
            const double a = std::stod(got[r][f]), b = std::stod(expected[r][f]);
            EXPECT_NEAR(a, b, 1e-6 * std::max(1.0, std::fabs(b))) << got[r][0] << " field " << f;
        }
    }
    const CommandRun report = cli({"report", study, "Lung"});
    EXPECT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find("Heterogeneity between the categories"), std::string::npos) << report.out;
    const CommandRun plot = cli({"plot", study, "rate-ratios", "Lung", "--out", dir + "/lung.png"});
    EXPECT_EQ(plot.status, 0) << plot.err;
    EXPECT_GT(fs::file_size(dir + "/lung.png"), 1000u);
}

// A cause of a list (the second of two, the same codes in every revision;
// the range keeps the code columns text) gives the cells of the equivalent
// code group.
TEST_F(RateRatiosCli, ACauseOfAListCountsTheDeathsOfItsCodes) {
    const std::string study = dir + "/study.vdx";
    ASSERT_NO_FATAL_FAILURE(byCumulativeExposure());
    std::ofstream(dir + "/lists.csv")
        << "cause,icd10,icd9,icd8,icd7\nStomach,150-151,150-151,150-151,150-151\nLung,162,162,162,162\n";
    ASSERT_EQ(cli({"attach", study, "--causes", "--format", "csv", dir + "/lists.csv", "--name", "Mine"}).status, 0);
    const CommandRun byCause = cli({"rate-ratios", study, "--death", "ICD", "--cause", "Mine:Lung", "--cells"});
    ASSERT_EQ(byCause.status, 0) << byCause.err;
    EXPECT_EQ(byCause.out, ReadFile(std::string(VDX_RATE_RATIO_DATA) + "/lung_strata.csv"));
}
