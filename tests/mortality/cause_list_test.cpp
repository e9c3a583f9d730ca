// Cause lists: every cause of a list in one run, against counts written
// here; rows per sex from a long rate table by sex and cause against a day
// by day count; a death read in the revision in force at its date, or in
// the first revision before it starts; a code of dots only; lists that do
// not read are refused naming row, column and value.
#include "mortality_test_support.h"

#include <chrono>
#include <cmath>
#include <map>

#include "db/analysis_management.h"
#include "db/navigator_commands.h"
#include "db/rate_layouts.h"
#include "mortality/cause_list.h"
#include "mortality/causes_report.h"
#include "state/messages.h"

using namespace vdx;
using vdx::test::D;
using vdx::test::Person;
using vdx::test::CivilYear;
using vdx::test::SpreadPersons;

namespace {

class CauseListRun : public vdx::test::MortalityTest {
protected:
    // One stratum of 100 person-years (36525 days); a death of each code
    // given, on the date given.
    void cohort(const std::vector<std::pair<Value, std::string>>& deaths) {
        setStrata({0, 100}, {1900, 2100}, {36525});
        std::vector<Person> persons;
        for (const auto& [exit, code] : deaths)
            persons.push_back({D(1930, 1, 1), exit, {}, {}, code.empty() ? Value() : Value::text(code)});
        addCohort(persons, "TEXT");
        addRateTable("Low", {{Value::real(0.01)}});
        addRateTable("High", {{Value::real(0.05)}});
    }
    void addList(const std::string& name, const std::vector<std::vector<std::string>>& rows) {
        auto d = open();
        std::string columns;
        for (const auto& c : rows[0]) columns += (columns.empty() ? "" : ", ") + c + " TEXT";
        test::CreateTable(*d, name, columns);
        auto rs = d->openRecordset(name);
        for (size_t i = 1; i < rows.size(); ++i) {
            rs->addNew();
            for (size_t k = 0; k < rows[i].size(); ++k)
                if (!rows[i][k].empty()) rs->setValue(static_cast<int>(k), Value::text(rows[i][k]));
            rs->update();
        }
        rs.reset();
        mortality::RegisterCauseList(*d, name);
    }
    std::map<std::string, int64_t> observed(const mortality::CausesResult& r) {
        std::map<std::string, int64_t> out;
        for (const auto& row : r.rows) out[row.cause] = row.observed;
        return out;
    }
};

}  // namespace

TEST_F(CauseListRun, EveryCauseCountsItsDeathsAndTheRestCloseTheTable) {
    const Value d1990 = D(1990, 3, 1), d2005 = D(2005, 3, 1);
    cohort({{d1990, "162.9"}, {d1990, "1629"}, {d1990, "163"}, {d1990, "410"}, {d1990, "E950"},
            {d2005, "C34.1"}, {d2005, "c45.0"}, {d2005, "I21"}, {d2005, "X70"}, {d2005, "K70"}, {d2005, ""}});
    addList("Occ", {{"cause", "icd10", "icd9", "rate"},
                    {"All causes", "*", "*", "Low"},
                    {"Lung", "C33-C34", "162", "High"},
                    {"Mesothelioma and pleura", "C45, C38.4", "163", "High"},
                    {"Ischaemic heart disease", "I20-I25", "410-414", "Low"},
                    {"Suicide", "X60-X84, Y87.0", "E950-E959", "Low"}});
    mortality::CausesRequest r;
    r.list = "Occ";
    r.deathColumn = "DOB";  // a date column holds no codes
    EXPECT_FALSE(mortality::RunCauses(state, ui, r));
    EXPECT_EQ(ui.messageTexts().back(), Message(msg::DeathColumnNotNumeric));
    r.deathColumn = "ICD";
    const auto result = mortality::RunCauses(state, ui, r);
    ASSERT_TRUE(result) << ::testing::PrintToString(ui.messageTexts());
    // Counted by hand: ten deaths (the empty code is none); K70 is in no cause but "*".
    const std::map<std::string, int64_t> want{{"All causes", 10}, {"Lung", 3}, {"Mesothelioma and pleura", 2},
                                              {"Ischaemic heart disease", 2}, {"Suicide", 2}, {"not in the list", 1}};
    EXPECT_EQ(observed(*result), want);
    ASSERT_EQ(result->rows.size(), 6u);
    EXPECT_EQ(result->rows.back().cause, "not in the list");
    // 100 person-years times each cause's rate.
    EXPECT_DOUBLE_EQ(result->rows[0].expected, 1.0);
    EXPECT_DOUBLE_EQ(result->rows[1].expected, 5.0);
    EXPECT_DOUBLE_EQ(result->rows[1].smr, 3.0 / 5.0);
    EXPECT_LT(result->rows[1].low, result->rows[1].smr);
    EXPECT_GT(result->rows[1].high, result->rows[1].smr);
    // Stored as an analysis with its table; a second run of that name is refused.
    EXPECT_EQ(column(result->name + "_Causes", "Observed"), (std::vector<std::string>{"10", "3", "2", "2", "2", "1"}));
    r.name = result->name;
    EXPECT_FALSE(mortality::RunCauses(state, ui, r));
}

