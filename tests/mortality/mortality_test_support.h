// Helpers of the mortality tests: a project file in a scratch folder whose
// working copy gets a cohort (Cohort: ID, DOB, DOX, SEX, DOH, ICD, DOE), the
// stratification of a finished person-years run with cells of the test's
// choosing, rate tables, and the Compute > SMR steps as the dialog runs them.
#pragma once

#include <chrono>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "mortality/smr_run.h"
#include "py/person_years_run.h"
#include "test_sql.h"
#include "state/scripted_interaction.h"
#include "state/text_values.h"

namespace vdx::test {

struct Person {
    Value dob, exit, sex, hire, icd;
    Value entry = {};  // no entry date: the person stays in
};

inline Value D(int y, int m, int d) { return Value::date(DayNumber(y, m, d)); }

// The civil year of a day number.
inline int CivilYear(double day) {
    using namespace std::chrono;
    return static_cast<int>(year_month_day{sys_days{days{static_cast<int>(day) - 25569}}}.year());
}

// `count` persons of both sexes (1 and 2 by turns), born 1915-1949, entered
// 1968-1985 and followed up to 25 years, spread by a fixed generator from
// `seed`; person k's death code is deathCode(k, exit day), null when empty.
template <typename DeathCode>
std::vector<Person> SpreadPersons(int count, uint32_t seed, DeathCode&& deathCode) {
    std::vector<Person> persons;
    uint32_t x = seed;
    auto next = [&](int range) {
        x = x * 1103515245u + 12345u;
        return static_cast<int>((x >> 8) % static_cast<uint32_t>(range));
    };
    for (int k = 0; k < count; ++k) {
        const double birth = DayNumber(1915, 1, 1) + next(35 * 365);
        const double entry = DayNumber(1968, 1, 1) + next(18 * 365);
        const double exit = entry + next(25 * 365);
        const Value code = deathCode(k, exit);
        persons.push_back(Person{Value::date(birth), Value::date(exit), Value::integer(1 + k % 2), Value::null(),
                                 code, Value::date(entry)});
    }
    return persons;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class MortalityTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_mortality_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_TRUE(db::CreateProjectFile(state, ui, dir_ + "/study.vdx"))
            << ::testing::PrintToString(ui.messageTexts());
    }
    void TearDown() override {
        db::ReleaseWorkingCopy(state);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::unique_ptr<db::Database> open() { return db::Database::open(state.WorkingCopyName); }

    void addCohort(const std::vector<Person>& persons, const std::string& icdType = "INTEGER") {
        {
            auto d = open();
            test::CreateTable(*d, "Cohort", "ID LONG, DOB DATE, DOX DATE, SEX INTEGER, DOH DATE, ICD " + icdType + ", DOE DATE");
            d->beginTransaction();
            auto rs = d->openRecordset("Cohort");
            int id = 0;
            for (const auto& p : persons) {
                rs->addNew();
                rs->setValue("ID", Value::integer(++id));
                rs->setValue("DOB", p.dob);
                rs->setValue("DOX", p.exit);
                rs->setValue("SEX", p.sex);
                rs->setValue("DOH", p.hire);
                rs->setValue("ICD", p.icd);
                rs->setValue("DOE", p.entry);
                rs->update();
            }
            rs.reset();
            d->commit();
            state.MainTableName = "Cohort";
            state.MainTableFields = db::ClassifyColumns(*d, "Cohort");
        }
        db::AddMainTableEntry(state, "Cohort");
    }

    // The state of a finished person-years run: age and calendar bounds,
    // 1 or 3 tables, and their cells (tables one after the other, age class
    // outer, period inner), stored in VdxPyValues.
    void setStrata(const std::vector<int16_t>& ageBounds, const std::vector<int16_t>& calendarBounds,
                   const std::vector<int64_t>& cells = {}) {
        PySettings& p = state.py;
        p.birthColumn = "DOB";
        p.entryColumn = "DOE";
        p.exitColumn = "DOX";
        p.sexColumn = "SEX";
        p.hireColumn = "DOH";
        p.ageBoundCount = static_cast<int16_t>(ageBounds.size());
        p.calendarBoundCount = static_cast<int16_t>(calendarBounds.size());
        state.AgeBounds.assign(1, 0);
        state.AgeBounds.insert(state.AgeBounds.end(), ageBounds.begin(), ageBounds.end());
        state.CalendarBounds.assign(1, 0);
        state.CalendarBounds.insert(state.CalendarBounds.end(), calendarBounds.begin(), calendarBounds.end());
        const int ages = static_cast<int>(ageBounds.size()) - 1, periods = static_cast<int>(calendarBounds.size()) - 1;
        const int tables = p.bySex ? 3 : 1;
        PyCells c;
        c.resize(tables, ages, periods);
        size_t k = 0;
        for (int t = 1; t <= tables; ++t)
            for (int a = 1; a <= ages; ++a)
                for (int j = 1; j <= periods; ++j, ++k) c.at(t, a, j) = k < cells.size() ? cells[k] : 0;
        p.tableCount = static_cast<int16_t>(tables);
        p.computed = true;
        state.PyValues = c;
        auto d = open();
        py::StorePersonYearsTables(*d, state, c);
    }
    void defineSex(int16_t code1, int16_t code2) {
        state.py.bySex = state.py.sexDefined = true;
        state.py.sexCode1 = code1;
        state.py.sexCode2 = code2;
    }

    // A rate table of DOUBLE columns Y1, Y2, ... (or of the SQL type given),
    // registered as the rate tables are.
    void addRateTable(const std::string& name, const std::vector<std::vector<Value>>& rows,
                      const std::string& type = "DOUBLE") {
        auto d = open();
        std::string columns;
        const size_t count = rows.empty() ? 1 : rows[0].size();
        for (size_t j = 1; j <= count; ++j) columns += (j > 1 ? ", Y" : "Y") + std::to_string(j) + " " + type;
        test::CreateTable(*d, name, columns);
        auto rs = d->openRecordset(name);
        for (const auto& row : rows) {
            rs->addNew();
            for (size_t j = 0; j < row.size(); ++j) rs->setValue(static_cast<int>(j), row[j]);
            rs->update();
        }
        rs = d->openRecordset(db::kVdxSystemRateTables);
        rs->addNew();
        rs->setValue("RateTables", Value::text(name));
        rs->update();
        ++state.RateTableCount;
    }

    // A request with the dialog's defaults.
    static mortality::SmrRequest request(const std::string& rateTable, const std::string& deathValue,
                                         const std::string& method = "Byar") {
        mortality::SmrRequest r;
        r.rateTable = rateTable;
        r.pyTable = "Age*Calendar";
        r.levelText = "0.05";
        r.method = method;
        r.deathColumn = "ICD";
        r.deathValueText = deathValue;
        return r;
    }

    // Compute > SMR, the dialog's checks and Compute; true when the project was stored.
    bool computeSmr(mortality::SmrRequest r) {
        const auto name = mortality::BeginSmrProject(state, ui);
        if (!name) return false;
        if (r.projectName.empty()) r.projectName = *name;
        if (!mortality::CheckSmrRequest(state, ui, r).ok) {
            mortality::CancelSmrProject(state);
            return false;
        }
        return mortality::RunSmr(state, ui, r);
    }

    // The Values or Figures column of a table, as text, in stored order.
    std::vector<std::string> column(const std::string& table, const std::string& name) {
        std::vector<std::string> out;
        auto d = open();
        auto rs = d->openRecordset(table);
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            const Value v = rs->value(name);
            out.push_back(v.isNull() ? "" : v.kind() == Value::Kind::Text ? v.asText() : NumberText(v.asDouble()));
        }
        return out;
    }

    std::string dir_;
    ProgramState state;
    ScriptedInteraction ui;
};

}  // namespace vdx::test
