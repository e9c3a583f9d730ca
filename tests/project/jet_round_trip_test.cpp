// A study written as a Jet project file and opened again: the example study
// with two SMR projects and a cohort of 10^5 rows comes back table by table,
// row by row, with its types and the same SMR report; damaged Jet files are
// refused by File > Open without a working copy left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/file_io.h"
#include "db/table_stream.h"
#include "exchange/formats/access/access_reader.h"
#include "project/jet_project.h"
#include "mortality/smr_report.h"
#include "mortality/smr_run.h"
#include "test_sql.h"
#include "state/scripted_interaction.h"

namespace vdx::project {
namespace {

using namespace exchange;

namespace fs = std::filesystem;

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class JetRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_jet_round_trip_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::create_directories(dir_ + "/jet");
        RegisterJetProjectImport();
    }
    void TearDown() override {
        db::SetJetProjectImport(nullptr);
        fs::remove_all(dir_);
    }
    std::string dir_;
};

bool ComputeSmr(ProgramState& state, ScriptedInteraction& ui, const std::string& deathValue, const std::string& method) {
    const auto name = mortality::BeginSmrProject(state, ui);
    if (!name) return false;
    mortality::SmrRequest r;
    r.projectName = *name;
    r.rateTable = "Rates";
    r.pyTable = "Age*Calendar";
    r.levelText = "0.05";
    r.method = method;
    r.deathColumn = "ICD";
    r.deathValueText = deathValue;
    return mortality::CheckSmrRequest(state, ui, r).ok && mortality::RunSmr(state, ui, r);
}

TEST_F(JetRoundTrip, TheStudyComesBackTableByTableWithTheSameReport) {
    const std::string study = dir_ + "/study.vdx", jetStudy = dir_ + "/jet/study.vdx";
    fs::copy_file(std::string(VDX_EXAMPLES_DIR) + "/example.vdx", study);
    ProgramState state;
    ScriptedInteraction ui;
    ASSERT_TRUE(db::OpenProjectFile(state, ui, study));
    ASSERT_TRUE(ComputeSmr(state, ui, "162", "Byar"));
    ASSERT_TRUE(ComputeSmr(state, ui, "410", "Exact"));
    {
        auto wc = db::Database::open(state.WorkingCopyName);
        test::CreateTable(*wc, "Big", "Id LONG, Dose DOUBLE, Note TEXT(20), Hired DATE, Flag BIT, Memo MEMO");
        wc->beginTransaction();
        auto rs = wc->openRecordset("Big");
        for (int i = 0; i < 100000; ++i) {
            rs->addNew();
            rs->setValue("Id", Value::integer(i));
            rs->setValue("Dose", i % 7 ? Value::real(i / 3.0) : Value::null());
            rs->setValue("Note", Value::text(i % 5 ? "n\xC3\xA4" + std::to_string(i) : std::string()));
            rs->setValue("Hired", Value::date(-20000 + i));
            rs->setValue("Flag", Value::boolean(i % 2));
            if (i % 1000 == 0) rs->setValue("Memo", Value::text(std::string(5000 + i / 100, 'm')));
            rs->update();
        }
        rs.reset();
        wc->commit();
    }
    ASSERT_TRUE(db::FileSave(state, ui));
    const std::string report = mortality::BuildSmrReport(state, "Project1_SMR");
    const std::string report2 = mortality::BuildSmrReport(state, "Project2_SMR");
    ExportJetProject(state.WorkingCopyName, dir_ + "/study.mdb");
    db::ReleaseWorkingCopy(state);
    EXPECT_EQ(Bytes(dir_ + "/study.mdb")[0x14], 0);  // Jet 3, what the earlier program wrote

    fs::copy_file(dir_ + "/study.mdb", jetStudy);
    ProgramState back;
    ScriptedInteraction ui2;
    ASSERT_TRUE(db::OpenProjectFile(back, ui2, jetStudy)) << (ui2.messages.empty() ? "" : ui2.messages.back().text);
    EXPECT_EQ(mortality::BuildSmrReport(back, "Project1_SMR"), report);
    EXPECT_EQ(mortality::BuildSmrReport(back, "Project2_SMR"), report2);

    auto original = db::Database::open(study);
    auto copy = db::Database::open(back.WorkingCopyName);
    std::vector<std::string> names, namesBack;
    for (const auto& t : original->tableDefs()) names.push_back(t.name);
    for (const auto& t : copy->tableDefs()) namesBack.push_back(t.name);
    EXPECT_EQ(namesBack, names);
    for (const auto& def : original->tableDefs()) {
        SCOPED_TRACE(def.name);
        ASSERT_EQ(copy->tableDef(def.name).fields, def.fields);
        std::vector<std::string> columns;
        for (const auto& f : def.fields) columns.push_back(f.name);
        db::TableStream a(*original, def.name, columns), b(*copy, def.name, columns);
        ASSERT_EQ(b.rowCount(), a.rowCount());
        while (a.next() && b.next())
            for (int c = 0; c < static_cast<int>(columns.size()); ++c)
                if (!(b.value(c) == a.value(c))) FAIL() << "row " << a.position() << ", column " << columns[c];
    }
    copy.reset();
    db::ReleaseWorkingCopy(back);
}

