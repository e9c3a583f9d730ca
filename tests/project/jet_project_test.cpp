// Opening project files of the earlier program's Jet format: the copy of
// every table into the working copy (types, stored order), the checks that
// refuse a file whose row order cannot be trusted, conversion and saving
// with the Jet original kept. A study is fed through a TableReader that
// serves its tables, so that spoiled studies are easy to make; the real
// Access files prove the refusal of a Jet database that is no study and the
// row-order check (jet_round_trip_test.cpp goes through written Jet files).
#include "project/jet_project.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/file_io.h"
#include "db/project_file.h"
#include "exchange/formats/access/access_reader.h"
#include "state/scripted_interaction.h"

namespace vdx::project {
namespace {

using namespace exchange;

namespace fs = std::filesystem;

struct FakeTable {
    std::string name;
    std::vector<ColumnSpec> columns;
    std::vector<std::vector<Value>> rows;
};

// A Jet study as the Access reader would hand it over.
class FakeJetReader : public TableReader {
public:
    std::vector<FakeTable> tables;
    std::vector<std::string> tableNames() override {
        std::vector<std::string> names;
        for (const auto& t : tables) names.push_back(t.name);
        return names;
    }
    std::vector<ColumnSpec> columns(const std::string& table) override { return find(table).columns; }
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress*) override {
        for (const auto& row : find(table).rows)
            if (!onRow(row)) return;
    }
    FakeTable& find(const std::string& name) {
        for (auto& t : tables)
            if (t.name == name) return t;
        throw VdxError(3011, name);
    }
};

std::vector<std::vector<Value>> TextRows(const std::vector<std::string>& keys, const std::vector<std::string>& values) {
    std::vector<std::vector<Value>> rows;
    for (size_t i = 0; i < keys.size(); ++i) rows.push_back({Value::text(keys[i]), Value::text(values[i])});
    return rows;
}

std::vector<std::vector<Value>> Integers(const std::vector<int64_t>& values) {
    std::vector<std::vector<Value>> rows;
    for (int64_t v : values) rows.push_back({Value::integer(v)});
    return rows;
}

const ColumnSpec kTyp{"Typ", FieldType::Text, 255};
const ColumnSpec kValue{"Value", FieldType::Text, 255};

PySettings StudySettings() {
    PySettings py;
    py.computed = true;
    py.tableCount = 1;
    py.birthColumn = "dob";
    py.ageBoundCount = 3;
    py.ageFrom = 20;
    py.ageTo = 60;
    py.ageStep = 20;
    py.calendarBoundCount = 3;
    py.calendarFrom = 1950;
    py.calendarTo = 1990;
    py.calendarStep = 20;
    return py;
}

// A study of format version 2.0: a cohort, a rate table and one project.
FakeJetReader Study() {
    FakeJetReader r;
    r.tables.push_back({db::kVdxSystemMain, {kTyp, kValue},
                        TextRows({"Version", "MainTable", "intRateTablesAnzahl", "intProjectAnzahl"},
                                 {"2.0", "Cohort", "1", "1"})});
    r.tables.push_back({db::kVdxSystemPY, {kTyp, kValue}, TextRows(db::SystemPyKeys(), db::PySettingTexts(StudySettings()))});
    r.tables.push_back({db::kVdxSystemRateTables, {{"RateTables", FieldType::Text, 255}}, {{Value::text("Rates")}}});
    r.tables.push_back({db::kVdxPyValues, {{"PersonYears", FieldType::Long, 0}}, Integers({400, 300, 200, 100})});
    r.tables.push_back({db::kVdxAgeClassValues, {{"AgeClass", FieldType::Integer, 0}}, Integers({20, 40, 60})});
    r.tables.push_back({db::kVdxYearClassValues, {{"YearClass", FieldType::Integer, 0}}, Integers({1950, 1970, 1990})});
    r.tables.push_back({db::kVdxSystemProjects, {{"Projects", FieldType::Text, 255}}, {{Value::text("P1")}}});
    r.tables.push_back({"Cohort",
                        {{"id", FieldType::Long, 0}, {"dob", FieldType::Date, 0}, {"sex", FieldType::Integer, 0},
                         {"dead", FieldType::Boolean, 0}, {"dose", FieldType::Double, 0}, {"name", FieldType::Text, 20}},
                        {{Value::integer(70000), Value::date(-3000), Value::integer(1), Value::boolean(true),
                          Value::real(0.1), Value::text("Ärztin")},
                         {Value::integer(2), Value::date(12000), Value::integer(2), Value::boolean(false), Value::null(),
                          Value::text("")}}});
    r.tables.push_back({"Rates", {{"rate", FieldType::Double, 0}}, {{Value::real(1e-3)}, {Value::real(2e-3)}}});
    r.tables.push_back({"P1_Deaths", {{"Deaths", FieldType::Long, 0}}, Integers({3, 1, 4, 1})});
    FakeTable smr{"P1_SMR", {kTyp, {"Values", FieldType::Text, 255}, {"Figures", FieldType::Double, 0}}, {}};
    const std::vector<std::string> keys = {"ProjectName", "RateTable", "PyTable", "Alpha", "varDTH", "varTod",
                                           "totTote",     "totPy",     "totDthRate", "Expected", "Smr", "Smr_l",
                                           "Smr_h",       "N",         "NInc",    "Lag",    "Method"};
    for (size_t i = 0; i < keys.size(); ++i) {
        const std::string text = i == 0 ? "P1" : i == 1 ? "Rates" : i == 2 ? "1" : i == 16 ? "Byar" : "";
        smr.rows.push_back({Value::text(keys[i]), Value::text(text), i >= 5 && i < 16 ? Value::real(i) : Value::null()});
    }
    r.tables.push_back(smr);
    return r;
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class JetProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_jet_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        study_ = dir_ + "/study.vdx";
        // What the header check looks at; the fake reader serves the tables.
        std::ofstream(study_, std::ios::binary) << std::string("\0\1\0\0Standard Jet DB\0", 20) << std::string(2028, '\0');
        original_ = Bytes(study_);
        db::SetJetProjectImport([this](const std::string&, const std::string& target) {
            CopyJetProject(reader_, [this](const std::string& t) { return doubts_[t]; }, target);
        });
    }
    void TearDown() override {
        db::ReleaseWorkingCopy(state_);
        db::SetJetProjectImport(nullptr);
        fs::remove_all(dir_);
    }
    std::string dir_, study_, original_;
    FakeJetReader reader_ = Study();
    std::map<std::string, std::string> doubts_;
    ProgramState state_;
    ScriptedInteraction ui_;
};

