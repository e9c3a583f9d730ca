// Helpers of the person-years tests: a project file in a scratch folder with
// a main data table written straight into its working copy (as the table
// commands would bring it in), the Compute button as the dialog runs it, and
// readers of the value tables.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "py/person_years_run.h"
#include "py/py_comp.h"
#include "test_sql.h"
#include "state/scripted_interaction.h"
#include "state/text_values.h"

namespace vdx::test {

// One row of the cohort table Cohort (ID LONG, DOB DATE, DOE DATE, DOX DATE,
// SEX INTEGER, DOH DATE, TXT TEXT). Null values stay empty.
struct Person {
    Value dob, entry, exit, sex, hire, text;
};

inline Value D(int y, int m, int d) { return Value::date(DayNumber(y, m, d)); }

class PyProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_py_test_XXXXXX";
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

    // Creates Cohort in the working copy and makes it the main data table.
    void addCohort(const std::vector<Person>& persons) {
        {
            auto d = db::Database::open(state.WorkingCopyName);
            test::CreateTable(*d, "Cohort", "ID LONG, DOB DATE, DOE DATE, DOX DATE, SEX INTEGER, DOH DATE, TXT TEXT");
            d->beginTransaction();
            auto rs = d->openRecordset("Cohort");
            int id = 0;
            for (const auto& p : persons) {
                rs->addNew();
                rs->setValue("ID", Value::integer(++id));
                rs->setValue("DOB", p.dob);
                rs->setValue("DOE", p.entry);
                rs->setValue("DOX", p.exit);
                rs->setValue("SEX", p.sex);
                rs->setValue("DOH", p.hire);
                rs->setValue("TXT", p.text);
                rs->update();
            }
            rs.reset();
            d->commit();
        }
        registerMainTable("Cohort");
    }

    void registerMainTable(const std::string& name) {
        auto d = db::Database::open(state.WorkingCopyName);
        state.MainTableName = name;
        state.MainTableFields = db::ClassifyColumns(*d, name);
        db::AddMainTableEntry(state, name);
    }

    // Runs SQL on the working copy.
    void sql(const std::string& statement) { test::Sql(*db::Database::open(state.WorkingCopyName), statement); }

    // The form of a regular series with the cohort's date columns.
    static py::PyRequest form(const std::string& age, const std::string& calendar) {
        py::PyRequest f;
        f.birthColumn = "DOB";
        f.entryColumn = "DOE";
        f.exitColumn = "DOX";
        auto split = [](const std::string& s, std::string& a, std::string& b, std::string& c) {
            const auto p1 = s.find(':'), p2 = s.find(':', p1 + 1);
            a = s.substr(0, p1);
            b = s.substr(p1 + 1, p2 - p1 - 1);
            c = s.substr(p2 + 1);
        };
        split(age, f.ageFrom, f.ageTo, f.ageStep);
        split(calendar, f.calendarFrom, f.calendarTo, f.calendarStep);
        return f;
    }

    // Stratification by sex as frmSex confirms it.
    void defineSex(int16_t code1, int16_t code2) {
        state.py.bySex = true;
        state.py.sexDefined = true;
        state.py.sexColumn = "SEX";
        state.py.sexCode1 = code1;
        state.py.sexCode2 = code2;
    }
    void defineLag(int16_t years) {
        state.py.withLag = true;
        state.py.lagDefined = true;
        state.py.hireColumn = "DOH";
        state.py.lagYears = years;
    }

    // Compute as frmPyComp runs it: the snapshot taken when the dialog
    // loaded (before the settings above were changed, when given), the
    // checks, then the run.
    py::PyRunOutcome compute(const py::PyRequest& f, const py::PySettingsSnapshot* loaded = nullptr) {
        const py::PySettingsSnapshot snapshot = loaded ? *loaded : py::TakeSettingsSnapshot(state);
        const auto check = py::CheckPyRequest(state, ui, f);
        if (!check.ok()) {
            ADD_FAILURE() << "Compute refused with message " << check.message;
            return py::PyRunOutcome::Failed;
        }
        return py::RunPersonYears(state, ui, snapshot, &summary);
    }

    // A column of a table of the working copy, as SQLite holds it (64-bit).
    std::vector<int64_t> storedIntegers(const std::string& table, const std::string& column) {
        sqlite3* h = nullptr;
        std::vector<int64_t> out;
        EXPECT_EQ(sqlite3_open_v2(state.WorkingCopyName.c_str(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        const std::string q = "SELECT \"" + column + "\" FROM \"" + table + "\" ORDER BY rowid";
        if (sqlite3_prepare_v2(h, q.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                EXPECT_EQ(sqlite3_column_type(st, 0), SQLITE_INTEGER);
                out.push_back(sqlite3_column_int64(st, 0));
            }
        } else {
            ADD_FAILURE() << "cannot read " << table << ": " << sqlite3_errmsg(h);
        }
        sqlite3_finalize(st);
        sqlite3_close(h);
        return out;
    }

    // The texts of the entries under "Person-Years", in order.
    std::vector<std::string> pyEntries() const {
        std::vector<std::string> out;
        const int group = state.Navigator.findByKey(kNodePyKey);
        for (int id : state.Navigator.children(group)) out.push_back(state.Navigator.node(id)->text);
        return out;
    }

    std::string dir_;
    ProgramState state;
    ScriptedInteraction ui;
    py::PyRunSummary summary;
};

}  // namespace vdx::test
