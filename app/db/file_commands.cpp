#include "db/file_commands.h"

#include <filesystem>
#include <optional>

#include "db/database.h"
#include "db/file_io.h"
#include "db/project_file.h"
#include "db/working_copy_lock.h"

namespace vdx::db {

namespace {

const char* kFilter = "VELDRIX file (*.vdx)|*.vdx";
// Save As: the filter chosen decides the format written.
const char* kSaveAsFilter =
    "VELDRIX project (*.vdx)|*.vdx|VELDRIX project, Jet format for the earlier program (*.vdx)|*.vdx";
// New and Save As: ask before replacing a file, refuse a read-only one.
constexpr int kSaveDialogFlags =
    file_dialog::OverwritePrompt | file_dialog::HideReadOnly | file_dialog::NoReadOnlyReturn;

std::string CurrentDirectory() {
    std::error_code ec;
    auto dir = std::filesystem::current_path(ec);
    return ec ? std::string() : dir.string();
}

FileDialogRequest Dialog(const char* title, int flags) {
    return {title, CurrentDirectory(), "*.vdx", kFilter, 1, "vdx", flags};
}

// Two spellings of one file ("a/b.vdx", "./a/../a/b.vdx").
bool SamePath(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    if (a == b) return true;
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    const auto ca = std::filesystem::weakly_canonical(a, ec);
    if (ec) return false;
    const auto cb = std::filesystem::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

std::shared_ptr<WorkingCopyLock> HeldLock(const ProgramState& state) {
    return std::static_pointer_cast<WorkingCopyLock>(state.WorkingCopyLock);
}

enum class LockUse { Write, Open };

// The lock of a working copy; the one this state holds already when it is
// the same working copy (or the same study opened read-only). Shows the
// refusal and returns null when another instance holds it. For Open, a
// study this user cannot write beside is opened read-only: the working copy
// is then the lock's.
std::shared_ptr<WorkingCopyLock> LockFor(ProgramState& state, Interaction& ui,
                                         const std::string& workingCopy,
                                         const std::string& projectFile, LockUse use = LockUse::Write) {
    if (auto held = HeldLock(state);
        held && (SamePath(held->workingCopy(), workingCopy) ||
                 (held->readOnly() && SamePath(held->projectFile(), projectFile))))
        return held;
    try {
        return use == LockUse::Open ? WorkingCopyLock::acquireForOpen(workingCopy, projectFile)
                                    : WorkingCopyLock::acquire(workingCopy, projectFile);
    } catch (const VdxError& e) {
        ui.message(e.description(), Buttons::Ok, Icon::Critical, "Error");
        return nullptr;
    }
}

// The project file a chosen path names (see ResolveProjectFile), or
// nullopt after showing why the path cannot be used.
std::optional<std::string> ProjectFileFor(Interaction& ui, const std::string& path) {
    try {
        return ResolveProjectFile(path);
    } catch (const VdxError& e) {
        ui.message(e.description(), Buttons::Ok, Icon::Critical, "Error");
        return std::nullopt;
    }
}

enum class SaveOutcome { Saved, Cancelled, Failed };

void ShowSaveFailure(Interaction& ui, const VdxError& e, AfterFailedSave after) {
    ShowGeneralError(ui, e.number(),
                     e.description() + (after == AfterFailedSave::WorkKept
                                            ? " The project file was not saved and is unchanged; "
                                              "your work is kept in the working copy."
                                            : " The project file was not saved and is unchanged; "
                                              "this command changed nothing."));
}

// StoreProject, and the project file it wrote held in place of the one it
// replaced.
void StoreAndHold(ProgramState& state) {
    StoreProject(state);
    if (auto lock = HeldLock(state)) lock->holdProjectFile(state.ProjectFileName);
}

SaveOutcome Save(ProgramState& state, Interaction& ui, AfterFailedSave after = AfterFailedSave::WorkKept);

SaveOutcome SaveAsPath(ProgramState& state, Interaction& ui, const std::string& chosen);

// Save As in the given format, which later saves keep; on failure the
// format stays as it was.
SaveOutcome SaveAs(ProgramState& state, Interaction& ui, const std::string& chosen, ProjectFormat format) {
    const auto previousFormat = state.SaveFormat;
    state.SaveFormat = format;
    const SaveOutcome outcome = SaveAsPath(state, ui, chosen);
    if (outcome != SaveOutcome::Saved) state.SaveFormat = previousFormat;
    return outcome;
}

SaveOutcome SaveAsPath(ProgramState& state, Interaction& ui, const std::string& chosen) {
    const auto resolved = ProjectFileFor(ui, chosen);
    if (!resolved) return SaveOutcome::Failed;
    const std::string& path = *resolved;
    // Onto the open project file itself: a plain Save keeps the working copy.
    if (SamePath(path, state.ProjectFileName)) return Save(state, ui);

    const std::string newWorkingCopy = WorkingCopyPath(path);
    const std::string oldProjectFile = state.ProjectFileName;
    const std::string oldWorkingCopy = state.WorkingCopyName;

    // study.vdx and study.vdy share the working copy study.vd~: only the
    // project file changes.
    if (SamePath(newWorkingCopy, oldWorkingCopy)) {
        BusyPointer busy(ui);
        state.ProjectFileName = path;
        try {
            StoreAndHold(state);
        } catch (const VdxError& e) {
            state.ProjectFileName = oldProjectFile;
            ShowSaveFailure(ui, e, AfterFailedSave::WorkKept);
            return SaveOutcome::Failed;
        }
        state.ProjectChanged = false;
        return SaveOutcome::Saved;
    }

    auto lock = LockFor(state, ui, newWorkingCopy, path);
    if (!lock) return SaveOutcome::Failed;
    BusyPointer busy(ui);
    try {
        MakeWorkingCopy(oldWorkingCopy, newWorkingCopy);
        state.ProjectFileName = path;
        state.WorkingCopyName = newWorkingCopy;
        StoreProject(state);
    } catch (const VdxError& e) {
        state.ProjectFileName = oldProjectFile;
        state.WorkingCopyName = oldWorkingCopy;
        RemoveDatabaseFiles(newWorkingCopy);
        ShowSaveFailure(ui, e, AfterFailedSave::WorkKept);
        return SaveOutcome::Failed;
    }
    RemoveDatabaseFiles(oldWorkingCopy);
    state.WorkingCopyLock = lock;  // lets go of the old working copy's lock
    lock->holdProjectFile(path);
    state.ProjectChanged = false;
    return SaveOutcome::Saved;
}

SaveOutcome SaveAsWithDialog(ProgramState& state, Interaction& ui) {
    if (!state.ProjectOpen) {
        ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return SaveOutcome::Cancelled;
    }
    FileDialogRequest request = Dialog("Save File as ...", kSaveDialogFlags);
    request.filter = kSaveAsFilter;
    auto chosen = ui.saveFile(request);
    if (!chosen) return SaveOutcome::Cancelled;
    return SaveAs(state, ui, chosen->path, chosen->filterIndex == 2 ? ProjectFormat::Jet : ProjectFormat::Veldrix);
}

SaveOutcome Save(ProgramState& state, Interaction& ui, AfterFailedSave after) {
    if (!state.ProjectOpen) {
        ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return SaveOutcome::Cancelled;
    }
    if (state.ProjectUpgraded &&
        ui.message(Message(msg::OverwriteFormerVersion), Buttons::OkCancel, Icon::Question, "VELDRIX") == Answer::Cancel)
        return SaveOutcome::Cancelled;
    if (state.WorkingCopyName.empty()) return SaveAsWithDialog(state, ui);
    // A study opened from a Jet file: the first save asks which format to write.
    const bool formatChosenNow = !state.SaveFormat;
    if (formatChosenNow) {
        const Answer a = ui.message(KeepJetFormatQuestion(state.ProjectFileName, JetBackupPath(state.ProjectFileName)),
                                    Buttons::YesNoCancel, Icon::Question, "VELDRIX");
        if (a == Answer::Cancel) return SaveOutcome::Cancelled;
        state.SaveFormat = a == Answer::No ? ProjectFormat::Jet : ProjectFormat::Veldrix;
    }
    ShowView(state, ViewName::Empty);
    BusyPointer busy(ui);
    try {
        StoreAndHold(state);
    } catch (const VdxError& e) {
        if (formatChosenNow) state.SaveFormat.reset();  // not saved: asked again next time
        ShowSaveFailure(ui, e, after);
        return SaveOutcome::Failed;
    }
    state.ProjectChanged = false;
    return SaveOutcome::Saved;
}

// Message 19 before New and Open, as at Exit only when there are unsaved
// changes; false when the user cancelled, or asked to save and the project
// was not saved (going on would drop the changes with the working copy).
bool AskToSaveOpenProject(ProgramState& state, Interaction& ui) {
    if (!state.ProjectOpen || !state.ProjectChanged) return true;
    const Answer a = ui.message(Message(msg::SaveChanges), Buttons::YesNoCancel, Icon::Question, "VELDRIX");
    if (a == Answer::Cancel) return false;
    if (a == Answer::Yes && Save(state, ui) != SaveOutcome::Saved) return false;
    return true;
}

}  // namespace

bool ProjectFileReadOnly(const ProgramState& state) {
    return state.ProjectOpen && (IsReadOnlyFile(state.ProjectFileName) || WorksOnReadOnlyCopy(state));
}

std::string MainWindowCaption(const ProgramState& state) {
    std::string caption = kApplicationName + " " + state.ProgramVersion;
    if (state.ProjectOpen) caption += " - " + state.ProjectFileName;
    return caption;
}

bool FileNew(ProgramState& state, Interaction& ui) {
    if (!AskToSaveOpenProject(state, ui)) return false;
    auto chosen = ui.saveFile(Dialog("Create new file as...", kSaveDialogFlags));
    if (!chosen) return false;
    return CreateProjectFile(state, ui, chosen->path);
}

bool CreateProjectFile(ProgramState& state, Interaction& ui, const std::string& chosen) {
    const auto resolved = ProjectFileFor(ui, chosen);
    if (!resolved) return false;
    const std::string& path = *resolved;
    auto lock = LockFor(state, ui, WorkingCopyPath(path), path);
    if (!lock) return false;
    const std::string workingCopy = lock->workingCopy();
    BusyPointer busy(ui);
    const std::string previousWorkingCopy = state.WorkingCopyName;
    const auto previousLock = state.WorkingCopyLock;  // let go of only at the end
    ResetNavigator(state);
    state.ProjectFileName = path;
    state.WorkingCopyName = workingCopy;
    state.WorkingCopyLock = lock;
    state.SaveFormat = ProjectFormat::Veldrix;
    // The chosen file is not deleted first: saving replaces it only once the
    // new project file is complete.
    RemoveDatabaseFiles(workingCopy);
    try {
        {
            auto db = Database::create(workingCopy);
            CreateSystemTables(*db);
        }
        StoreAndHold(state);
    } catch (const VdxError& e) {
        ShowGeneralError(ui, e.number(), e.description());
        RemoveDatabaseFiles(workingCopy);
        state.ProjectFileName.clear();
        state.WorkingCopyName.clear();
        state.WorkingCopyLock.reset();
        return false;
    }
    state.ProjectOpen = true;
    state.ProjectChanged = false;  // a new project has nothing to save yet
    // The study left behind was saved or dropped at message 19, as at Open.
    if (!previousWorkingCopy.empty() && !SamePath(previousWorkingCopy, workingCopy))
        RemoveDatabaseFiles(previousWorkingCopy);
    ShowView(state, ViewName::Empty);
    return true;
}

bool FileOpen(ProgramState& state, Interaction& ui) {
    if (!AskToSaveOpenProject(state, ui)) return false;
    // 4100: the file must exist, no read-only box. A read-only file is
    // accepted: it opens read-only (a study on a CD or a read-only share).
    auto chosen = ui.openFile(Dialog("Open File", file_dialog::FileMustExist | file_dialog::HideReadOnly));
    if (!chosen) return false;
    return OpenProjectFile(state, ui, chosen->path);
}

bool OpenProjectFile(ProgramState& state, Interaction& ui, const std::string& chosen) {
    const auto resolved = ProjectFileFor(ui, chosen);
    if (!resolved) return false;
    const std::string& path = *resolved;
    auto lock = LockFor(state, ui, WorkingCopyPath(path), path, LockUse::Open);
    if (!lock) return false;
    const std::string workingCopy = lock->workingCopy();
    RemoveUnfinishedSaves(path);
    BusyPointer busy(ui);
    const std::string previousWorkingCopy = state.WorkingCopyName;
    const auto previousLock = state.WorkingCopyLock;  // let go of only at the end
    ResetNavigator(state);
    state.ProjectFileName = path;
    state.WorkingCopyName = workingCopy;
    state.WorkingCopyLock = lock;
    // Undecided for a Jet file until its first save asks; saving meanwhile
    // (a conversion of an older file) writes our format.
    state.SaveFormat = IsJetDatabaseFile(path) ? std::nullopt : std::optional(ProjectFormat::Veldrix);
    if (!LoadProject(state, ui)) {
        state.ProjectFileName.clear();
        state.WorkingCopyName.clear();
        state.WorkingCopyLock.reset();
        return false;
    }
    state.ProjectOpen = true;
    // Changes of the previous project were saved or dropped at message 19;
    // the project just opened has none.
    state.ProjectChanged = false;
    if (!previousWorkingCopy.empty() && !SamePath(previousWorkingCopy, workingCopy))
        RemoveDatabaseFiles(previousWorkingCopy);
    ShowView(state, ViewName::Empty);
    return true;
}

bool FileSave(ProgramState& state, Interaction& ui, AfterFailedSave after) {
    return Save(state, ui, after) == SaveOutcome::Saved;
}

bool FileSaveAs(ProgramState& state, Interaction& ui) {
    return SaveAsWithDialog(state, ui) == SaveOutcome::Saved;
}

bool FileExit(ProgramState& state, Interaction& ui) {
    if (state.ProjectOpen && state.ProjectChanged) {
        const Answer a = ui.message(Message(msg::SaveChanges), Buttons::YesNoCancel, Icon::Question, "VELDRIX");
        if (a == Answer::Cancel) return false;
        // A save that failed keeps the program running: deleting the working
        // copy now would throw away the changes the user asked to keep.
        if (a == Answer::Yes && Save(state, ui) == SaveOutcome::Failed) return false;
    }
    ReleaseWorkingCopy(state);
    return true;
}

void ReleaseWorkingCopy(ProgramState& state) {
    if (state.WorkingCopyLock && !state.WorkingCopyName.empty()) RemoveDatabaseFiles(state.WorkingCopyName);
    state.WorkingCopyLock.reset();
}

}  // namespace vdx::db
