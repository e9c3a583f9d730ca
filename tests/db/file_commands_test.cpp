// The File commands over the program state: New, Open, Save, Save As, Exit,
// saving that fails half-way, and the lock on the working copy.
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include "db/file_commands.h"
#include "db/file_io.h"
#include "db/working_copy_lock.h"
#include "state/scripted_interaction.h"
#include "test_support.h"

using namespace vdx;
using namespace vdx::db;
using vdx::test::ColumnTexts;
using vdx::test::ReadBytes;
using vdx::test::WriteBytes;

namespace {

class FileCommandsTest : public vdx::test::TempDir {
protected:
    void TearDown() override {
        SetWriteFaultHook({});
        ReleaseWorkingCopy(state);
        TempDir::TearDown();
    }
    FileDialogResult file(const std::string& name) { return {path(name), 1}; }
    bool newProject(const std::string& name) {
        ui.files.push_back(file(name));
        return FileNew(state, ui);
    }
    // A project file made by another (finished) session.
    void makeProjectFile(const std::string& name) {
        ProgramState other;
        ScriptedInteraction otherUi;
        ASSERT_TRUE(CreateProjectFile(other, otherUi, path(name)));
        ASSERT_TRUE(FileExit(other, otherUi));
    }
    // A change in the working copy, as a table command would make it.
    void changeWorkingCopy(const std::string& mainTable) {
        auto d = Database::open(state.WorkingCopyName);
        test::CreateTable(*d, mainTable, "ID LONG");
        state.MainTableName = mainTable;
        state.ProjectChanged = true;
    }
    std::string versionRow(const std::string& file) {
        auto d = Database::open(file);
        return ColumnTexts(*d, "VdxSystemMain", "Value")[1];
    }
    std::vector<std::string> texts() const { return ui.messageTexts(); }

    ProgramState state;
    ScriptedInteraction ui;
};

}  // namespace

// ---- New ------------------------------------------------------------------------

TEST_F(FileCommandsTest, NewAsksForTheFileAndCreatesItWithItsWorkingCopy) {
    ASSERT_TRUE(newProject("study.vdx")) << ::testing::PrintToString(texts());
    ASSERT_EQ(ui.fileDialogs.size(), 1u);
    const auto& request = ui.fileDialogs[0].request;
    EXPECT_TRUE(ui.fileDialogs[0].save);
    EXPECT_EQ(request.title, "Create new file as...");
    EXPECT_EQ(request.fileName, "*.vdx");
    EXPECT_EQ(request.filter, "VELDRIX file (*.vdx)|*.vdx");
    EXPECT_EQ(request.defaultExtension, "vdx");
    EXPECT_EQ(request.flags, 32774);
    EXPECT_TRUE(state.ProjectOpen);
    EXPECT_FALSE(state.ProjectChanged);
    EXPECT_EQ(state.ProjectFileName, path("study.vdx"));
    EXPECT_EQ(state.WorkingCopyName, path("study.vd~"));
    EXPECT_TRUE(FileExists(path("study.vd~")));
    EXPECT_EQ(MainWindowCaption(state), "VELDRIX 1.41 - " + path("study.vdx"));
    EXPECT_EQ(state.CurrentView, ViewName::Empty);
    EXPECT_EQ(ui.busyDepth, 0);
    EXPECT_TRUE(texts().empty());
}

TEST_F(FileCommandsTest, NewOntoAnExistingFileReplacesItWithAFreshProject) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Cohort");
    ASSERT_TRUE(FileSave(state, ui));
    EXPECT_EQ(versionRow(path("study.vdx")), "Cohort");
    ASSERT_TRUE(newProject("study.vdx"));  // saved: nothing to ask
    auto d = Database::open(path("study.vdx"));
    EXPECT_EQ(ColumnTexts(*d, "VdxSystemMain", "Value"),
              (std::vector<std::string>{"3.0", "", "0", "0", kSmrReportHeadingDefault}));
    EXPECT_FALSE(d->tableExists("Cohort"));
}

