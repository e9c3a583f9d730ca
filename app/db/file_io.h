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
// first). Throws like ReplaceFileSafely.
void MakeWorkingCopy(const std::string& projectFile, const std::string& workingCopy);

// Copies source to target, replacing target only when the copy is complete:
// the data go to a temporary file in target's folder, are flushed to disk,
// and the temporary file is renamed over target; the folder is flushed too.
// A failure (full disk, read-only folder, target is a directory ...) throws
// VdxError (61 disk full, 70 permission denied, 75 path/file access error,
// 53 file not found for a missing source) and leaves target as it was.
void ReplaceFileSafely(const std::string& source, const std::string& target);

// Test hook for the writing step of ReplaceFileSafely: called after each
// chunk written to the temporary file with the bytes written so far; it may
// return an errno value (e.g. ENOSPC) to make that write fail, 0 to go on.
using WriteFaultHook = std::function<int(const std::string& target, uint64_t bytesWritten)>;
void SetWriteFaultHook(WriteFaultHook hook);  // an empty function removes it

}  // namespace vdx::db
