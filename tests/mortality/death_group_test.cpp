// Cause-of-death groups as death value: what a typed group reads as, the
// refusals, a group counted against an independent count, and what the SMR
// and SRR projects store of it.
#include "mortality_test_support.h"

#include "mortality/count_deaths.h"
#include "mortality/death_group.h"
#include "mortality/srr_run.h"
#include "state/messages.h"

using namespace vdx;
using vdx::test::D;
using vdx::test::Person;

namespace {

using Ranges = std::vector<std::pair<double, double>>;

Ranges RangesOf(const mortality::DeathGroup& g) {
    Ranges out;
    for (const auto& r : g.ranges()) out.emplace_back(r.low, r.high);
    return out;
}

class DeathGroupRun : public vdx::test::MortalityTest {
protected:
    // One stratum; one death of every code listed, in 1980.
    void cohortOfCodes(const std::vector<Value>& codes, const std::string& type = "DOUBLE") {
        setStrata({0, 100}, {1900, 2100}, {36525});
        std::vector<Person> persons;
        for (const Value& c : codes) persons.push_back({D(1930, 1, 1), D(1980, 6, 1), {}, {}, c});
        addCohort(persons, type);
        addRateTable("Rates", {{Value::real(0.01)}});
    }
    void cohortOfCodesAsText(const std::vector<std::string>& codes) {
        std::vector<Value> values;
        for (const auto& c : codes) values.push_back(c.empty() ? Value() : Value::text(c));
        cohortOfCodes(values, "TEXT");
    }
    int32_t countGroup(const std::string& typed) {
        state.mortality.DeathColumn = "ICD";
        state.mortality.DeathValuesText = typed;
        state.mortality.PyTableSelector = 1;
        auto d = open();
        auto progress = ui.progress("Computing Deaths", 400, false);
        EXPECT_TRUE(mortality::CountDeaths(state, *d, *progress));
        return state.mortality.DeathCounts[1][1];
    }
};

}  // namespace

TEST(DeathGroup, TypedGroupsReadAsSortedMergedRangesWithTheFirstCodeKept) {
    struct Case {
        const char* typed;
        Ranges ranges;
        int first;
    } cases[] = {
        {"162", {{162, 162}}, 162},
        {" 162.0 ", {{162, 162}}, 162},  // a whole number written with a fraction
        {"162, 163", {{162, 162}, {163, 163}}, 162},
        {"170, 160-165", {{160, 165}, {170, 170}}, 170},
        {"160 - 165,163-168", {{160, 168}}, 160},
        {"0-32767", {{0, 32767}}, 0},
    };
    for (const auto& c : cases) {
        const auto parsed = mortality::ParseDeathGroup(c.typed);
        ASSERT_TRUE(parsed.ok) << c.typed << ": " << parsed.message;
        EXPECT_EQ(RangesOf(parsed.group), c.ranges) << c.typed;
        EXPECT_EQ(parsed.group.firstCode(), c.first) << c.typed;
    }
}

TEST(DeathGroup, BadTextsAreRefusedWithMessage32Or33OrNamingThePart) {
    struct Case {
        const char* typed;
        int number;         // 32, 33, or 0 for a text of its own
        const char* names;  // what that text must name
    } cases[] = {
        {"", 32, ""},          {"a", 32, ""},          {"16x", 32, ""},
        {"-1", 33, ""},        {"162, 40000", 33, ""}, {"100-32768", 33, ""},
        {"160-", 0, "'160-'"}, {"-165", 33, ""},       {"170-160", 0, "'170-160'"},
        {"162,,163", 0, "comma too many"}, {"162, a", 0, "'a'"}, {"160-x", 0, "'x'"},
        // Not whole: refused, never rounded to a neighbouring code.
        {"162.9", 0, "'162.9' is not a whole number"}, {"161.5", 0, "'161.5' is not a whole number"},
        {"160-165.5", 0, "'165.5' is not a whole number"}, {"162, 162.4", 0, "'162.4' is not a whole number"},
    };
    for (const auto& c : cases) {
        const auto parsed = mortality::ParseDeathGroup(c.typed);
        EXPECT_FALSE(parsed.ok) << c.typed;
        EXPECT_EQ(parsed.number, c.number) << c.typed;
        if (c.number) EXPECT_EQ(parsed.message, Message(c.number)) << c.typed;
        else EXPECT_NE(parsed.message.find(c.names), std::string::npos) << c.typed << ": " << parsed.message;
    }
}

TEST_F(DeathGroupRun, AGroupCountsExactlyTheRowsWhoseCodeIsInIt) {
    const std::vector<double> codes{159, 160, 161, 162, 162, 162.5, 163, 165, 165.5, 166, 170, 171, 410};
    std::vector<Value> values;
    for (double c : codes) values.push_back(Value::real(c));
    values.push_back(Value());  // no cause
    cohortOfCodes(values);
    struct Case {
        const char* typed;
        std::function<bool(double)> in;
    } cases[] = {
        {"162, 163", [](double c) { return c == 162 || c == 163; }},
        {"160-165, 170", [](double c) { return (c >= 160 && c <= 165) || c == 170; }},
        {"170,160-165", [](double c) { return (c >= 160 && c <= 165) || c == 170; }},
        {"162", [](double c) { return c == 162; }},
    };
    for (const auto& c : cases) {
        int32_t expected = 0;
        for (double code : codes) expected += c.in(code) ? 1 : 0;
        EXPECT_EQ(countGroup(c.typed), expected) << c.typed;
    }
    // A run of an older caller that set only the code counts that code.
    state.mortality.DeathCode = 165;
    EXPECT_EQ(countGroup(""), 1);
}