TEST_F(FileCommandsTest, NewWithAProjectOpenAsksAboutSaving) {
    ASSERT_TRUE(newProject("a.vdx"));
    changeWorkingCopy("Cohort");
    ui.answers.push_back(Answer::Cancel);
    EXPECT_FALSE(FileNew(state, ui));
    EXPECT_EQ(texts(), std::vector<std::string>{Message(19)});
    EXPECT_EQ(ui.messages[0].buttons, Buttons::YesNoCancel);
    EXPECT_EQ(ui.fileDialogs.size(), 1u);  // no second dialog
    EXPECT_EQ(state.ProjectFileName, path("a.vdx"));

    ui.answers.push_back(Answer::Yes);
    ASSERT_TRUE(newProject("b.vdx"));
    EXPECT_EQ(versionRow(path("a.vdx")), "Cohort");  // Yes saved a.vdx first
    EXPECT_EQ(state.ProjectFileName, path("b.vdx"));
    EXPECT_FALSE(FileExists(path("a.vd~")));  // the working copy of the study left behind
}

TEST_F(FileCommandsTest, AskedToSaveFirstAFailedSaveKeepsTheStudyOpen) {
    ASSERT_TRUE(newProject("a.vdx"));
    changeWorkingCopy("Cohort");
    SetWriteFaultHook([](const std::string&, uint64_t) { return ENOSPC; });
    ui.answers = {Answer::Yes, Answer::Yes};
    EXPECT_FALSE(newProject("b.vdx"));
    ui.files.push_back(file("b.vdx"));
    EXPECT_FALSE(FileOpen(state, ui));
    SetWriteFaultHook({});
    EXPECT_EQ(ui.fileDialogs.size(), 1u);  // neither asked for a file
    EXPECT_EQ(state.ProjectFileName, path("a.vdx"));
    EXPECT_TRUE(state.ProjectChanged);
    EXPECT_TRUE(Database::open(path("a.vd~"))->tableExists("Cohort"));
}

TEST_F(FileCommandsTest, ACancelledDialogEndsSilently) {
    EXPECT_FALSE(FileNew(state, ui));
    EXPECT_FALSE(FileOpen(state, ui));
    EXPECT_TRUE(texts().empty());
    EXPECT_EQ(ui.fileDialogs.size(), 2u);
    EXPECT_EQ(ui.fileDialogs[1].request.title, "Open File");
    EXPECT_EQ(ui.fileDialogs[1].request.flags, 4100);
    EXPECT_FALSE(state.ProjectOpen);
}

// ---- Open and Exit ----------------------------------------------------------------

TEST_F(FileCommandsTest, OpeningAnotherProjectDeletesThePreviousWorkingCopy) {
    makeProjectFile("a.vdx");
    ASSERT_TRUE(newProject("b.vdx"));
    ui.files.push_back(file("a.vdx"));
    ASSERT_TRUE(FileOpen(state, ui));
    EXPECT_EQ(state.ProjectFileName, path("a.vdx"));
    EXPECT_TRUE(FileExists(path("a.vd~")));
    EXPECT_FALSE(FileExists(path("b.vd~")));
    EXPECT_EQ(MainWindowCaption(state), "VELDRIX 1.41 - " + path("a.vdx"));
    EXPECT_TRUE(texts().empty());  // b.vdx had no unsaved changes: nothing to ask
}

TEST_F(FileCommandsTest, AFailedOpenLeavesNoProjectOpen) {
    ASSERT_TRUE(newProject("a.vdx"));
    WriteBytes(path("bad.vdx"), "nothing");
    ui.answers.push_back(Answer::No);
    ui.files.push_back(file("bad.vdx"));
    EXPECT_FALSE(FileOpen(state, ui));
    EXPECT_FALSE(state.ProjectOpen);
    EXPECT_EQ(state.ProjectFileName, "");
    EXPECT_EQ(MainWindowCaption(state), "VELDRIX 1.41");
    EXPECT_EQ(texts().back(), path("bad.vdx") + " is not a VELDRIX file!");
    // Nothing holds a.vdx any more: another state may open it.
    ProgramState other;
    ScriptedInteraction ui2;
    EXPECT_TRUE(OpenProjectFile(other, ui2, path("a.vdx")));
    ReleaseWorkingCopy(other);
}

TEST_F(FileCommandsTest, ExitRightAfterOpenAsksNothingAndDeletesTheWorkingCopy) {
    ASSERT_TRUE(newProject("study.vdx"));
    EXPECT_TRUE(FileExit(state, ui));
    EXPECT_TRUE(texts().empty());
    EXPECT_FALSE(FileExists(path("study.vd~")));
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"study.vdx"});
}

