// Runs with the persons of the cohort check left out: a small cohort with two
// bad persons, whose person-days, deaths and expected deaths the test counts
// itself from the good persons only.
#include "mortality_test_support.h"

#include "db/left_out.h"
#include "mortality/count_deaths.h"
#include "mortality/smr_report.h"
#include "py/cohort_problems.h"
#include "py/py_comp.h"

using namespace vdx;
using vdx::test::D;
using vdx::test::Person;

namespace {

class LeftOut : public vdx::test::MortalityTest {
protected:
    py::PyRunOutcome computePersonYears() {
        return py::RunPersonYears(state, ui, py::TakeSettingsSnapshot(state), &summary);
    }
    // Keeps (or clears) the list of the check's persons, as Check cohort does.
    void keep(bool leaveOut) {
        auto d = open();
        const py::CohortCheckRequest request{};
        py::KeepLeftOut(state, *d, py::CheckCohort(state, *d, request), request, leaveOut);
    }
    py::PyRunSummary summary;
};

TEST_F(LeftOut, RunsSkipExactlyTheListedPersonsAndSaySo) {
    struct Case {
        Person person;
        bool good;
    } cases[] = {
        {{D(1930, 1, 1), D(1990, 12, 31), {}, {}, Value::integer(162), D(1960, 1, 1)}, true},
        {{D(1935, 5, 5), D(1975, 6, 30), {}, {}, Value::integer(0), D(1961, 3, 1)}, true},
        {{D(1932, 1, 1), {}, {}, {}, Value::integer(162), D(1960, 1, 1)}, false},  // no exit date
        {{D(1940, 2, 29), D(2000, 1, 1), {}, {}, Value::integer(162), D(1962, 1, 1)}, true},
        {{D(1965, 1, 1), D(1990, 1, 1), {}, {}, Value::integer(162), D(1960, 1, 1)}, false},  // born after entry
    };
    std::vector<Person> persons;
    int64_t days = 0, deaths = 0;
    for (const auto& c : cases) {
        persons.push_back(c.person);
        if (!c.good) continue;
        days += static_cast<int64_t>(c.person.exit.asDouble() - c.person.entry.asDouble()) + 1;
        deaths += c.person.icd.asInteger() == 162;
    }
    addCohort(persons);
    setStrata({0, 100}, {1900, 2100});
    addRateTable("Rates", {{Value::real(0.01)}});

    // Without a list the run stops at the first bad row.
    EXPECT_EQ(computePersonYears(), py::PyRunOutcome::Failed);

    keep(true);
    ASSERT_EQ(computePersonYears(), py::PyRunOutcome::Completed) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(summary.rowsLeftOutByCheck, 2);
    EXPECT_EQ(summary.leftOutByCheck,
              (std::map<std::string, int64_t>{{py::problem::kBirthAfterEntry, 1}, {py::problem::kDateMissing, 1}}));
    EXPECT_EQ(summary.totalDays, days);
    EXPECT_EQ(summary.rowsIncluded(), 3);

    ASSERT_TRUE(computeSmr(request("Rates", "162"))) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(state.mortality.ObservedTotal, deaths);
    EXPECT_NEAR(state.mortality.ExpectedTotal, static_cast<double>(days) / 365.25 * 0.01, 1e-12);
    const std::string report = mortality::BuildSmrReport(state, "Project1_SMR");
    EXPECT_NE(report.find("2 persons left out after the cohort check: 1 birth-after-entry, 1 date-missing."),
              std::string::npos)
        << report;

    // A list changed since the person-years run: no deaths count until they are computed again.
    keep(false);
    {
        auto d = open();
        auto progress = ui.progress("Computing Deaths", 400, false);
        EXPECT_THROW(mortality::CountDeaths(state, *d, *progress), VdxError);
    }
    // Cleared: the run stops at the first bad row again, and the study keeps no list.
    EXPECT_EQ(computePersonYears(), py::PyRunOutcome::Failed);
    EXPECT_FALSE(open()->tableExists(db::kVdxLeftOut));
}

}  // namespace