TEST_F(JetProjectTest, OpensConvertsAndSavesKeepingTheJetOriginal) {
    ASSERT_TRUE(db::OpenProjectFile(state_, ui_, study_)) << (ui_.messages.empty() ? "" : ui_.messages.back().text);
    EXPECT_TRUE(state_.ProjectUpgraded);
    EXPECT_EQ(state_.MainTableName, "Cohort");
    EXPECT_EQ(state_.py, StudySettings());
    EXPECT_EQ(state_.AgeBounds, (std::vector<int16_t>{0, 20, 40, 60}));
    EXPECT_EQ(state_.CalendarBounds, (std::vector<int16_t>{0, 1950, 1970, 1990}));
    EXPECT_EQ((std::vector<int64_t>{state_.PyValues.at(1, 1, 1), state_.PyValues.at(1, 1, 2), state_.PyValues.at(1, 2, 1),
                                    state_.PyValues.at(1, 2, 2)}),
              (std::vector<int64_t>{400, 300, 200, 100}));
    {
        auto wc = db::Database::open(state_.WorkingCopyName);
        std::vector<std::string> types;
        for (const auto& f : wc->tableDef("Cohort").fields) types.push_back(db::DeclaredType(f));
        EXPECT_EQ(types, (std::vector<std::string>{"LONG", "DATE", "SHORT", "BIT", "DOUBLE", "TEXT(20)"}));
        auto cohort = wc->openRecordset("Cohort");
        EXPECT_EQ(cohort->value("id"), Value::integer(70000));
        EXPECT_EQ(cohort->value("dob"), Value::date(-3000));
        EXPECT_EQ(cohort->value("name"), Value::text("Ärztin"));
        cohort->moveNext();
        EXPECT_EQ(cohort->value("dead"), Value::boolean(false));
        EXPECT_TRUE(cohort->value("dose").isNull());
        auto smr = wc->openRecordset("P1_SMR");
        smr->move(2);
        EXPECT_EQ(smr->value("Values"), Value::text("Age*Calendar"));  // converted from 2.0
        EXPECT_EQ(smr->recordCount(), 19);
        EXPECT_EQ(db::ReadRows(*wc, "P1_Deaths", "Deaths", 4), (std::vector<std::string>{"3", "1", "4", "1"}));
        EXPECT_FALSE(wc->tableDef(db::kVdxSystemProjects).fields[0].allowZeroLength);
    }

    ASSERT_TRUE(db::FileSave(state_, ui_));
    EXPECT_FALSE(db::IsJetDatabaseFile(study_));
    EXPECT_EQ(Bytes(study_ + ".jet-backup"), original_);
    ASSERT_TRUE(db::FileSave(state_, ui_));  // a file of ours now: no second backup
    EXPECT_FALSE(fs::exists(study_ + ".jet-backup.2"));

    ProgramState reopened;
    ScriptedInteraction ui2;
    db::ReleaseWorkingCopy(state_);
    ASSERT_TRUE(db::OpenProjectFile(reopened, ui2, study_));
    EXPECT_FALSE(reopened.ProjectUpgraded);
    EXPECT_EQ(reopened.py, state_.py);
    EXPECT_EQ(reopened.PyValues, state_.PyValues);
    db::ReleaseWorkingCopy(reopened);
}

