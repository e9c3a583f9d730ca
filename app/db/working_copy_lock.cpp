#include "db/working_copy_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "state/errors.h"

namespace vdx::db {

std::string LockFilePath(const std::string& workingCopy) { return workingCopy + ".lock"; }

std::string FileInUseText(const std::string& projectFile) {
    return projectFile + " is in use by another running VELDRIX. Close it there first.";
}

std::shared_ptr<WorkingCopyLock> WorkingCopyLock::acquire(const std::string& workingCopy,
                                                          const std::string& projectFile) {
    const std::string lockPath = LockFilePath(workingCopy);
    // The holder removes the lock file when it lets go; a file opened just
    // before that removal is a stale one, so check that the locked file is
    // still the one at the path, and try again otherwise.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            // No lock file can be made (a read-only or missing folder):
            // nothing to guard there, since no working copy can be written
            // either; the step that writes it reports the failure.
            if (errno == EACCES || errno == EROFS || errno == EPERM || errno == ENOENT ||
                errno == ENOTDIR)
                return std::shared_ptr<WorkingCopyLock>(new WorkingCopyLock(workingCopy, {}, -1));
            throw VdxError(err::PathAccess, "Could not create the lock file '" + lockPath + "'.");
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            throw VdxError(err::FileInUse, FileInUseText(projectFile));
        }
        struct stat held {}, atPath {};
        if (::fstat(fd, &held) == 0 && ::stat(lockPath.c_str(), &atPath) == 0 &&
            held.st_ino == atPath.st_ino && held.st_dev == atPath.st_dev)
            return std::shared_ptr<WorkingCopyLock>(new WorkingCopyLock(workingCopy, lockPath, fd));
        ::close(fd);
    }
    throw VdxError(err::FileInUse, FileInUseText(projectFile));
}

WorkingCopyLock::~WorkingCopyLock() {
    if (fd_ < 0) return;
    ::unlink(lockPath_.c_str());  // while still holding it: see acquire()
    ::close(fd_);
}

}  // namespace vdx::db
