// The commands of the File menu as functions over the program state. They
// ask the user only through the Interaction, so the main window, the
// command-line tool and the tests run the same code.
#pragma once

#include <string>

#include "state/interaction.h"
#include "state/state.h"

namespace vdx::db {

// New: asks about unsaved changes (message 19, only when there are any),
// asks for the file, creates the project file and its working copy, and
// removes the working copy of the study it leaves. True when a project was
// created.
bool FileNew(ProgramState& state, Interaction& ui);
// New onto a path chosen already (after the dialog); the command-line tool
// uses it. Replaces an existing file at path.
bool CreateProjectFile(ProgramState& state, Interaction& ui, const std::string& path);
// Open: asks about unsaved changes (only when there are any), asks for the
// file, opens it.
bool FileOpen(ProgramState& state, Interaction& ui);
// The open steps after the file dialog (start-up with a command line, the
// command-line tool). Refuses a project whose working copy another instance
// holds. A study in a folder this user cannot write (a CD, a read-only
// share) opens read-only. True when the project is open.
// Every path these commands take goes through ResolveProjectFile
// (working_copy_lock.h): a name ending in "~" is refused before anything is
// touched, and a symbolic link stands for the study it points to.
bool OpenProjectFile(ProgramState& state, Interaction& ui, const std::string& path);
// What a failed save tells the user about the work: the window keeps the
// working copy open; veldrix-cli ends, and its working copy goes with it.
enum class AfterFailedSave { WorkKept, CommandDiscarded };
// Save and Save As; true when the project file was written. The first Save
// of a study opened from a Jet file asks whether to write our format (the
// Jet original kept as JetBackupPath) or to keep the Jet format; Save As
// writes the format of the filter chosen. Later saves keep the format.
bool FileSave(ProgramState& state, Interaction& ui, AfterFailedSave after = AfterFailedSave::WorkKept);
bool FileSaveAs(ProgramState& state, Interaction& ui);
// Exit: asks about unsaved changes, deletes the working copy, releases the
// lock. False when the user cancelled (the program keeps running). Storing
// the window settings is the main window's job.
bool FileExit(ProgramState& state, Interaction& ui);
// Deletes the working copy of the open project (if this state holds its
// lock) and releases the lock, without asking; clears nothing else.
void ReleaseWorkingCopy(ProgramState& state);

// The open project file cannot be saved over (see IsReadOnlyFile), or the
// study was opened read-only from a folder this user cannot write (see
// WorkingCopyLock::acquireForOpen); the status line and `info` say so.
bool ProjectFileReadOnly(const ProgramState& state);

// "VELDRIX 1.41" or "VELDRIX 1.41 - <project file>".
std::string MainWindowCaption(const ProgramState& state);

}  // namespace vdx::db