TEST_F(CauseListRun, AnAnalysisShowsInTheTreeAsItsTableItsReportAndItsForestPlot) {
    const Value d2005 = D(2005, 3, 1);
    cohort({{d2005, "C34"}, {d2005, "C34.1"}, {d2005, "K70"}});
    addList("Occ", {{"cause", "icd10", "rate"}, {"All causes", "*", "Low"}, {"Lung", "C34", "High"}});
    mortality::CausesRequest r;
    r.list = "Occ";
    r.deathColumn = "ICD";
    r.name = "Run";
    ASSERT_TRUE(mortality::RunCauses(state, ui, r)) << ::testing::PrintToString(ui.messageTexts());
    db::RebuildNavigator(state, ui);
    for (const char* path : {"Cause lists_Occ", "Run_Causes", "Run_Report", "Run_Forest plot"})
        EXPECT_GE(state.Navigator.findByPath(path), 0) << path;
    // The grid: a row per cause and the closing row, Observed as stored; Save as may export it.
    const db::NodeClickAction shown = db::ClickNode(state, ui, "Run_Causes", false);
    ASSERT_EQ(shown.kind, db::NodeKind::StoredTable);
    ASSERT_TRUE(shown.resultGrid);
    const db::ResultGridText& g = *shown.resultGrid;
    ASSERT_EQ(g.rows, 4);
    EXPECT_EQ(g.at(0, 3), "Observed");
    EXPECT_EQ((std::vector<std::string>{g.at(1, 3), g.at(2, 3), g.at(3, 3)}), (std::vector<std::string>{"3", "2", "1"}));
    EXPECT_TRUE(state.Entries.tablesSaveAs);
    // The report names the closing row with its count; the plot has a row per cause of the list.
    const std::string report = mortality::BuildCausesReport(state, "Run");
    const size_t closing = report.find("\r\nnot in the list ");
    ASSERT_NE(closing, std::string::npos) << report;
    const std::string line = report.substr(closing + 2, report.find("\r\n", closing + 2) - closing - 2);
    EXPECT_EQ(line.substr(line.find_last_of(' ') + 1), "1") << line;
    const auto forest = mortality::CauseForestRows(state, "Run");
    ASSERT_EQ(forest.size(), 2u);
    EXPECT_EQ(forest[1].project, "Lung");
    EXPECT_DOUBLE_EQ(forest[1].expected, 5.0);
}

TEST_F(CauseListRun, ACodeColumnOfNumbersIsRefusedNotReadAsCodes) {
    cohort({});
    auto d = open();
    test::CreateTable(*d, "Num", "cause TEXT, icd10 TEXT, icd9 DOUBLE");
    test::Sql(*d, "INSERT INTO Num VALUES ('Lung', 'C34', 162.0)");
    try {
        mortality::RegisterCauseList(*d, "Num");
        ADD_FAILURE() << "a numeric icd9 column was taken";
    } catch (const VdxError& e) {
        EXPECT_NE(e.description().find("row 1, column 'icd9': the column holds numbers (162)"), std::string::npos)
            << e.description();
    }
    EXPECT_TRUE(mortality::CauseListNames(*d).empty());
}

TEST_F(CauseListRun, ADeathIsReadInTheRevisionInForceAtItsDate) {
    // 162 is lung in ICD-9 and nothing in ICD-10.
    cohort({{D(1998, 12, 31), "162"}, {D(1999, 1, 1), "162"}, {D(2000, 6, 1), "C34"}});
    addList("Lung", {{"cause", "icd10", "icd9"}, {"Lung", "C33-C34", "162"}});
    mortality::CausesRequest r;
    r.list = "Lung";
    r.deathColumn = "ICD";
    r.rateTable = "Low";
    struct Case {
        std::string years;
        int64_t lung, rest;
    } cases[] = {
        {"", 2, 1},                // the defaults: ICD-10 from 1 January 1999
        {"9:1979,10:2000", 3, 0},  // both 162 deaths in ICD-9
        {"9:1979,10:1998", 1, 2},  // both 162 deaths in ICD-10
    };
    for (const auto& c : cases) {
        if (!c.years.empty()) {
            std::string why;
            r.revisions = mortality::RevisionRule{*mortality::ParseRevisionYears(c.years, why), ""};
        }
        r.name.clear();
        const auto result = mortality::RunCauses(state, ui, r);
        ASSERT_TRUE(result) << ::testing::PrintToString(ui.messageTexts());
        EXPECT_EQ(observed(*result), (std::map<std::string, int64_t>{{"Lung", c.lung}, {"not in the list", c.rest}}))
            << c.years;
    }
}

