// SMR projects on a long rate table (one row per sex x age x year, single
// years) with 5-year person-years classes: the expected deaths equal a day
// by day count written here at the rates' resolution, each person at the
// rates of his or her sex; a person-day without a rate and a sex code
// without rates stop the run, nothing stored.
#include <array>
#include <chrono>
#include <cmath>

#include "db/rate_layouts.h"
#include "mortality/categories.h"
#include "mortality/long_rates.h"
#include "mortality/smr_report.h"
#include "mortality_test_support.h"
#include "py/py_comp.h"

namespace vdx::test {
namespace {

// Deaths per 1,000 person-years of a sex, a single year of age and a year.
double RatePerThousand(int sex, int age, int year) {
    return (0.5 + 0.1 * age + 0.01 * (year - 1960)) * (sex == 1 ? 1.3 : 1.0);
}

class LongRates : public MortalityTest {
protected:
    // Persons of both sexes with entry, exit and birth spread by a fixed
    // generator; every third died of ICD 162.
    std::vector<Person> cohort(int count) {
        return SpreadPersons(count, 12345, [](int k, double) { return Value::integer(k % 3 == 0 ? 162 : 100); });
    }

    // Rates for the single ages 0 to 100 and years 1960 to 1999 of the
    // sexes given, per 1,000; the cell `changed` (sex, age, year) left out
    // (nullopt) or holding `changedRate`.
    void addLongRates(const std::vector<int>& sexes, std::array<int, 3> changed = {},
                      std::optional<Value> changedRate = std::nullopt) {
        auto d = open();
        const bool textRate = changedRate && changedRate->kind() == Value::Kind::Text;
        CreateTable(*d, "Office", std::string("SEX INTEGER, AGE INTEGER, YR INTEGER, RATE ") +
                                     (textRate ? "TEXT" : "DOUBLE"));
        d->beginTransaction();
        auto rs = d->openRecordset("Office");
        for (int sex : sexes)
            for (int age = 0; age <= 100; ++age)
                for (int year = 1960; year <= 1999; ++year) {
                    const bool isChanged = changed == std::array<int, 3>{sex, age, year};
                    if (isChanged && !changedRate) continue;
                    rs->addNew();
                    rs->setValue("SEX", Value::integer(sex));
                    rs->setValue("AGE", Value::integer(age));
                    rs->setValue("YR", Value::integer(year));
                    rs->setValue("RATE", isChanged ? *changedRate : Value::real(RatePerThousand(sex, age, year)));
                    rs->update();
                }
        rs = d->openRecordset(db::kVdxSystemRateTables);
        rs->addNew();
        rs->setValue("RateTables", Value::text("Office"));
        rs->update();
        rs.reset();
        db::WriteRateLayout(*d, "Office", db::RateLayout{"AGE", "YR", "SEX", "", "RATE", 1000});
        d->commit();
        ++state.RateTableCount;
    }

    // The person-years run by 5-year classes: ages 20-70, years 1970-2000.
    void fiveYearClasses() {
        const auto snapshot = py::TakeSettingsSnapshot(state);
        py::PyRequest form{"DOB", "DOE", "DOX", "20", "70", "5", "1970", "2000", "5"};
        ASSERT_TRUE(py::CheckPyRequest(state, ui, form).ok()) << ::testing::PrintToString(ui.messageTexts());
        ASSERT_EQ(py::RunPersonYears(state, ui, snapshot), py::PyRunOutcome::Completed);
    }

    mortality::SmrRequest bySex() {
        mortality::SmrRequest r = request("Office", "162");
        r.sexColumn = "SEX";
        return r;
    }