TEST_F(FileCommandsTest, ExitAfterAChangeAsks) {
    ASSERT_TRUE(newProject("study.vdx"));
    const std::string saved = ReadBytes(path("study.vdx"));
    changeWorkingCopy("Cohort");
    ui.answers.push_back(Answer::Cancel);
    EXPECT_FALSE(FileExit(state, ui));
    EXPECT_EQ(texts(), std::vector<std::string>{Message(19)});
    EXPECT_TRUE(FileExists(path("study.vd~")));

    ui.answers.push_back(Answer::No);
    EXPECT_TRUE(FileExit(state, ui));
    EXPECT_FALSE(FileExists(path("study.vd~")));
    EXPECT_EQ(ReadBytes(path("study.vdx")), saved);  // the change is lost, as asked
}

TEST_F(FileCommandsTest, ChangesOfTheProjectLeftBehindAreNotAskedAboutAgain) {
    makeProjectFile("a.vdx");
    ASSERT_TRUE(newProject("b.vdx"));
    changeWorkingCopy("Cohort");
    ui.answers.push_back(Answer::No);  // drop the changes of b.vdx
    ui.files.push_back(file("a.vdx"));
    ASSERT_TRUE(FileOpen(state, ui));
    EXPECT_FALSE(state.ProjectChanged);
    EXPECT_TRUE(FileExit(state, ui));
    EXPECT_EQ(texts(), std::vector<std::string>{Message(19)});  // only the one before Open
}

TEST_F(FileCommandsTest, ExitWithYesSavesFirst) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Cohort");
    ui.answers.push_back(Answer::Yes);
    EXPECT_TRUE(FileExit(state, ui));
    EXPECT_EQ(versionRow(path("study.vdx")), "Cohort");
    EXPECT_FALSE(FileExists(path("study.vd~")));
}

// ---- Save and Save As -------------------------------------------------------------

TEST_F(FileCommandsTest, SaveWithoutAProject) {
    EXPECT_FALSE(FileSave(state, ui));
    EXPECT_FALSE(FileSaveAs(state, ui));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "There is no VELDRIX file loaded!");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(ui.messages[0].title, "VELDRIX");
    EXPECT_TRUE(ui.fileDialogs.empty());
}

TEST_F(FileCommandsTest, AFailingSaveLeavesTheOldFileByteForByteAndSaysSo) {
    ASSERT_TRUE(newProject("study.vdx"));
    {
        // A study of a few megabytes, so that the copy takes several writes.
        auto d = Database::open(state.WorkingCopyName);
        test::CreateTable(*d, "Big", "N LONG, Label TEXT(40)");
        test::Sql(*d, "WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < 99999) "
                   "INSERT INTO Big SELECT x, 'row number ' || x FROM c");
    }
    ASSERT_TRUE(FileSave(state, ui));
    const std::string before = ReadBytes(path("study.vdx"));
    ASSERT_GT(before.size(), 2u << 20);  // more than two chunks of the copy
    changeWorkingCopy("Cohort");
    // The disk fills up half-way through writing the new project file.
    const uint64_t half = before.size() / 2;
    uint64_t failedAt = 0;
    SetWriteFaultHook([&](const std::string& target, uint64_t written) {
        if (target != path("study.vdx") || written < half) return 0;
        failedAt = written;
        return ENOSPC;
    });
    EXPECT_FALSE(FileSave(state, ui));
    EXPECT_GE(failedAt, half);
    EXPECT_LT(failedAt, before.size());
    SetWriteFaultHook({});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Following error has occured:\r\nNumber: 61\r\n", 0), 0u)
        << ui.messages[0].text;
    EXPECT_EQ(ReadBytes(path("study.vdx")), before);
    EXPECT_TRUE(state.ProjectChanged);
    // The working copy still holds the change, and no temporary file is left.
    EXPECT_TRUE(Database::open(path("study.vd~"))->tableExists("Cohort"));
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"study.vdx", "study.vd~", "study.vd~.lock"}));
    // Once the disk has room again, Save works.
    EXPECT_TRUE(FileSave(state, ui));
    EXPECT_EQ(versionRow(path("study.vdx")), "Cohort");
}

TEST_F(FileCommandsTest, AnUnwritableTargetLeavesEverythingAsItWas) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Cohort");
    // Save As onto a path that is a folder: the rename cannot replace it.
    std::filesystem::create_directory(path("taken.vdx"));
    ui.files.push_back(file("taken.vdx"));
    EXPECT_FALSE(FileSaveAs(state, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("not saved"), std::string::npos);
    EXPECT_EQ(state.ProjectFileName, path("study.vdx"));
    EXPECT_EQ(state.WorkingCopyName, path("study.vd~"));
    EXPECT_TRUE(state.ProjectChanged);
    EXPECT_TRUE(Database::open(path("study.vd~"))->tableExists("Cohort"));
    EXPECT_FALSE(FileExists(path("taken.vd~")));
    EXPECT_TRUE(std::filesystem::is_directory(path("taken.vdx")));
}