namespace {

// Deaths per 1,000 person-years of a cause (0 all causes, 1 lung), a sex, a
// single year of age and a calendar year.
double RatePerThousand(int cause, int sex, int age, int year) {
    return (0.5 + 0.1 * age + 0.01 * (year - 1960)) * (sex == 1 ? 1.3 : 1.0) * (cause == 1 ? 0.1 : 1.0);
}

class CausesByLongRates : public CauseListRun {
protected:
    // Persons of both sexes spread by a fixed generator: a third died of
    // lung cancer, a third of a heart attack (codes of the revision in force).
    std::vector<Person> generated(int count) {
        return SpreadPersons(count, 4711, [](int k, double exit) {
            const bool icd10 = CivilYear(exit) >= 1999;
            const char* code = k % 3 == 0 ? (icd10 ? "C34.1" : "162.9") : k % 3 == 1 ? (icd10 ? "I21" : "410") : "";
            return *code ? Value::text(code) : Value();
        });
    }
    // A long rate table by sex, cause (the causes given; "Stomach" besides),
    // single ages 0-100 and years 1960-1999.
    void addCauseRates(const std::vector<std::string>& causes) {
        auto d = open();
        test::CreateTable(*d, "ByCause", "SEX INTEGER, CAUSE TEXT, AGE INTEGER, YR INTEGER, RATE DOUBLE");
        d->beginTransaction();
        auto rs = d->openRecordset("ByCause");
        for (size_t c = 0; c < causes.size(); ++c)
            for (int sex = 1; sex <= 2; ++sex)
                for (int age = 0; age <= 100; ++age)
                    for (int year = 1960; year <= 1999; ++year) {
                        rs->addNew();
                        rs->setValue("SEX", Value::integer(sex));
                        rs->setValue("CAUSE", Value::text(causes[c]));
                        rs->setValue("AGE", Value::integer(age));
                        rs->setValue("YR", Value::integer(year));
                        rs->setValue("RATE", Value::real(RatePerThousand(static_cast<int>(c), sex, age, year)));
                        rs->update();
                    }
        rs = d->openRecordset(db::kVdxSystemRateTables);
        rs->addNew();
        rs->setValue("RateTables", Value::text("ByCause"));
        rs->update();
        rs.reset();
        db::WriteRateLayout(*d, "ByCause", db::RateLayout{"AGE", "YR", "SEX", "CAUSE", "RATE", 1000});
        d->commit();
        ++state.RateTableCount;
    }
    mortality::CausesRequest request() {
        mortality::CausesRequest r;
        r.list = "Occ";
        r.deathColumn = "ICD";
        r.rateTable = "ByCause";
        r.sexColumn = "SEX";
        return r;
    }
};

}  // namespace