TEST_F(DeathGroupRun, SmrAndSrrProjectsKeepTheGroupAsTypedAndItsFirstCode) {
    cohortOfCodes({Value::real(160), Value::real(163), Value::real(170), Value::real(171)});
    ASSERT_TRUE(computeSmr(request("Rates", "170, 160-165"))) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(state.mortality.ObservedTotal, 3);
    EXPECT_EQ(column("Project1_SMR", "Figures")[5], "170");           // varTod
    EXPECT_EQ(column("Project1_SMR", "Values")[18], "170, 160-165");  // valuesDTH

    // SRR: a group adds its text as a 17th row; a single code keeps 16.
    for (const char* typed : {"160-165", "163"}) {
        auto r = request("Rates", typed);
        r.projectName = *mortality::BeginSmrProject(state, ui);
        ASSERT_TRUE(mortality::CheckSmrRequest(state, ui, r).ok);
        ASSERT_TRUE(mortality::RunSrr(state, ui, r));
        const auto typs = column(r.projectName + "_SMR", "Typ");
        const auto values = column(r.projectName + "_SMR", "Values");
        EXPECT_EQ(values[5], std::string(typed).substr(0, 3)) << typed;
        if (std::string(typed) == "163") {
            EXPECT_EQ(typs.size(), 16u);
        } else {
            ASSERT_EQ(typs.size(), 17u);
            EXPECT_EQ(typs[16] + "=" + values[16], "valuesDTH=160-165");
        }
        EXPECT_EQ(column(r.projectName + "_Deaths", "Deaths"), std::vector<std::string>{typs.size() == 16 ? "1" : "2"});
    }
}

TEST(CodeGroup, TextCodesMatchByPrefixAndByBoundsOfTheirOwnLength) {
    struct Case {
        const char* group;
        const char* code;  // as stored
        bool taken;
    } cases[] = {
        {"C34", "C34", true},        {"C34", "c34.1 ", true},     {"C34", "C3491", true},
        {"C34", "C3", false},        {"C34", "C35", false},       {"C34", "", false},
        {"c 34", "C34.1", true},     {"C33-C34", "C33", true},    {"C33-C34", "C34.9", true},
        {"C33-C34", "C32.9", false}, {"C33-C34", "C35", false},   {"C33-C34", "C3", false},
        {"C3-C34", "C3", true},      {"C3-C34", "C349", true},    {"C3-C34", "C35", false},
        {"C33-C341", "C3419", true}, {"C33-C341", "C342", false}, {"X60-X84, Y870", "X7.0", true},
        {"X60-X84, Y870", "Y87.0", true}, {"X60-X84, Y870", "Y871", false}, {"X60-X84, Y870", "X85", false},
        {"162", "162", true},        {"162", "162.0", true},      {"162", "1629", true},
        {"162", "16", false},        {"160-165", "165.9", true},  {"160-165", "1659", true},
        {"160-165", "166", false},   {"*", "R99", true},          {"*", " ", false},
    };
    for (const auto& c : cases) {
        const auto parsed = mortality::ParseCodeGroup(c.group);
        ASSERT_TRUE(parsed.ok) << c.group << ": " << parsed.message;
        EXPECT_EQ(parsed.group.contains(mortality::NormalisedCode(c.code)), c.taken) << c.group << " / '" << c.code << "'";
    }
    for (const char* bad : {"", "C34,,C35", "C35-C34", "C34-", "-C34", "C3?4", "C1-C2-C3"})
        EXPECT_FALSE(mortality::ParseCodeGroup(bad).ok) << bad;
}

TEST_F(DeathGroupRun, AnSmrRunOnATextColumnCountsTheCodesAsWritten) {
    cohortOfCodesAsText({"C34.1", "c341", "C33", "C349 ", "C3", "C45.0", "162.9", "1629", "I21", ""});
    // Lung (C33-C34): C34.1, c341, C33, C349; mesothelioma C45: one; ICD-9 162: two.
    for (const auto& [group, observed] : std::vector<std::pair<const char*, int>>{
             {"C33-C34", 4}, {"C45", 1}, {"162", 2}, {"C33-C34, C45", 5}}) {
        ASSERT_TRUE(computeSmr(request("Rates", group))) << ::testing::PrintToString(ui.messageTexts());
        EXPECT_EQ(state.mortality.ObservedTotal, observed) << group;
        EXPECT_EQ(column(state.mortality.ProjectName + "_SMR", "Values")[18], group);  // as typed
    }
    // A code of the wrong shape is refused with a message saying what is accepted.
    EXPECT_FALSE(computeSmr(request("Rates", "C34?")));
    EXPECT_NE(ui.messages.back().text.find("'C34?'"), std::string::npos);
}
