// Guards a working copy against a second running instance. Two project
// files can share one working copy (study.vdx and study.vdy both work in
// study.vd~), and two instances on one project file would share it too, so
// the lock is taken on the working copy's name: a lock file beside it,
// "<working copy>.lock", held with flock(). The kernel releases the lock when
// the process ends, so a crashed instance never blocks the file for good.
#pragma once

#include <memory>
#include <string>

namespace vdx::db {

class WorkingCopyLock {
public:
    // Takes the lock or throws VdxError 3045 (file in use) naming the project
    // file when another instance (or another ProgramState) holds it.
    static std::shared_ptr<WorkingCopyLock> acquire(const std::string& workingCopy,
                                                    const std::string& projectFile);
    ~WorkingCopyLock();  // releases the lock and removes the lock file
    WorkingCopyLock(const WorkingCopyLock&) = delete;
    WorkingCopyLock& operator=(const WorkingCopyLock&) = delete;

    const std::string& workingCopy() const { return workingCopy_; }

private:
    WorkingCopyLock(std::string workingCopy, std::string lockPath, int fd)
        : workingCopy_(std::move(workingCopy)), lockPath_(std::move(lockPath)), fd_(fd) {}
    std::string workingCopy_;
    std::string lockPath_;
    int fd_ = -1;
};

std::string LockFilePath(const std::string& workingCopy);

// Message for a project whose working copy another instance holds.
std::string FileInUseText(const std::string& projectFile);

}  // namespace vdx::db
