#include "db/working_copy_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "state/errors.h"
#include "state/state.h"

namespace vdx::db {

namespace {

[[noreturn]] void CannotLock(const std::string& projectFile, int e) {
    throw VdxError(err::PathAccess,
                   projectFile + " is in use or its lock cannot be taken: " + std::strerror(e));
}

// Opens a file for flock(): read-write where allowed, else read-only (a lock
// file another user made, a read-only project file). -1 with errno set.
int OpenForLock(const std::string& path, int extraFlags) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | extraFlags, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags, 0666);
    return fd;
}

// Takes flock() on an open file; throws when it is held or cannot be taken.
void LockOrThrow(int fd, const std::string& projectFile) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return;
    const int e = errno;
    ::close(fd);
    if (e == EWOULDBLOCK) throw VdxError(err::FileInUse, FileInUseText(projectFile));
    CannotLock(projectFile, e);
}

// The project file held by flock(), or -1 when there is none yet (New) or
// what is there is no file (the step that uses it reports that).
int LockProjectFile(const std::string& projectFile) {
    struct stat st {};
    if (::stat(projectFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    const int fd = OpenForLock(projectFile, 0);
    if (fd < 0) CannotLock(projectFile, errno);
    LockOrThrow(fd, projectFile);
    return fd;
}

}  // namespace

std::string ResolveProjectFile(const std::string& path) {
    namespace fs = std::filesystem;
    auto refuse = [&] {
        throw VdxError(err::PathAccess, path +
                                            " cannot be opened: its working copy would be the file itself. "
                                            "Rename it to end in .vdx.");
    };
    auto selfCopy = [](const std::string& p) { return !p.empty() && WorkingCopyPath(p) == p; };
    if (selfCopy(path)) refuse();
    fs::path p(path);
    std::error_code ec;
    // At most as many links as the system itself follows; a loop is left to
    // the step that opens the file, which reports it.
    for (int hop = 0; hop < 40 && fs::is_symlink(p, ec); ++hop) {
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    if (selfCopy(p.string())) refuse();
    return p.string();
}

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
        const int fd = OpenForLock(lockPath, O_CREAT);
        // No folder there: no instance can work there either, and the step
        // that writes the working copy reports the missing folder.
        if (fd < 0 && (errno == ENOENT || errno == ENOTDIR))
            return std::shared_ptr<WorkingCopyLock>(new WorkingCopyLock(workingCopy, {}, -1));
        if (fd < 0) CannotLock(projectFile, errno);
        LockOrThrow(fd, projectFile);
        struct stat held {}, atPath {};
        if (::fstat(fd, &held) == 0 && ::stat(lockPath.c_str(), &atPath) == 0 &&
            held.st_ino == atPath.st_ino && held.st_dev == atPath.st_dev) {
            std::shared_ptr<WorkingCopyLock> lock(new WorkingCopyLock(workingCopy, lockPath, fd));
            lock->projectFd_ = LockProjectFile(projectFile);  // on failure the lock lets go again
            return lock;
        }
        ::close(fd);
    }
    throw VdxError(err::FileInUse, FileInUseText(projectFile));
}

void WorkingCopyLock::holdProjectFile(const std::string& projectFile) {
    if (projectFd_ >= 0) ::close(projectFd_);
    projectFd_ = -1;
    // Best effort: the file was just written by this instance under the
    // lock of its name, so nobody else can hold it.
    try {
        projectFd_ = LockProjectFile(projectFile);
    } catch (const VdxError&) {
    }
}

WorkingCopyLock::~WorkingCopyLock() {
    if (projectFd_ >= 0) ::close(projectFd_);
    if (fd_ < 0) return;
    ::unlink(lockPath_.c_str());  // while still holding it: see acquire()
    ::close(fd_);
}

}  // namespace vdx::db