TEST_F(FileCommandsTest, AnImmutableFolderRefusesTheSave) {
    ASSERT_TRUE(newProject("study.vdx"));
    const std::string before = ReadBytes(path("study.vdx"));
    changeWorkingCopy("Cohort");
    // Root ignores permission bits; the immutable attribute stops it too.
    const std::string cmd = "chattr +i " + dir_ + " 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "chattr +i is not available here";
    const bool saved = FileSave(state, ui);
    std::system(("chattr -i " + dir_).c_str());
    EXPECT_FALSE(saved);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("Number: 70"), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ReadBytes(path("study.vdx")), before);
    EXPECT_TRUE(Database::open(path("study.vd~"))->tableExists("Cohort"));
}

TEST_F(FileCommandsTest, SaveAsMovesTheProjectToTheNewName) {
    ASSERT_TRUE(newProject("study.vdx"));
    const std::string old = ReadBytes(path("study.vdx"));
    changeWorkingCopy("Cohort");
    ui.files.push_back(file("copy.vdx"));
    ASSERT_TRUE(FileSaveAs(state, ui));
    EXPECT_EQ(ui.fileDialogs.back().request.title, "Save File as ...");
    EXPECT_EQ(state.ProjectFileName, path("copy.vdx"));
    EXPECT_EQ(state.WorkingCopyName, path("copy.vd~"));
    EXPECT_FALSE(state.ProjectChanged);
    EXPECT_EQ(versionRow(path("copy.vdx")), "Cohort");
    EXPECT_EQ(ReadBytes(path("study.vdx")), old);  // the old file stays as it was
    EXPECT_FALSE(FileExists(path("study.vd~")));
    EXPECT_TRUE(FileExists(path("copy.vd~")));
    // The old name is free again, the new one is held.
    auto again = WorkingCopyLock::acquire(path("study.vd~"), path("study.vdx"));
    EXPECT_EQ(vdx::test::ErrorNumber([&] { WorkingCopyLock::acquire(path("copy.vd~"), path("copy.vdx")); }),
              err::FileInUse);
}

TEST_F(FileCommandsTest, SaveAsOntoTheOpenFileKeepsTheWorkingCopy) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Cohort");
    ui.files.push_back(file("study.vdx"));
    ASSERT_TRUE(FileSaveAs(state, ui));
    EXPECT_TRUE(FileExists(path("study.vd~")));
    EXPECT_TRUE(Database::open(path("study.vd~"))->tableExists("Cohort"));
    EXPECT_EQ(versionRow(path("study.vdx")), "Cohort");
    // Another spelling of the same path.
    ui.files.push_back(FileDialogResult{dir_ + "/./study.vdx", 1});
    ASSERT_TRUE(FileSaveAs(state, ui));
    EXPECT_TRUE(FileExists(path("study.vd~")));
}

TEST_F(FileCommandsTest, SaveAsOntoAFileSharingTheWorkingCopy) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Cohort");
    ui.files.push_back(file("study.vdy"));  // its working copy is study.vd~ as well
    ASSERT_TRUE(FileSaveAs(state, ui));
    EXPECT_EQ(state.ProjectFileName, path("study.vdy"));
    EXPECT_TRUE(FileExists(path("study.vd~")));
    EXPECT_EQ(versionRow(path("study.vdy")), "Cohort");
}

TEST_F(FileCommandsTest, ExitKeepsRunningWhenTheRequestedSaveFails) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Cohort");
    SetWriteFaultHook([](const std::string&, uint64_t) { return ENOSPC; });
    ui.answers.push_back(Answer::Yes);
    EXPECT_FALSE(FileExit(state, ui));
    SetWriteFaultHook({});
    EXPECT_TRUE(FileExists(path("study.vd~")));
    EXPECT_TRUE(Database::open(path("study.vd~"))->tableExists("Cohort"));
}

TEST_F(FileCommandsTest, ExitGoesOnWhenTheUserCancelsTheConversionQuestion) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Cohort");
    state.ProjectUpgraded = true;
    ui.answers = {Answer::Yes, Answer::Cancel};  // save: yes; overwrite the old version: cancel
    EXPECT_TRUE(FileExit(state, ui));
    EXPECT_EQ(texts(), (std::vector<std::string>{Message(19), Message(41)}));
    EXPECT_FALSE(FileExists(path("study.vd~")));
}