    bool nothingStored() { return !open()->tableExists("Project1_SMR") && !open()->tableExists("Project1_Cells"); }
};

TEST_F(LongRates, ExpectedDeathsBySingleYearRatesEqualADayByDayCountPerSex) {
    const std::vector<Person> persons = cohort(80);
    addCohort(persons);
    fiveYearClasses();
    addLongRates({1, 2});
    ASSERT_TRUE(computeSmr(bySex())) << ::testing::PrintToString(ui.messageTexts());

    // Day by day: the age and year of each day at single years, within the
    // person-years classes (ages 20-70, years 1970-1999).
    double expected[3] = {0, 0, 0}, observed[3] = {0, 0, 0}, days = 0;
    for (const Person& p : persons) {
        const int sex = static_cast<int>(p.sex.asDouble());
        for (double d = p.entry.asDouble(); d <= p.exit.asDouble(); d += 1) {
            const double age = (d - p.dob.asDouble()) / 365.25;
            const int year = CivilYear(d);
            if (age < 20 || age >= 70 || year < 1970 || year >= 2000) continue;
            days += 1;
            expected[sex] += RatePerThousand(sex, static_cast<int>(std::floor(age)), year) / 1000 / 365.25;
            if (d == p.exit.asDouble() && p.icd.asDouble() == 162) observed[sex] += 1;
        }
    }
    const double total = expected[1] + expected[2];
    ASSERT_GT(observed[1], 0);
    ASSERT_GT(observed[2], 0);
    EXPECT_NEAR(state.mortality.ExpectedTotal, total, 1e-12 * total);
    EXPECT_EQ(state.mortality.ObservedTotal, static_cast<int64_t>(observed[1] + observed[2]));
    EXPECT_DOUBLE_EQ(state.mortality.PersonYearsTotal, days / 365.25);

    auto d = open();
    const std::vector<mortality::SexSmrLine> lines = mortality::ReadSexTotals(*d, "Project1");
    ASSERT_EQ(lines.size(), 2u);
    for (int s = 1; s <= 2; ++s) {
        const mortality::SexSmrLine& line = lines[static_cast<size_t>(s - 1)];
        EXPECT_EQ(line.sex, std::to_string(s));
        EXPECT_NEAR(line.expected, expected[s], 1e-12 * total);
        EXPECT_EQ(line.observed, observed[s]);
    }
    const std::string report = mortality::BuildSmrReport(state, "Project1_SMR");
    EXPECT_NE(report.find("Sex 1: Observed " + std::to_string(static_cast<int>(observed[1]))), std::string::npos)
        << report;
}

// The SMR by cumulative exposure lagged 10 years of a group of text codes on
// long rates by sex: the categories add up to the SMR of the whole cohort,
// observed and expected deaths, and so do their cells of each sex.
TEST_F(LongRates, CategoriesOfATextDeathGroupAddUpToTheSmrOfTheWholeCohort) {
    std::vector<Person> persons = cohort(300);
    const char* codes[] = {"C34.1", "C45", "I21", ""};  // the group takes the first two
    for (size_t k = 0; k < persons.size(); ++k) persons[k].icd = Value::text(codes[k % 4]);
    addCohort(persons, "TEXT");
    {
        auto d = open();
        test::Sql(*d, "CREATE TABLE Work (PersonID LONG, Start DATE, End DATE, Intensity DOUBLE);");
        test::Sql(*d, "CREATE TABLE VdxWorkHistories (Name TEXT, IdColumn TEXT, StartColumn TEXT, EndColumn TEXT, "
                      "IntensityColumn TEXT, JobColumn TEXT);");
        test::Sql(*d, "INSERT INTO VdxWorkHistories VALUES ('Work', 'PersonID', 'Start', 'End', 'Intensity', '');");
        for (size_t k = 0; k < persons.size(); ++k) {
            if (k % 5 == 0) continue;  // never employed
            const double start = persons[k].dob.asDouble() + 7000 + 97 * (k % 50);
            test::Sql(*d, "INSERT INTO Work VALUES (" + std::to_string(k + 1) + ", " + std::to_string(start) + ", " +
                              std::to_string(start + 900 * (k % 7 + 1)) + ", " + std::to_string(0.5 * (k % 6 + 1)) +
                              ");");
        }
    }
    defineSex(1, 2);
    state.py.sexColumn = "SEX";
    state.ExposureEntry = ExposureAxis{ExposureAxisKind::Cumulative, {0, 1, 5, 20}, 10, "", "Work", "ID"};
    fiveYearClasses();
    addLongRates({1, 2});
    mortality::SmrRequest smr = request("Office", "C33-C34, C45");
    smr.sexColumn = "SEX";
    ASSERT_TRUE(computeSmr(smr)) << ::testing::PrintToString(ui.messageTexts());
    mortality::CategoryRequest r;
    r.rateTable = "Office";
    r.deathColumn = "ICD";
    r.deathValueText = "C33-C34, C45";
    mortality::CategoryTable table;
    ASSERT_TRUE(mortality::RunCategories(state, ui, r, "Lung", &table)) << ::testing::PrintToString(ui.messageTexts());

    ASSERT_EQ(table.rows.size(), 4u);
    EXPECT_EQ(table.daysBelow, 0);
    EXPECT_GT(table.total.observed, 0);
    EXPECT_EQ(table.total.observed, state.mortality.ObservedTotal);
    EXPECT_NEAR(table.total.expected, state.mortality.ExpectedTotal, 1e-9 * state.mortality.ExpectedTotal);
    int nonEmpty = 0;
    for (const auto& row : table.rows) nonEmpty += row.observed > 0 && row.expected > 0;
    EXPECT_GE(nonEmpty, 2);  // the deaths and the person-time spread over the categories
    auto d = open();
    const std::vector<mortality::SexSmrLine> lines = mortality::ReadSexTotals(*d, "Project1");
    ASSERT_EQ(lines.size(), 2u);
    for (int s = 1; s <= 2; ++s) {
        double observed = 0, expected = 0;
        for (const auto& c : table.cells)
            if (c.sex == s) observed += static_cast<double>(c.deaths), expected += c.expected;
        EXPECT_EQ(observed, lines[static_cast<size_t>(s) - 1].observed) << "sex " << s;
        EXPECT_NEAR(expected, lines[static_cast<size_t>(s) - 1].expected, 1e-9 * expected) << "sex " << s;
    }
}

// Sex 2, aged 45 in 1985; and a sex code the rates do not give.
const Person kWoman{D(1940, 6, 1), D(1990, 12, 31), Value::integer(2), Value::null(), Value::integer(100),
                    D(1980, 1, 1)};
const Person kOther{D(1940, 6, 1), D(1990, 12, 31), Value::integer(3), Value::null(), Value::integer(100),
                    D(1980, 1, 1)};

// The persons at the edges of follow-up, with a lag of 10 years: the pass
// at the rates' resolution takes their days where the person-years run
// took them. Hire, entry and exit: a lag ending on the exit day (one day),
// a lag ending after the exit, an exit before the entry, a plain person.
TEST_F(LongRates, PersonTimeAtTheRatesResolutionIsThatOfThePersonYearsRun) {
    auto person = [](Value hire, Value entry, Value exit) {
        return Person{D(1940, 6, 1), exit, Value::integer(2), hire, Value::integer(100), entry};
    };
    addCohort({person(D(1980, 12, 31), D(1980, 1, 1), D(1990, 12, 31)),
               person(D(1985, 1, 1), D(1980, 1, 1), D(1990, 12, 31)),
               person(D(1960, 1, 1), D(1985, 1, 1), D(1984, 12, 31)),
               person(D(1960, 1, 1), D(1980, 1, 1), D(1990, 12, 31))});
    state.py.withLag = state.py.lagDefined = true;
    state.py.hireColumn = "DOH";
    state.py.lagYears = 10;
    fiveYearClasses();
    addLongRates({1, 2});
    ASSERT_TRUE(computeSmr(bySex())) << ::testing::PrintToString(ui.messageTexts());
    // 11 years of the plain person (1 Jan 1980 to 31 Dec 1990) and one day.
    const double days = DayNumber(1990, 12, 31) - DayNumber(1980, 1, 1) + 2;
    EXPECT_DOUBLE_EQ(state.mortality.PersonYearsTotal, days / 365.25);
    auto d = open();
    const std::vector<mortality::SexSmrLine> lines = mortality::ReadSexTotals(*d, "Project1");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_DOUBLE_EQ(lines[0].personYears, days / 365.25);
}

// A person whose entry date was emptied after the person-years run: the
// run stops as the person-years run does, naming the row and the column.
TEST_F(LongRates, AnEmptyEntryDateStopsTheRunAsThePersonYearsRunDoes) {
    addCohort({kWoman, kWoman});
    fiveYearClasses();
    addLongRates({1, 2});
    Sql(*open(), "UPDATE Cohort SET DOE = NULL WHERE ID = 2;");
    EXPECT_FALSE(computeSmr(bySex()));
    const std::string said = ::testing::PrintToString(ui.messageTexts());
    EXPECT_NE(said.find("Row 2 of the main data table 'Cohort': the entry point of study (column 'DOE') is empty"),
              std::string::npos) << said;
    EXPECT_TRUE(nothingStored());
}

// The rate table edited after it came in: its cell of sex 2, age 45, 1985
// missing, empty, negative or not a number.
struct BadRate {
    const char* cell;
    std::optional<Value> rate;
    const char* said;
};
void PrintTo(const BadRate& c, std::ostream* os) { *os << c.cell; }
class LongRatesBadRate : public LongRates, public ::testing::WithParamInterface<BadRate> {};

TEST_P(LongRatesBadRate, StopsTheRunNamingSexAgeAndYear) {
    addCohort({kWoman});
    fiveYearClasses();
    addLongRates({1, 2}, {2, 45, 1985}, GetParam().rate);
    EXPECT_FALSE(computeSmr(bySex()));
    const std::string said = ::testing::PrintToString(ui.messageTexts());
    EXPECT_NE(said.find(GetParam().said), std::string::npos) << said;
    EXPECT_TRUE(nothingStored());
    EXPECT_EQ(state.ProjectCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, LongRatesBadRate,
    ::testing::Values(
        BadRate{"missing", std::nullopt, "has no rate for sex 2, age 45, year 1985"},
        BadRate{"empty", Value::null(), "no usable rate for sex 2, age 45, year 1985: the rate is empty"},
        BadRate{"negative", Value::real(-0.5), "no usable rate for sex 2, age 45, year 1985: the rate is -0.5, negative"},
        BadRate{"text", Value::text("n/a"),
                "no usable rate for sex 2, age 45, year 1985: the rate is 'n/a', not a number"}),
    [](const ::testing::TestParamInfo<BadRate>& info) { return std::string(info.param.cell); });

TEST_F(LongRates, ASexCodeWithoutRatesIsRefusedNamingCodeAndCount) {
    addCohort({kWoman, kOther, kOther});
    fiveYearClasses();
    addLongRates({1, 2});
    EXPECT_FALSE(computeSmr(bySex()));
    const std::string said = ::testing::PrintToString(ui.messageTexts());
    EXPECT_NE(said.find("gives no rates for sex code 3 (2 persons) of the column 'SEX'"), std::string::npos) << said;
    EXPECT_TRUE(nothingStored());
    EXPECT_EQ(state.ProjectCount, 0);
}

}  // namespace
}  // namespace vdx::test
