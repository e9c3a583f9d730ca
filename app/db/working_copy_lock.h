// Guards a study against a second running instance. Two project files can
// share one working copy (study.vdx and study.vdy both work in study.vd~),
// and two instances on one project file would share it too, so the lock is
// taken on the working copy's name: a lock file beside it,
// "<working copy>.lock", held with flock(). The project file itself is held
// with flock() as well, so that a hard link to an open study is refused
// although its name (and so its working copy) differs. The kernel releases
// both when the process ends, so a crashed instance never blocks the file
// for good.
#pragma once

#include <memory>
#include <string>

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
    static std::shared_ptr<WorkingCopyLock> acquire(const std::string& workingCopy,
                                                    const std::string& projectFile);
    ~WorkingCopyLock();  // releases the locks and removes the lock file
    WorkingCopyLock(const WorkingCopyLock&) = delete;
    WorkingCopyLock& operator=(const WorkingCopyLock&) = delete;

    const std::string& workingCopy() const { return workingCopy_; }

    // Holds the project file now at `projectFile` (saving replaces the file,
    // and with it the locked inode). Lets go of the one held before.
    void holdProjectFile(const std::string& projectFile);

private:
    WorkingCopyLock(std::string workingCopy, std::string lockPath, int fd)
        : workingCopy_(std::move(workingCopy)), lockPath_(std::move(lockPath)), fd_(fd) {}
    std::string workingCopy_;
    std::string lockPath_;
    int fd_ = -1;
    int projectFd_ = -1;  // the project file, when it exists
};

std::string LockFilePath(const std::string& workingCopy);

// Message for a project whose working copy another instance holds.
std::string FileInUseText(const std::string& projectFile);

}  // namespace vdx::db
