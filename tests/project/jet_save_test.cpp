// Saving a study in the earlier program's Jet format: the question of the
// first Save of a study opened from a Jet file, Save As by filter, and
// veldrix-cli convert's function. Every file written opens again with the
// same tables and the same SMR report, and a Jet original is never lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/file_io.h"
#include "db/table_stream.h"
#include "project/jet_project.h"
#include "project/project_convert.h"
#include "mortality/smr_report.h"
#include "mortality/smr_run.h"
#include "state/errors.h"
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

bool IsSqliteFile(const std::string& path) { return Bytes(path).rfind(std::string("SQLite format 3\0", 16), 0) == 0; }

// What a project file holds once opened: every table's rows, and the report
// of Project1.
struct Contents {
    std::map<std::string, std::vector<std::vector<Value>>> tables;
    std::string report;
};

Contents Open(const std::string& path) {
    ProgramState state;
    ScriptedInteraction ui;
    Contents c;
    if (!db::OpenProjectFile(state, ui, path)) {
        ADD_FAILURE() << path << ": " << (ui.messages.empty() ? "" : ui.messages.back().text);
        return c;
    }
    {
        auto db = db::Database::open(state.WorkingCopyName);
        for (const auto& def : db->tableDefs()) {
            std::vector<std::string> columns;
            for (const auto& f : def.fields) columns.push_back(f.name);
            db::TableStream rows(*db, def.name, columns);
            auto& out = c.tables[def.name];
            while (rows.next()) {
                out.emplace_back();
                for (int k = 0; k < static_cast<int>(columns.size()); ++k) out.back().push_back(rows.value(k));
            }
        }
    }
    c.report = mortality::BuildSmrReport(state, "Project1_SMR");
    db::ReleaseWorkingCopy(state);
    return c;
}

// The example study with an SMR project, saved in our format (study.vdx)
// and written as a Jet project file (original.vdx).
class JetSave : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_jet_save_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        RegisterJetProjectImport();
        study_ = dir_ + "/study.vdx";
        fs::copy_file(std::string(VDX_EXAMPLES_DIR) + "/example.vdx", study_);
        ProgramState state;
        ScriptedInteraction ui;
        ASSERT_TRUE(db::OpenProjectFile(state, ui, study_));
        const auto name = mortality::BeginSmrProject(state, ui);
        ASSERT_TRUE(name);
        mortality::SmrRequest r;
        r.projectName = *name;
        r.rateTable = "Rates";
        r.pyTable = "Age*Calendar";
        r.levelText = "0.05";
        r.method = "Byar";
        r.deathColumn = "ICD";
        r.deathValueText = "162";
        ASSERT_TRUE(mortality::CheckSmrRequest(state, ui, r).ok && mortality::RunSmr(state, ui, r));
        ASSERT_TRUE(db::FileSave(state, ui));
        db::ReleaseWorkingCopy(state);
        jetOriginal_ = dir_ + "/original.vdx";
        ExportJetProject(study_, jetOriginal_);
        expected_ = Open(study_);
        ASSERT_NE(expected_.report.find("Byar"), std::string::npos);
    }
    void TearDown() override {
        db::SetJetProjectImport(nullptr);
        db::SetJetProjectExport(nullptr);
        fs::remove_all(dir_);
    }
    void expectSameStudy(const std::string& path) {
        const Contents c = Open(path);
        EXPECT_EQ(c.report, expected_.report);
        ASSERT_EQ(c.tables.size(), expected_.tables.size());
        for (const auto& [name, rows] : expected_.tables) {
            ASSERT_TRUE(c.tables.count(name)) << name;
            EXPECT_TRUE(c.tables.at(name) == rows) << name;
        }
    }
    std::string dir_, study_, jetOriginal_;
    Contents expected_;
};