TEST_F(CausesByLongRates, EachCauseHasARowPerSexAtTheRatesOfItsCauseAndSex) {
    const std::vector<Person> persons = generated(90);
    setStrata({20, 70}, {1970, 2000});
    addCohort(persons, "TEXT");
    addCauseRates({"All causes", "Lung", "Stomach"});
    addList("Occ", {{"cause", "icd10", "icd9", "icd8"}, {"All causes", "*", "*", "*"}, {"Lung", "C34", "162", "162"}});
    const auto result = mortality::RunCauses(state, ui, request());
    ASSERT_TRUE(result) << ::testing::PrintToString(ui.messageTexts());

    // Day by day within the classes (ages 20-70, years 1970-1999): expected
    // [cause][sex] at single years, deaths [cause][sex] on the exit day.
    double expected[2][3] = {}, observed[3][3] = {};  // causes: all, lung, not in the list
    for (const Person& p : persons) {
        const int sex = static_cast<int>(p.sex.asDouble());
        for (double day = p.entry.asDouble(); day <= p.exit.asDouble(); day += 1) {
            const double age = (day - p.dob.asDouble()) / 365.25;
            const int year = CivilYear(day);
            if (age < 20 || age >= 70 || year < 1970 || year >= 2000) continue;
            for (int c = 0; c < 2; ++c)
                expected[c][sex] += RatePerThousand(c, sex, static_cast<int>(std::floor(age)), year) / 1000 / 365.25;
            if (day == p.exit.asDouble() && !p.icd.isNull()) {
                observed[0][sex] += 1;
                observed[p.icd.asText()[0] == '4' || p.icd.asText()[0] == 'I' ? 2 : 1][sex] += 1;
            }
        }
    }
    ASSERT_GT(observed[1][1] * observed[1][2] * observed[2][1] * observed[2][2], 0);
    const char* causes[] = {"All causes", "Lung", "not in the list"};
    ASSERT_EQ(result->rows.size(), 9u);
    for (int c = 0; c < 3; ++c)
        for (int sex = 0; sex <= 2; ++sex) {
            const mortality::CauseRow& row = result->rows[static_cast<size_t>(3 * c + sex)];
            const double e = c < 2 ? (sex ? expected[c][sex] : expected[c][1] + expected[c][2]) : 0;
            const double o = sex ? observed[c][sex] : observed[c][1] + observed[c][2];
            EXPECT_EQ(row.cause, causes[c]);
            EXPECT_EQ(row.sex, sex ? std::to_string(sex) : "");
            EXPECT_EQ(row.observed, static_cast<int64_t>(o)) << row.cause << " " << row.sex;
            EXPECT_NEAR(row.expected, e, 1e-12 * expected[0][1]) << row.cause << " " << row.sex;
            if (c < 2) {
                EXPECT_NEAR(row.smr, o / e, 1e-12 * row.smr);
            }
        }
    // Stored with the sex, as the grid and Save as show it.
    EXPECT_EQ(column(result->name + "_Causes", "Sex"),
              (std::vector<std::string>{"", "1", "2", "", "1", "2", "", "1", "2"}));
}

TEST_F(CausesByLongRates, ACauseTheRateTableDoesNotNameIsRefusedBeforeCounting) {
    setStrata({20, 70}, {1970, 2000});
    addCohort(generated(3), "TEXT");
    addCauseRates({"All causes", "Lung"});
    addList("Occ", {{"cause", "icd10"}, {"All causes", "*"}, {"Lung", "C34"}, {"Mesothelioma", "C45"}});
    EXPECT_FALSE(mortality::RunCauses(state, ui, request()));
    EXPECT_NE(ui.messageTexts().back().find("no rates for the cause 'Mesothelioma'"), std::string::npos)
        << ui.messageTexts().back();
    EXPECT_FALSE(open()->tableExists(mortality::kVdxAnalyses));
}

TEST_F(CauseListRun, ADeathBeforeTheFirstRevisionIsReadInItAndTheSummarySaysSo) {
    cohort({{D(1975, 6, 1), "162"}, {D(1990, 6, 1), "162"}});
    addList("Lung", {{"cause", "icd10", "icd9"}, {"Lung", "C33-C34", "162"}});
    mortality::CausesRequest r;
    r.list = "Lung";
    r.deathColumn = "ICD";
    r.rateTable = "Low";
    std::string why;
    r.revisions = mortality::RevisionRule{*mortality::ParseRevisionYears("9:1979,10:1999", why), ""};
    const auto result = mortality::RunCauses(state, ui, r);
    ASSERT_TRUE(result) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(observed(*result), (std::map<std::string, int64_t>{{"Lung", 2}, {"not in the list", 0}}));
    ASSERT_EQ(result->notes.size(), 1u);
    EXPECT_EQ(result->notes[0].rfind("1 death is dated before 1 January 1979", 0), 0u) << result->notes[0];
    // The report holds it, wrapped into lines.
    std::string report = mortality::BuildCausesReport(state, result->name);
    for (size_t at = report.find("\r\n"); at != std::string::npos; at = report.find("\r\n", at))
        report.replace(at, 2, " ");
    EXPECT_NE(report.find(result->notes[0]), std::string::npos) << report;
}

TEST_F(CauseListRun, ACodeOfDotsOnlyIsADeathOfUnknownCauseAndABlankCodeNoDeath) {
    const Value d2005 = D(2005, 3, 1);
    cohort({{d2005, "C34"}, {d2005, "."}, {d2005, " . "}, {d2005, "   "}});
    addList("Occ", {{"cause", "icd10", "rate"}, {"All causes", "*", "Low"}, {"Lung", "C34", "High"}});
    mortality::CausesRequest r;
    r.list = "Occ";
    r.deathColumn = "ICD";
    const auto result = mortality::RunCauses(state, ui, r);
    ASSERT_TRUE(result) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(observed(*result),
              (std::map<std::string, int64_t>{{"All causes", 3}, {"Lung", 1}, {"not in the list", 2}}));
    EXPECT_EQ(result->deaths, 3);
    ASSERT_EQ(result->notes.size(), 1u);
    EXPECT_EQ(result->notes[0].rfind("2 deaths have a code of dots only", 0), 0u) << result->notes[0];
}