TEST_F(JetProjectTest, AnExistingBackupIsNeverOverwritten) {
    std::ofstream(study_ + ".jet-backup") << "older backup";
    ASSERT_TRUE(db::OpenProjectFile(state_, ui_, study_));
    ASSERT_TRUE(db::FileSave(state_, ui_));
    EXPECT_EQ(Bytes(study_ + ".jet-backup"), "older backup");
    EXPECT_EQ(Bytes(study_ + ".jet-backup.2"), original_);
}

TEST_F(JetProjectTest, FilesWhoseRowsCannotBeTrustedAreRefusedCleanly) {
    struct Case {
        const char* what;
        std::function<void(FakeJetReader&, std::map<std::string, std::string>&)> spoil;
        const char* message;  // part of what the user is told; "" when the study opens
    };
    const std::vector<Case> cases = {
        {"no system tables", [](FakeJetReader& r, auto&) { r.tables.erase(r.tables.begin()); }, " is not a VELDRIX file!"},
        {"settings rows swapped",
         [](FakeJetReader& r, auto&) { std::swap(r.find(db::kVdxSystemPY).rows[2], r.find(db::kVdxSystemPY).rows[3]); },
         "The rows of VdxSystemPY are not in the order of their keys"},
        {"main rows missing", [](FakeJetReader& r, auto&) { r.find(db::kVdxSystemMain).rows.resize(3); },
         "The rows of VdxSystemMain are not in the order of their keys"},
        {"a deleted row in the cells", [](FakeJetReader&, auto& d) { d[db::kVdxPyValues] = "1 deleted row(s)"; },
         "VdxPyValues holds 1 deleted row(s), so the order of its rows cannot be trusted"},
        {"a moved row in an SMR table", [](FakeJetReader&, auto& d) { d["P1_SMR"] = "1 moved row(s)"; },
         "P1_SMR holds 1 moved row(s)"},
        {"a deleted row in the cohort", [](FakeJetReader&, auto& d) { d["Cohort"] = "1 deleted row(s)"; }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reader_ = Study();
        doubts_.clear();
        c.spoil(reader_, doubts_);
        ProgramState state;
        ScriptedInteraction ui;
        const bool opens = *c.message == '\0';
        EXPECT_EQ(db::OpenProjectFile(state, ui, study_), opens);
        if (!opens) {
            ASSERT_FALSE(ui.messages.empty());
            EXPECT_NE(ui.messages.back().text.find(c.message), std::string::npos) << ui.messages.back().text;
            EXPECT_FALSE(fs::exists(dir_ + "/study.vd~"));
        }
        db::ReleaseWorkingCopy(state);
        EXPECT_EQ(Bytes(study_), original_);
    }
}

const std::string kAccess = VDX_SHARED_ACCESS;

TEST(JetProjectFiles, AnAccessDatabaseThatIsNoStudyIsRefusedCleanly) {
    if (!fs::is_directory(kAccess)) GTEST_SKIP() << "no sample databases in " << kAccess;
    RegisterJetProjectImport();
    char pattern[] = "/tmp/vdx_jet_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    // name, bytes kept (0: all), what the second line of the message says
    const std::string noStudy = "The Jet database holds no VdxSystemMain table.";
    const struct {
        const char* name;
        size_t keep;
        std::string why;
    } files[] = {{"nwind.mdb", 0, noStudy},
                 {"DateTestDatabase.mdb", 0, noStudy},
                 {"ASampleDatabase.accdb", 0, noStudy},
                 {"nwind.mdb", 5 * 2048 + 100,
                  "The Jet database is cut short: its 10340 bytes end 100 bytes into page 5 (pages of 2048 bytes "
                  "each, counted from 0)."}};
    for (const auto& [name, keep, why] : files) {
        SCOPED_TRACE(std::string(name) + " " + std::to_string(keep));
        const std::string study = dir + "/study.vdx";
        std::string bytes = Bytes(kAccess + "/" + name);
        if (keep) bytes.resize(keep);
        std::ofstream(study, std::ios::binary | std::ios::trunc) << bytes;
        ProgramState state;
        ScriptedInteraction ui;
        EXPECT_FALSE(db::OpenProjectFile(state, ui, study));
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_EQ(ui.messages.back().text, study + " is not a VELDRIX file!\r\n" + why);
        EXPECT_FALSE(fs::exists(dir + "/study.vd~"));
        EXPECT_EQ(Bytes(study), bytes);
    }
    db::SetJetProjectImport(nullptr);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vdx::project

namespace vdx::project {
namespace {

using namespace exchange;

size_t RowCount(AccessReader& reader, const std::string& table) {
    size_t n = 0;
    reader.readRows(table, [&](const std::vector<Value>&) { return ++n, true; }, nullptr);
    return n;
}

// A row deleted from a page leaves its slot flagged; the check must see it
// in every table that lost a row, in a Jet 3 and a Jet 4 file.
TEST(JetProjectFiles, TheRowOrderCheckSeesDeletedRows) {
    if (!fs::is_directory(kAccess)) GTEST_SKIP() << "no sample databases in " << kAccess;
    char pattern[] = "/tmp/vdx_jet_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    for (const char* name : {"nwind.mdb", "DateTestDatabase.mdb"}) {
        SCOPED_TRACE(name);
        const std::string original = kAccess + "/" + name, spoiled = dir + "/" + name;
        // Flags the first slot of every data page (type 1) that has two or
        // more slots and no flagged one yet as deleted.
        std::string bytes = Bytes(original);
        const bool jet4 = bytes[0x14] != 0;
        const size_t pageSize = jet4 ? 4096 : 2048, countAt = jet4 ? 12 : 8;
        auto u16 = [&](size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) |
                                           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8; };
        for (size_t page = 0; page + pageSize <= bytes.size(); page += pageSize) {
            if (bytes[page] != 1) continue;
            const unsigned slots = u16(page + countAt);
            bool flagged = false;
            for (unsigned i = 0; i < slots; ++i) flagged |= (u16(page + countAt + 2 + 2 * i) & 0xC000) != 0;
            if (slots >= 2 && !flagged) bytes[page + countAt + 3] |= static_cast<char>(0x40);
        }
        std::ofstream(spoiled, std::ios::binary) << bytes;

        AccessReader before(original), after(spoiled);
        int lostRows = 0;
        for (const std::string& table : before.tableNames()) {
            SCOPED_TRACE(table);
            if (RowCount(before, table) == RowCount(after, table)) continue;
            ++lostRows;
            EXPECT_NE(after.rowOrderDoubt(table).find("deleted row(s)"), std::string::npos);
        }
        EXPECT_GT(lostRows, 0);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vdx::project