// ---- The lock on the working copy --------------------------------------------------

TEST_F(FileCommandsTest, ASecondOpenOfALockedProjectIsRefused) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Unsaved");
    const std::string workingCopy = ReadBytes(path("study.vd~"));

    ProgramState second;
    ScriptedInteraction ui2;
    EXPECT_FALSE(OpenProjectFile(second, ui2, path("study.vdx")));
    ASSERT_EQ(ui2.messages.size(), 1u);
    EXPECT_EQ(ui2.messages[0].text, path("study.vdx") + " is in use by another running VELDRIX. Close it there first.");
    EXPECT_FALSE(second.ProjectOpen);
    // The first instance's unsaved work is untouched.
    EXPECT_EQ(ReadBytes(path("study.vd~")), workingCopy);
    // New onto it is refused too, and so is a file sharing its working copy.
    EXPECT_FALSE(CreateProjectFile(second, ui2, path("study.vdx")));
    EXPECT_FALSE(CreateProjectFile(second, ui2, path("study.vdz")));
    EXPECT_EQ(ReadBytes(path("study.vd~")), workingCopy);

    ASSERT_TRUE(FileSave(state, ui));
    ASSERT_TRUE(FileExit(state, ui));
    EXPECT_TRUE(OpenProjectFile(second, ui2, path("study.vdx")));
    EXPECT_EQ(second.MainTableName, "Unsaved");
    ReleaseWorkingCopy(second);
}

TEST_F(FileCommandsTest, AnotherProcessHoldsTheLockUntilItDies) {
    ASSERT_TRUE(newProject("study.vdx"));
    ASSERT_TRUE(FileExit(state, ui));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other instance: opens the project and then hangs.
        ProgramState other;
        ScriptedInteraction otherUi;
        const char ok = OpenProjectFile(other, otherUi, path("study.vdx")) ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    EXPECT_FALSE(OpenProjectFile(state, ui, path("study.vdx")));
    EXPECT_NE(texts().back().find("in use"), std::string::npos);
    // The other instance crashes; its lock goes with it.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_TRUE(OpenProjectFile(state, ui, path("study.vdx")));
}

TEST_F(FileCommandsTest, AJournalLeftByACrashIsNotPlayedIntoTheNextWorkingCopy) {
    ASSERT_TRUE(newProject("study.vdx"));
    ASSERT_TRUE(FileExit(state, ui));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // An instance that made changes and died in the middle of a transaction.
        ProgramState other;
        ScriptedInteraction otherUi;
        char ok = 'n';
        std::unique_ptr<Database> d;  // stays open until the process is killed
        if (OpenProjectFile(other, otherUi, path("study.vdx"))) {
            d = Database::open(other.WorkingCopyName);
            test::CreateTable(*d, "Crashed", "N LONG, Label TEXT(200)");
            d->beginTransaction();
            test::Sql(*d, "WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < 20000) "
                       "INSERT INTO Crashed SELECT x, printf('%0200d', x) FROM c");
            test::Sql(*d, "UPDATE VdxSystemMain SET Value = 'half-done'");
            ok = FileExists(path("study.vd~-journal")) ? 'y' : 'j';
        }
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    ASSERT_TRUE(FileExists(path("study.vd~-journal")));

    ASSERT_TRUE(OpenProjectFile(state, ui, path("study.vdx"))) << ::testing::PrintToString(texts());
    EXPECT_FALSE(FileExists(path("study.vd~-journal")));
    auto d = Database::open(state.WorkingCopyName);
    EXPECT_FALSE(d->tableExists("Crashed"));
    EXPECT_EQ(ColumnTexts(*d, "VdxSystemMain", "Value")[0], "3.0");
    auto check = d->openRecordset("SELECT * FROM pragma_integrity_check");
    EXPECT_EQ(check->value(0), Value::text("ok"));
}

// ---- Names, links and permissions of the project file ------------------------------