// Memos as long as the Access reader takes (1 MiB less a byte) cross about
// 260 long-value pages and come back whole; a longer one is refused before
// a file is written, as the study could not be opened again.
TEST_F(JetRoundTrip, MemosUpToWhatTheReaderTakes) {
    const std::string wc = dir_ + "/memo.vd~", jet = dir_ + "/memo.mdb";
    const std::string longest = std::string(kAccessMemoBytes - 2, 'm') + "\xC3\xA9";
    {
        auto d = db::Database::create(wc);
        test::CreateTable(*d, "Notes", "Note MEMO");
        auto rs = d->openRecordset("Notes");
        rs->addNew();
        rs->setValue("Note", Value::text(longest));
        rs->update();
    }
    ExportJetProject(wc, jet);
    std::vector<Value> read;
    AccessReader(jet).readRows("Notes", [&](const std::vector<Value>& row) { return read.push_back(row[0]), true; }, nullptr);
    EXPECT_EQ(read, std::vector<Value>{Value::text(longest)});

    fs::remove(jet);
    test::Sql(*db::Database::open(wc), "UPDATE Notes SET Note = Note || 'x'");
    try {
        ExportJetProject(wc, jet);
        ADD_FAILURE() << "a memo longer than the reader takes was written";
    } catch (const VdxError& e) {
        EXPECT_NE(e.description().find("1 MiB"), std::string::npos) << e.description();
    }
    EXPECT_FALSE(fs::exists(jet));
}

// Damaged Jet project files: cut short, or a page pointer beyond the file's
// end in the catalogue (a table's definition page) or in a table definition
// (its usage map). File > Open refuses them and leaves no working copy.
TEST_F(JetRoundTrip, DamagedJetFilesAreRefusedCleanly) {
    const std::string study = dir_ + "/study.vdx";
    fs::copy_file(std::string(VDX_EXAMPLES_DIR) + "/example.vdx", study);
    ExportJetProject(study, dir_ + "/good.mdb");
    const std::string good = Bytes(dir_ + "/good.mdb");
    constexpr size_t kPage = 2048, kUsageMapAt = 35;  // Jet 3
    const size_t pages = good.size() / kPage;
    auto poke32 = [](std::string& b, size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>(v >> (8 * k));
    };
    struct Case {
        const char* what;
        std::function<void(std::string&)> spoil;
        std::string told;  // what the message says is wrong
    };
    const std::string middle = std::to_string(pages / 2);
    const std::vector<Case> cases = {
        {"cut after the catalogue's definition", [](std::string& b) { b.resize(3 * kPage + 100); },
         " is not a VELDRIX file!\r\nThe Jet database is cut short: its 6244 bytes end 100 bytes into page 3 "
         "(pages of 2048 bytes each, counted from 0)."},
        {"cut in the middle at the end of a page", [&](std::string& b) { b.resize(pages / 2 * kPage); },
         " is not a VELDRIX file!\r\nThe Jet database is damaged: its " + middle + " pages (" +
             std::to_string(pages / 2 * kPage) + " bytes, 2048 bytes each) do not hold what its catalog refers to"},
        {"usage maps of every table out of range",
         [&](std::string& b) {
             for (size_t p = 3; p < pages; ++p)
                 if (b[p * kPage] == 2) poke32(b, p * kPage + kUsageMapAt, (pages + 50) << 8);
         },
         "VdxSystemMain is not in the expected format: mdbtools cannot read the table's definition"},
        {"table definitions that are no definition pages",
         [&](std::string& b) {
             for (size_t p = 3; p < pages; ++p)
                 if (b[p * kPage] == 2) b[p * kPage] = 1;  // no longer a definition page
         },
         "VdxSystemMain is not in the expected format: mdbtools cannot read the table's definition"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.spoil(bytes);
        const std::string damaged = dir_ + "/jet/study.vdx";
        std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
        ProgramState state;
        ScriptedInteraction ui;
        EXPECT_FALSE(db::OpenProjectFile(state, ui, damaged));
        ASSERT_FALSE(ui.messages.empty());
        const std::string& message = ui.messages.back().text;
        EXPECT_NE(message.find(c.told), std::string::npos) << message;
        EXPECT_FALSE(fs::exists(dir_ + "/jet/study.vd~"));
        EXPECT_EQ(Bytes(damaged), bytes);
        db::ReleaseWorkingCopy(state);
    }
}

}  // namespace
}  // namespace vdx::project
