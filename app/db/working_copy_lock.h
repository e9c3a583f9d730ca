// Guards a study against a second running instance. Two project files can
// share one working copy (study.vdx and study.vdy both work in study.vd~),
// and two instances on one project file would share it too, so the lock is
// taken on the working copy's name: a lock file beside it,
// "<working copy>.lock", held with flock(). The project file itself is held
// with flock() as well, so that a hard link to an open study is refused
// although its name (and so its working copy) differs. The kernel releases
// both when the process ends, so a crashed instance never blocks the file
// for good.
//
// A study in a folder this user cannot write (a CD, a read-only mount, a
// colleague's share) is opened read-only: its working copy lies in a
// private temporary folder, and nothing is written beside the study, not
// even a lock file. Saving it is refused (see WorksOnReadOnlyCopy).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "state/state.h"

namespace vdx::db {

// The project file a path names, as every File command and every
// veldrix-cli command takes it: a symbolic link is followed to the study it
// points to, so that saving writes the study instead of replacing the link,
// and every spelling of one study gets one working copy and one lock.
// Throws VdxError 75 for a name whose working copy would be the file itself
// (a name ending in "~", or a link to one): its first save or its Exit would
// delete the study.
std::string ResolveProjectFile(const std::string& path);

class WorkingCopyLock {
public:
    // Takes the lock or throws VdxError: 3045 (file in use) naming the
    // project file when another instance (or another ProgramState) holds it,
    // 75 when the lock cannot be taken at all (no lock file can be made or
    // opened, the file system has no locks): working on without it could
    // replace another instance's work.
    // The project file is held first, then the lock file.
    static std::shared_ptr<WorkingCopyLock> acquire(const std::string& workingCopy,
                                                    const std::string& projectFile);
    // As acquire, for opening an existing study; a study whose folder this
    // user cannot write is opened read-only (see above): the working copy
    // to use is then workingCopy() of the lock, not `workingCopy`.
    static std::shared_ptr<WorkingCopyLock> acquireForOpen(const std::string& workingCopy,
                                                           const std::string& projectFile);
    ~WorkingCopyLock();  // releases the locks, removes the lock file (and a read-only copy's folder)
    WorkingCopyLock(const WorkingCopyLock&) = delete;
    WorkingCopyLock& operator=(const WorkingCopyLock&) = delete;

    const std::string& workingCopy() const { return workingCopy_; }
    const std::string& projectFile() const { return projectFile_; }
    // The study was opened read-only; its working copy is in a temporary folder.
    bool readOnly() const { return !temporaryFolder_.empty(); }

    // Holds the project file now at `projectFile` (saving replaces the file,
    // and with it the locked inode). The file it replaced stays held while
    // another name (a hard link) still leads to it, so that a run through
    // that name is refused as long as this one goes on.
    void holdProjectFile(const std::string& projectFile);

private:
    WorkingCopyLock(std::string workingCopy, std::string projectFile, std::string lockPath, int fd)
        : workingCopy_(std::move(workingCopy)),
          projectFile_(std::move(projectFile)),
          lockPath_(std::move(lockPath)),
          fd_(fd) {}
    std::string workingCopy_;
    std::string projectFile_;
    std::string lockPath_;
    int fd_ = -1;
    int projectFd_ = -1;               // the project file, when it exists
    std::vector<int> replacedFds_;     // project files replaced by saving, still linked elsewhere
    std::string temporaryFolder_;      // a read-only study's working copy folder
};

// Whether the state works on a study opened read-only: saving it is refused.
bool WorksOnReadOnlyCopy(const ProgramState& state);

std::string LockFilePath(const std::string& workingCopy);

// Message for a project whose working copy another instance holds.
std::string FileInUseText(const std::string& projectFile);

}  // namespace vdx::db