TEST_F(FileCommandsTest, ANameEndingInTildeIsRefusedBeforeAnythingIsTouched) {
    WriteBytes(path("example.vd~"), "a study someone named so");
    std::filesystem::create_symlink("example.vd~", path("link.vdx"));
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Cohort");
    using Command = bool (*)(ProgramState&, Interaction&, const std::string&);
    // File > Save As onto the name chosen in its dialog.
    const Command saveAs = [](ProgramState& s, Interaction& u, const std::string& name) {
        static_cast<ScriptedInteraction&>(u).files.push_back(FileDialogResult{name, 1});
        return FileSaveAs(s, u);
    };
    const struct {
        const char* name;
        Command command;
    } cases[] = {
        {"example.vd~", OpenProjectFile}, {"example.vd~", CreateProjectFile}, {"study~", CreateProjectFile},
        {"link.vdx", OpenProjectFile},    {"copy.vd~", saveAs},               {"link.vdx", saveAs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto files = filesInDir();
        const std::string held = ReadBytes(path("example.vd~"));
        ui.messages.clear();
        ProgramState fresh;
        // Save As works on the open project; New and Open on a fresh state.
        ProgramState& s = c.command == saveAs ? state : fresh;
        EXPECT_FALSE(c.command(s, ui, path(c.name)));
        ASSERT_EQ(texts().size(), 1u);
        EXPECT_EQ(texts()[0], path(c.name) + " cannot be opened: its working copy would be the file itself. "
                                             "Rename it to end in .vdx.");
        EXPECT_EQ(filesInDir(), files);
        EXPECT_EQ(ReadBytes(path("example.vd~")), held);
    }
    EXPECT_EQ(state.ProjectFileName, path("study.vdx"));
    EXPECT_TRUE(Database::open(state.WorkingCopyName)->tableExists("Cohort"));
}

TEST_F(FileCommandsTest, SavingThroughASymbolicLinkWritesTheStudyItPointsTo) {
    std::filesystem::create_directory(path("real"));
    makeProjectFile("real/study.vdx");
    std::filesystem::create_symlink("real/study.vdx", path("link.vdx"));
    ASSERT_TRUE(OpenProjectFile(state, ui, path("link.vdx"))) << ::testing::PrintToString(texts());
    EXPECT_EQ(state.WorkingCopyName, path("real/study.vd~"));
    changeWorkingCopy("Cohort");
    ASSERT_TRUE(FileSave(state, ui));
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.vdx")));
    EXPECT_EQ(versionRow(path("real/study.vdx")), "Cohort");
    EXPECT_FALSE(FileExists(path("link.vd~")));
}

TEST_F(FileCommandsTest, AReadOnlyProjectFileOpensButIsNotSavedOver) {
    makeProjectFile("study.vdx");
    ::chmod(path("study.vdx").c_str(), 0444);
    const std::string before = ReadBytes(path("study.vdx"));
    ASSERT_TRUE(OpenProjectFile(state, ui, path("study.vdx")));
    EXPECT_TRUE(ProjectFileReadOnly(state));
    changeWorkingCopy("Cohort");
    EXPECT_FALSE(FileSave(state, ui));
    ASSERT_EQ(texts().size(), 1u);
    EXPECT_NE(texts()[0].find("Number: 75"), std::string::npos) << texts()[0];
    EXPECT_NE(texts()[0].find(path("study.vdx") + " is read-only"), std::string::npos) << texts()[0];
    EXPECT_EQ(ReadBytes(path("study.vdx")), before);
    EXPECT_EQ(std::filesystem::status(path("study.vdx")).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0444));
    EXPECT_TRUE(state.ProjectChanged);
    EXPECT_TRUE(Database::open(path("study.vd~"))->tableExists("Cohort"));
}

TEST_F(FileCommandsTest, AFailedSaveOfACommandThatEndsSaysNothingWasChanged) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Cohort");
    SetWriteFaultHook([](const std::string&, uint64_t) { return ENOSPC; });
    EXPECT_FALSE(FileSave(state, ui, AfterFailedSave::CommandDiscarded));
    ASSERT_EQ(texts().size(), 1u);
    EXPECT_NE(texts()[0].find("Number: 61"), std::string::npos);
    EXPECT_NE(texts()[0].find("this command changed nothing"), std::string::npos) << texts()[0];
    EXPECT_EQ(texts()[0].find("working copy"), std::string::npos) << texts()[0];
}

// ---- Unfinished saves ----------------------------------------------------------------

