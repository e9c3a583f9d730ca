// Cause lists: every cause of a list in one run, against counts written
// here; a death read in the revision in force at its date; lists that do
// not read are refused naming row, column and value.
#include "mortality_test_support.h"

#include <map>

#include "db/navigator_commands.h"
#include "mortality/cause_list.h"
#include "mortality/causes_report.h"
#include "state/messages.h"

using namespace vdx;
using vdx::test::D;
using vdx::test::Person;

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
