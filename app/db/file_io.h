// File operations of the project lifecycle: existence, deletion, copying and
// the safe replacement of a project file on saving.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vdx::db {

bool FileExists(const std::string& path);  // a regular file (or anything) at path
// Deletes a file if it exists; failures are ignored (the lifecycle goes on
// past them). Returns whether the file is gone afterwards.
bool RemoveFileQuietly(const std::string& path);

// Deletes a database file and SQLite's side files beside it (-journal,
// -wal, -shm). A journal left behind by a crash belongs to the old file and
// would be played back into whatever file next takes that name.
void RemoveDatabaseFiles(const std::string& path);

// Makes `workingCopy` a fresh copy of `projectFile` (stale side files removed
// first). Throws like ReplaceFileSafely. A project file of the earlier
// program's Jet format is read table by table into a new working copy by the
// registered import (none registered: error 3343); on failure no working copy
// is left. A Jet file the reader cannot read gives error 3343 with
// JetDamageText as its description.
void MakeWorkingCopy(const std::string& projectFile, const std::string& workingCopy);

// A Jet (Access) database: "Standard Jet DB" or "Standard ACE DB" at offset 4.
bool IsJetDatabaseFile(const std::string& path);
// What is wrong with a Jet file the reader could not read, from its size:
// cut short inside a page (the size and the page), or damaged ("" when the
// file cannot be looked at).
std::string JetDamageText(const std::string& path);
// Reads the Jet project file `jetFile` into a new database at `workingCopy`.
// The Access reader lives outside this library and plugs in here.
using JetProjectImport = std::function<void(const std::string& jetFile, const std::string& workingCopy)>;
void SetJetProjectImport(JetProjectImport import);
// Writes the working copy `workingCopy` into the Jet project file `jetFile`,
// atomically (an existing file stays as it was on failure). The Jet writer
// lives outside this library and plugs in here; with none registered the
// call throws VdxError 3343.
using JetProjectExport = std::function<void(const std::string& workingCopy, const std::string& jetFile)>;
void SetJetProjectExport(JetProjectExport jetExport);
void WriteJetProjectFile(const std::string& workingCopy, const std::string& jetFile);
// Where saving keeps the Jet original it replaces: "<project file>.jet-backup",
// or with ".2", ".3", ... appended when that name is taken (a backup is never
// overwritten).
std::string JetBackupPath(const std::string& projectFile);

// Copies source to target, replacing target only when the copy is complete:
// the data go to a temporary file in target's folder
// ("<target name>.unfinished-save.XXXXXX", held with flock() while it is
// written), are flushed to disk, and the temporary file is renamed over
// target; the folder is flushed too. Unfinished saves of target left by a
// killed process are removed first.
// A failure (full disk, read-only folder, target is a directory ...) throws
// VdxError (61 disk full, 70 permission denied, 75 path/file access error,
// 53 file not found for a missing source) and leaves target as it was.
// A working copy is not flushed: every opening makes it afresh, so a copy
// cut short by a crash is never used.
enum class FileUse { Kept, WorkingCopy };
void ReplaceFileSafely(const std::string& source, const std::string& target, FileUse use = FileUse::Kept);

// Removes the temporary files of saves of `target` that were cut short (the
// process was killed): those in target's folder that no live process holds,
// and those of the older naming ".<name>.saving.XXXXXX", which nobody held.
// Callers hold the lock of the study, so no other save of target can run.
void RemoveUnfinishedSaves(const std::string& target);

// What the two functions above are made of, for other writers that put a
// temporary file in place of their target (the table exports):
// A new file made from `pattern` (a path ending in "XXXXXX") and held with
// flock() for as long as the returned descriptor is open; its name goes to
// `path`. -1 with errno set when it cannot be made.
int CreateHeldTemporaryFile(const std::string& pattern, std::string& path);
// Removes the files of `folder` whose names `isLeftover` accepts and that no
// process holds with flock(): the temporary files of a writer that was killed.
void RemoveUnheldFiles(const std::string& folder, const std::function<bool(const std::string& name)>& isLeftover);

// A file that must not be replaced: it exists and has no write permission
// for anyone, or not for this user, or lies on a read-only file system. A rename would replace it all the same
// (it needs only the folder's permission), so saving checks first.
bool IsReadOnlyFile(const std::string& path);

// Test hook for the writing step of ReplaceFileSafely: called after each
// chunk written to the temporary file with the bytes written so far; it may
// return an errno value (e.g. ENOSPC) to make that write fail, 0 to go on.
using WriteFaultHook = std::function<int(const std::string& target, uint64_t bytesWritten)>;
void SetWriteFaultHook(WriteFaultHook hook);  // an empty function removes it

}  // namespace vdx::db