TEST_F(FileCommandsTest, UnfinishedSavesNobodyHoldsAreRemovedOnOpenAndSave) {
    makeProjectFile("study.vdx");
    const std::vector<std::string> stale{"study.vdx.unfinished-save.a1B2c3", ".study.vdx.saving.Zx9Y8w",
                                         "study.vd~.unfinished-save.QQ00qq"};
    for (const auto& name : stale) WriteBytes(path(name), "part of a killed save");
    // A save in progress in another session holds its file.
    WriteBytes(path("study.vdx.unfinished-save.live00"), "being written");
    const int live = ::open(path("study.vdx.unfinished-save.live00").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    WriteBytes(path("other.vdx.unfinished-save.a1B2c3"), "another study's");

    ASSERT_TRUE(OpenProjectFile(state, ui, path("study.vdx")));
    const auto afterOpen = filesInDir();
    for (const auto& name : stale)
        EXPECT_EQ(std::count(afterOpen.begin(), afterOpen.end(), name), 0) << name;
    EXPECT_TRUE(FileExists(path("study.vdx.unfinished-save.live00")));
    EXPECT_TRUE(FileExists(path("other.vdx.unfinished-save.a1B2c3")));

    // The save's own temporary file is named for what it is and held while written.
    WriteBytes(path(stale[0]), "left by a save killed after the open");
    bool heldWhileWritten = false;
    SetWriteFaultHook([&](const std::string& target, uint64_t) {
        if (target != path("study.vdx")) return 0;
        for (const auto& name : filesInDir()) {
            if (name.rfind("study.vdx.unfinished-save.", 0) != 0 || name == stale[0] ||
                name == "study.vdx.unfinished-save.live00")
                continue;
            const int fd = ::open(path(name).c_str(), O_RDONLY);
            heldWhileWritten = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            ::close(fd);
        }
        return 0;
    });
    ASSERT_TRUE(FileSave(state, ui));
    EXPECT_TRUE(heldWhileWritten);
    EXPECT_FALSE(FileExists(path(stale[0])));
    ::close(live);
}

// ---- The lock guards the study, whatever its name -----------------------------------

TEST_F(FileCommandsTest, ALinkToAnOpenStudyIsRefused) {
    ASSERT_TRUE(newProject("study.vdx"));
    changeWorkingCopy("Unsaved");
    std::filesystem::create_directory(path("elsewhere"));
    std::filesystem::create_symlink("../study.vdx", path("elsewhere/symbolic.vdx"));
    std::filesystem::create_hard_link(path("study.vdx"), path("elsewhere/hard.vdx"));
    const std::string work = ReadBytes(path("study.vd~"));
    for (const char* name : {"elsewhere/symbolic.vdx", "elsewhere/hard.vdx"}) {
        SCOPED_TRACE(name);
        ProgramState second;
        ScriptedInteraction ui2;
        EXPECT_FALSE(OpenProjectFile(second, ui2, path(name)));
        ASSERT_EQ(ui2.messages.size(), 1u);
        EXPECT_NE(ui2.messages[0].text.find("is in use by another running VELDRIX"), std::string::npos);
        EXPECT_EQ(ReadBytes(path("study.vd~")), work);
    }
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"elsewhere", "study.vdx", "study.vd~", "study.vd~.lock"}));
}

TEST_F(FileCommandsTest, AHardLinkStaysRefusedAfterTheStudyIsSaved) {
    ASSERT_TRUE(newProject("study.vdx"));
    std::filesystem::create_hard_link(path("study.vdx"), path("hard.vdx"));
    changeWorkingCopy("Cohort");
    // Saving puts a new file in place of study.vdx; hard.vdx still leads to the old one.
    ASSERT_TRUE(FileSave(state, ui));
    ProgramState second;
    ScriptedInteraction ui2;
    EXPECT_FALSE(OpenProjectFile(second, ui2, path("hard.vdx")));
    ASSERT_EQ(ui2.messages.size(), 1u);
    EXPECT_NE(ui2.messages[0].text.find("is in use by another running VELDRIX"), std::string::npos);
    // The refused run made nothing, not even a lock file.
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"hard.vdx", "study.vdx", "study.vd~", "study.vd~.lock"}));
    ReleaseWorkingCopy(state);
    EXPECT_TRUE(OpenProjectFile(second, ui2, path("hard.vdx")));
    ReleaseWorkingCopy(second);
}

// ---- A study on a read-only medium ----------------------------------------------------