TEST_F(CauseListRun, ADeathInARevisionTheListDoesNotDefineCountsInAllCausesAndTheSummarySaysSo) {
    cohort({{D(1990, 6, 1), "162"}, {D(2005, 6, 1), "C34"}});
    addList("Occ", {{"cause", "icd10", "rate"}, {"All causes", "*", "Low"}, {"Lung", "C34", "High"}});
    mortality::CausesRequest r;
    r.list = "Occ";
    r.deathColumn = "ICD";
    const auto result = mortality::RunCauses(state, ui, r);
    ASSERT_TRUE(result) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(observed(*result),
              (std::map<std::string, int64_t>{{"All causes", 2}, {"Lung", 1}, {"not in the list", 1}}));
    ASSERT_EQ(result->notes.size(), 1u);
    EXPECT_EQ(result->notes[0].rfind("1 death is read in ICD-9, for which the list has no column 'icd9'", 0), 0u)
        << result->notes[0];
}

TEST_F(CauseListRun, AnAnalysisIsRenamedAndDeletedFromItsEntrysMenu) {
    cohort({{D(2005, 3, 1), "C34"}});
    addList("Occ", {{"cause", "icd10", "rate"}, {"Lung", "C34", "High"}});
    mortality::CausesRequest r;
    r.list = "Occ";
    r.deathColumn = "ICD";
    r.name = "Run";
    ASSERT_TRUE(mortality::RunCauses(state, ui, r)) << ::testing::PrintToString(ui.messageTexts());
    db::RebuildNavigator(state, ui);
    EXPECT_TRUE(db::ClickNode(state, ui, "Run", true).showProjectMenu);
    ui.inputs.push_back("Occupational");
    ASSERT_TRUE(db::RenameAnalysis(state, ui, "Run")) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_GE(state.Navigator.findByPath("Occupational_Causes"), 0);
    EXPECT_EQ(column("Occupational_Causes", "Observed"), (std::vector<std::string>{"1", "0"}));
    EXPECT_FALSE(open()->tableExists("Run_Causes"));
    ui.answers.push_back(Answer::Yes);
    ASSERT_TRUE(db::DeleteAnalysis(state, ui, "Occupational"));
    EXPECT_FALSE(open()->tableExists("Occupational_Causes"));
    EXPECT_LT(state.Navigator.findByPath("Occupational"), 0);
}

TEST(CauseList, ListsThatDoNotReadAreRefusedNamingRowColumnAndValue) {
    struct Case {
        std::vector<std::string> header;
        std::vector<std::vector<std::string>> rows;
        const char* names;
    } cases[] = {
        {{"cause", "icd9"}, {{"Lung", "162"}}, "no column 'icd10'"},
        {{"Cause", "ICD10", "ICD9"}, {{"Lung", "C33-C34", "16?2"}}, "Row 1 of the cause list 'L', column 'ICD9' (cause 'Lung'): '16?2'"},
        {{"cause", "icd10"}, {{"Lung", "C34"}, {"", "C45"}}, "Row 2"},
        {{"cause", "icd10"}, {{"Lung", "C34"}, {"lung", "C33"}}, "twice"},
        {{"cause", "icd10"}, {{"Lung", "C35-C34"}}, "'C35-C34'"},
        {{"cause", "icd10", "icd9"}, {{"All", "", "*"}}, "'*' takes every death read in ICD-9, but the column 'icd10' is empty"},
        {{"cause", "icd10", "icd9"}, {{"All", "*", "140-239"}}, "the column 'icd9' holds '140-239'"},
    };
    for (const auto& c : cases) {
        try {
            mortality::ParseCauseList("L", c.header, c.rows);
            ADD_FAILURE() << c.names;
        } catch (const VdxError& e) {
            EXPECT_NE(e.description().find(c.names), std::string::npos) << e.description();
        }
    }
    // The list the program brings along reads, all causes first.
    const auto rows = mortality::ReadCsvRows(mortality::DefaultCauseListCsv());
    const auto list = mortality::ParseCauseList(
        "default", rows.at(0), std::vector<std::vector<std::string>>(rows.begin() + 1, rows.end()));
    EXPECT_EQ(list.causes.size(), rows.size() - 1);
    EXPECT_TRUE(list.causes.at(0).groups[10].all());
}
