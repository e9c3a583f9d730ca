// The SMR report: every line of a stored project's report, the spacing of
// the bound heading and column titles, the null value, a project without
// expected deaths, and the heading of the report options.
#include "mortality_test_support.h"

#include "mortality/smr_report.h"
#include "state/errors.h"
#include "state/messages.h"

using namespace vdx;

namespace {

class SmrReport : public vdx::test::MortalityTest {
protected:
    // An SMR table as Compute stores it, with the figures of the test.
    void storeSmrTable(const std::string& project, double smr, double low, double high, double observed,
                       double expected, const std::string& method) {
        auto d = open();
        test::CreateTable(*d, project + "_SMR", "Typ TEXT, Values TEXT, Figures DOUBLE");
        auto rs = d->openRecordset(project + "_SMR");
        struct Row {
            const char* typ;
            Value values, figures;
        } rows[] = {
            {"ProjectName", Value::text(project), {}}, {"RateTable", Value::text("Rates"), {}},
            {"PyTable", Value::text("Age*Calendar*Sex=1"), {}}, {"Alpha", Value::text("0.05"), {}},
            {"varDTH", Value::text("ICD"), {}}, {"varTod", {}, Value::real(162)},
            {"totTote", {}, Value::real(observed)}, {"totPy", {}, Value::real(52341.123456789)},
            {"totDthRate", {}, Value::real(observed / 52341.123456789)}, {"Expected", {}, Value::real(expected)},
            {"Smr", {}, Value::real(smr)}, {"Smr_l", {}, Value::real(low)}, {"Smr_h", {}, Value::real(high)},
            {"N", {}, Value::real(3000)}, {"NInc", {}, Value::real(2874)}, {"Lag", {}, Value::real(10)},
            {"Method", Value::text(method), {}}, {"MainTable", Value::text("Cohort"), {}},
            {"valuesDTH", Value::text("162"), {}},
        };
        for (const auto& r : rows) {
            rs->addNew();
            rs->setValue("Typ", Value::text(r.typ));
            rs->setValue("Values", r.values);
            rs->setValue("Figures", r.figures);
            rs->update();
        }
    }
};

}  // namespace

TEST_F(SmrReport, EveryLineOfTheReportWithTheBoundsSpacedOverTheirColumns) {
    storeSmrTable("Project1", 1.5, 1.105, 2.1987654321, 33, 22, "Byar");
    const std::string report = mortality::BuildSmrReport(state, "Project1_SMR");
    const std::string expected =
        "\r\n"
        "VELDRIX - PersonYears and Mortality Computation Program\r\n"
        "\r\n"
        "\r\n"
        "Project   : Project1\r\n"
        "Main Table: Cohort\r\n"
        "Rate Table: Rates\r\n"
        "PY Table  : Age*Calendar*Sex=1\r\n"
        "\r\n"
        "Death Variable: ICD\r\n"
        "Death Values  : 162\r\n"
        "\r\n"
        "N         : 3000\r\n"
        "N Included: 2874\r\n"
        "Lag       : 10\r\n"
        "\r\n"
        "Null Value: SMR=100\r\n"
        "\r\n"
        "                   95% Confidence Bounds\r\n"
        "     SMR           Lower           Upper        Method\r\n"
        "------------------------------------------------------\r\n"
        "150.00000000    110.50000000    219.87654321    Byar\r\n"
        "\r\n"
        "Observed Cases: 33\r\n"
        "Expected Cases: 22.00000000\r\n"
        "\r\n"
        "Person Years: 52341.12345679\r\n"
        "Death Rate  : 0.00063048";
    EXPECT_EQ(report, expected);
    EXPECT_EQ(state.mortality.ShownObserved, "33");
    EXPECT_EQ(state.mortality.ShownExpected, "22");
    EXPECT_EQ(state.mortality.ShownAlpha, "0.05");
    EXPECT_EQ(state.mortality.ShownMethod, "Byar");
}

TEST_F(SmrReport, TheNullValueScalesTheRatioAndItsBoundsOnly) {
    storeSmrTable("Project1", 1.5, 1.105, 2.1987654321, 33, 22, "Chi Square");
    state.SmrNullValue = 1;
    const std::string report = mortality::BuildSmrReport(state, "Project1_SMR");
    EXPECT_NE(report.find("Null Value: SMR=1\r\n"), std::string::npos);
    EXPECT_NE(report.find("\r\n1.50000000    1.10500000    2.19876543    Chi Square\r\n"), std::string::npos) << report;
    // Shorter figures move the titles: 10 characters each.
    EXPECT_NE(report.find("\r\n               95% Confidence Bounds\r\n"), std::string::npos) << report;
    const std::string titles = std::string(4, ' ') + "SMR" + std::string(7 + 2, ' ') + "Lower" +
                               std::string(7 + 2, ' ') + "Upper" + std::string(7, ' ') + "Method";
    EXPECT_NE(report.find("\r\n" + titles + "\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\r\n" + std::string(52, '-') + "\r\n"), std::string::npos);  // 30 + 12 + "Chi Square"
    EXPECT_NE(report.find("Expected Cases: 22.00000000"), std::string::npos);
}

TEST_F(SmrReport, AProjectWithoutExpectedDeathsHasNoSmrAndTheStoredHeadingIsUsed) {
    storeSmrTable("Project2", 0, 0, 0, 4, 0, "Exact");  // stored as the run stores it: 0s
    mortality::StoreSmrReportHeading(state, "Plant A, lung cancer");
    EXPECT_TRUE(state.ProjectChanged);
    EXPECT_EQ(mortality::ReadSmrReportHeading(state.WorkingCopyName), "Plant A, lung cancer");
    const std::string report = mortality::BuildSmrReport(state, "Project2_SMR");
    EXPECT_EQ(report.substr(0, 26), "\r\nPlant A, lung cancer\r\n\r\n");
    EXPECT_NE(report.find("\r\nnot defined    -    -    Exact\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("The SMR is not defined: no deaths are expected (E = 0)."), std::string::npos) << report;
    EXPECT_EQ(report.find("0.00000000    0.00000000"), std::string::npos) << report;
    EXPECT_EQ(state.mortality.ShownObserved, "4");
}

TEST_F(SmrReport, AnSrrProjectHasNoReportAndTheRefusalSaysSo) {
    test::CreateTable(*open(), "Project3_SMR", "Typ TEXT, Values TEXT");
    try {
        mortality::BuildSmrReport(state, "Project3_SMR");
        ADD_FAILURE() << "an SRR project's report was built";
    } catch (const VdxError& e) {
        EXPECT_EQ(e.description().rfind("'Project3' is an SRR project", 0), 0u) << e.description();
    }
}