namespace {

// A folder made read-only for this process, as a CD or a read-only share is
// (root writes whatever the permission bits say): bound onto itself and
// remounted read-only in a mount namespace of the process's own.
class ReadOnlyMount {
public:
    explicit ReadOnlyMount(const std::string& dir) : dir_(dir) {
        bound_ = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                 ::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) == 0;
        readOnly_ = bound_ && ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    ~ReadOnlyMount() {
        if (bound_) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    bool made() const { return readOnly_; }

private:
    std::string dir_;
    bool bound_ = false, readOnly_ = false;
};

}  // namespace

TEST_F(FileCommandsTest, AStudyOnAReadOnlyMediumOpensReadOnlyAndIsNotSavedOver) {
    makeProjectFile("study.vdx");
    const std::string before = ReadBytes(path("study.vdx"));
    // The temporary folder, with what killed read-only sessions left there.
    char pattern[] = "/tmp/vdx_db_test_tmp_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string tmp = pattern;
    ::setenv("TMPDIR", tmp.c_str(), 1);
    std::filesystem::create_directories(tmp + "/veldrix-readonly-killed");
    WriteBytes(tmp + "/veldrix-readonly-killed/held", "");
    WriteBytes(tmp + "/veldrix-readonly-killed/study.vd~", "a working copy nobody holds");
    std::filesystem::create_directories(tmp + "/veldrix-readonly-living");
    WriteBytes(tmp + "/veldrix-readonly-living/held", "");
    const int living = ::open((tmp + "/veldrix-readonly-living/held").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(living, LOCK_EX), 0);
    {
        ReadOnlyMount medium(dir_);
        if (!medium.made()) {
            ::unsetenv("TMPDIR");
            std::filesystem::remove_all(tmp);
            GTEST_SKIP() << "no read-only mount can be made here (needs root or a mount namespace)";
        }
        ASSERT_TRUE(OpenProjectFile(state, ui, path("study.vdx"))) << (texts().empty() ? "" : texts().back());
        EXPECT_TRUE(ProjectFileReadOnly(state));
        const std::string copy = state.WorkingCopyName;
        EXPECT_EQ(copy.rfind(tmp + "/veldrix-readonly-", 0), 0u) << copy;
        EXPECT_FALSE(std::filesystem::exists(tmp + "/veldrix-readonly-killed"));
        EXPECT_TRUE(std::filesystem::exists(tmp + "/veldrix-readonly-living/held"));
        // A second instance looks at it as well.
        ProgramState second;
        ScriptedInteraction ui2;
        EXPECT_TRUE(OpenProjectFile(second, ui2, path("study.vdx")));
        ReleaseWorkingCopy(second);
        // Work goes on in the copy; saving is refused with the read-only message.
        changeWorkingCopy("Cohort");
        EXPECT_FALSE(FileSave(state, ui));
        ASSERT_EQ(texts().size(), 1u);
        EXPECT_NE(texts()[0].find(path("study.vdx") + " is read-only; it was not overwritten"), std::string::npos)
            << texts()[0];
        EXPECT_TRUE(Database::open(copy)->tableExists("Cohort"));
        ReleaseWorkingCopy(state);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(copy).parent_path()));
    }
    ::unsetenv("TMPDIR");
    ::close(living);
    std::filesystem::remove_all(tmp);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"study.vdx"});
    EXPECT_EQ(ReadBytes(path("study.vdx")), before);
}

TEST_F(FileCommandsTest, AnotherUserIsRefusedWhenTheLockIsHeldOrCannotBeTaken) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    ::chmod(dir_.c_str(), 0777);
    makeProjectFile("study.vdx");
    makeProjectFile("other.vdx");
    ::chmod(path("study.vdx").c_str(), 0666);
    ::chmod(path("other.vdx").c_str(), 0666);
    ASSERT_TRUE(OpenProjectFile(state, ui, path("study.vdx")));
    changeWorkingCopy("Unsaved");
    const std::string work = ReadBytes(path("study.vd~"));
    // A lock file the other user can neither read nor write.
    WriteBytes(path("other.vd~.lock"), "");
    ::chmod(path("other.vd~.lock").c_str(), 0600);

    // In a child process as user nobody: what each open says.
    auto openAsNobody = [&](const std::string& name) {
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        const pid_t child = fork();
        if (child == 0) {
            std::string said = "setuid failed";
            if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
                ProgramState s;
                ScriptedInteraction u;
                said = OpenProjectFile(s, u, path(name)) ? "opened" : u.messageTexts().back();
                ReleaseWorkingCopy(s);
            }
            (void)!write(out[1], said.data(), said.size());
            _exit(0);
        }
        close(out[1]);
        std::string said;
        char buffer[512];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<size_t>(n));
        close(out[0]);
        waitpid(child, nullptr, 0);
        return said;
    };
    EXPECT_EQ(openAsNobody("study.vdx"), path("study.vdx") + " is in use by another running VELDRIX. Close it there first.");
    EXPECT_EQ(ReadBytes(path("study.vd~")), work);
    EXPECT_EQ(openAsNobody("other.vdx"), path("other.vdx") + " is in use or its lock cannot be taken: Permission denied");
    EXPECT_FALSE(FileExists(path("other.vd~")));
}