TEST_F(JetSave, FirstSaveOfAJetStudyAsksOnceAndWritesTheFormatChosen) {
    const struct {
        Answer answer;
        bool jet;
    } cases[] = {{Answer::Yes, false}, {Answer::No, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.jet ? "keep Jet" : "VELDRIX format");
        const std::string file = dir_ + (c.jet ? "/keep.vdx" : "/ours.vdx");
        fs::copy_file(jetOriginal_, file);
        const std::string original = Bytes(file);
        ProgramState state;
        ScriptedInteraction ui;
        ASSERT_TRUE(db::OpenProjectFile(state, ui, file));
        // Cancel writes nothing, and the next Save asks again.
        ui.answers = {Answer::Cancel, c.answer};
        EXPECT_FALSE(db::FileSave(state, ui));
        EXPECT_EQ(Bytes(file), original);
        ASSERT_TRUE(db::FileSave(state, ui));
        ASSERT_EQ(ui.messages.size(), 2u);
        EXPECT_EQ(ui.messages[1].buttons, Buttons::YesNoCancel);
        EXPECT_NE(ui.messages[1].text.find(file + ".jet-backup"), std::string::npos) << ui.messages[1].text;
        ASSERT_TRUE(db::FileSave(state, ui));
        EXPECT_EQ(ui.messages.size(), 2u);  // not asked again
        db::ReleaseWorkingCopy(state);

        EXPECT_EQ(db::IsJetDatabaseFile(file), c.jet);
        EXPECT_EQ(IsSqliteFile(file), !c.jet);
        // Our format keeps the Jet original beside the study, once.
        EXPECT_EQ(fs::exists(file + ".jet-backup"), !c.jet);
        if (!c.jet) EXPECT_EQ(Bytes(file + ".jet-backup"), original);
        EXPECT_FALSE(fs::exists(file + ".jet-backup.2"));
        expectSameStudy(file);
    }
}

TEST_F(JetSave, SaveAsWritesTheFormatOfTheFilterChosen) {
    for (const int filter : {1, 2}) {
        SCOPED_TRACE(filter);
        const std::string target = dir_ + "/saved" + std::to_string(filter) + ".vdx";
        ProgramState state;
        ScriptedInteraction ui;
        ASSERT_TRUE(db::OpenProjectFile(state, ui, study_));
        ui.files = {FileDialogResult{target, filter}};
        ASSERT_TRUE(db::FileSaveAs(state, ui));
        EXPECT_EQ(ui.fileDialogs.back().request.filter,
                  "VELDRIX project (*.vdx)|*.vdx|VELDRIX project, Jet format for the earlier program (*.vdx)|*.vdx");
        // A later Save keeps the format, without a question.
        state.ProjectChanged = true;
        ASSERT_TRUE(db::FileSave(state, ui));
        EXPECT_TRUE(ui.messages.empty());
        db::ReleaseWorkingCopy(state);
        EXPECT_EQ(db::IsJetDatabaseFile(target), filter == 2);
        EXPECT_EQ(IsSqliteFile(target), filter == 1);
        expectSameStudy(target);
    }
}

TEST_F(JetSave, ConvertWritesEitherFormatAndOnlyReadsItsInput) {
    const std::string jet = dir_ + "/converted.vdx", back = dir_ + "/back.vdx";
    const std::string studyBytes = Bytes(study_);
    ConvertProjectFile(study_, jet, ProjectFormat::Jet);
    ConvertProjectFile(jet, back, ProjectFormat::Veldrix);
    const std::string jetBytes = Bytes(jet);
    EXPECT_EQ(Bytes(study_), studyBytes);
    EXPECT_TRUE(db::IsJetDatabaseFile(jet));
    EXPECT_TRUE(IsSqliteFile(back));
    expectSameStudy(jet);
    expectSameStudy(back);
    EXPECT_FALSE(fs::exists(WorkingCopyPath(back)));

    // Refused, the files as they were: onto itself (by another spelling or a
    // hard link), from a file that is no study.
    fs::create_hard_link(jet, dir_ + "/link.vdx");
    std::ofstream(dir_ + "/text.vdx") << "not a study";
    const struct {
        std::string in, out;
        int error;
    } refused[] = {
        {jet, dir_ + "/./converted.vdx", err::PathAccess},
        {jet, dir_ + "/link.vdx", err::PathAccess},
        {dir_ + "/text.vdx", jet, err::UnrecognizedDatabase},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.in + " -> " + r.out);
        try {
            ConvertProjectFile(r.in, r.out, ProjectFormat::Veldrix);
            ADD_FAILURE() << "converted";
        } catch (const VdxError& e) {
            EXPECT_EQ(e.number(), r.error) << e.description();
        }
        EXPECT_EQ(Bytes(jet), jetBytes);
    }
}

}  // namespace
}  // namespace vdx::project
