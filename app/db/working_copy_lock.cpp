#include "db/working_copy_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

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

std::string FolderOf(const std::string& path) {
    const auto parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

// A folder this user cannot write in: a read-only file system, or one whose
// permissions keep this user out (root passes those).
bool FolderIsReadOnly(const std::string& folder) {
    return ::access(folder.c_str(), W_OK) != 0 && (errno == EROFS || errno == EACCES || errno == EPERM);
}

// The working copies of read-only studies lie in folders of their own in the
// temporary folder, each with a file held with flock() while its study is open.
constexpr const char* kReadOnlyPrefix = "veldrix-readonly-";
constexpr const char* kHeldName = "held";

// Makes such a folder and holds its file; the file's descriptor, or -1 with
// errno set.
int MakeReadOnlyFolder(std::string& folder) {
    std::error_code ec;
    auto base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / (std::string(kReadOnlyPrefix) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) return -1;
    folder = pattern;
    const int fd = ::open((folder + "/" + kHeldName).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int e = errno;
        ::rmdir(folder.c_str());
        errno = e;
        return -1;
    }
    ::flock(fd, LOCK_EX);
    return fd;
}

// Removes the folders of read-only studies whose instance is gone (killed):
// those whose file nobody holds. A folder without that file is left alone
// (it may be in the making).
void RemoveAbandonedReadOnlyFolders() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto base = fs::temp_directory_path(ec);
    if (ec) return;
    std::vector<std::pair<fs::path, int>> abandoned;  // held while removed
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.rfind(kReadOnlyPrefix, 0) != 0 || !it->is_directory(typeError) || it->is_symlink(typeError)) continue;
        const int fd = ::open((it->path() / kHeldName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            abandoned.emplace_back(it->path(), fd);
        else
            ::close(fd);
    }
    for (const auto& [folder, fd] : abandoned) {
        fs::remove_all(folder, ec);
        ::close(fd);
    }
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
    // The study itself first: a run through a hard link (another name, so
    // another lock file) is refused before it makes anything.
    struct Held {
        int fd;
        ~Held() {
            if (fd >= 0) ::close(fd);
        }
        int release() { return std::exchange(fd, -1); }
    } project{LockProjectFile(projectFile)};
    const std::string lockPath = LockFilePath(workingCopy);
    // The holder removes the lock file when it lets go; a file opened just
    // before that removal is a stale one, so check that the locked file is
    // still the one at the path, and try again otherwise.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = OpenForLock(lockPath, O_CREAT);
        // No folder there: no instance can work there either, and the step
        // that writes the working copy reports the missing folder.
        if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) {
            std::shared_ptr<WorkingCopyLock> lock(new WorkingCopyLock(workingCopy, projectFile, {}, -1));
            lock->projectFd_ = project.release();
            return lock;
        }
        if (fd < 0) CannotLock(projectFile, errno);
        LockOrThrow(fd, projectFile);
        struct stat held {}, atPath {};
        if (::fstat(fd, &held) == 0 && ::stat(lockPath.c_str(), &atPath) == 0 &&
            held.st_ino == atPath.st_ino && held.st_dev == atPath.st_dev) {
            std::shared_ptr<WorkingCopyLock> lock(new WorkingCopyLock(workingCopy, projectFile, lockPath, fd));
            lock->projectFd_ = project.release();
            return lock;
        }
        ::close(fd);
    }
    throw VdxError(err::FileInUse, FileInUseText(projectFile));
}

std::shared_ptr<WorkingCopyLock> WorkingCopyLock::acquireForOpen(const std::string& workingCopy,
                                                                 const std::string& projectFile) {
    struct stat st {};
    if (::stat(projectFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !FolderIsReadOnly(FolderOf(workingCopy)))
        return acquire(workingCopy, projectFile);
    RemoveAbandonedReadOnlyFolders();
    const std::string name = std::filesystem::path(workingCopy).filename().string();
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::string folder;
        const int fd = MakeReadOnlyFolder(folder);
        if (fd < 0)
            throw VdxError(err::PathAccess, projectFile +
                                                " is read-only, and no temporary folder can be made for its "
                                                "working copy: " + std::strerror(errno));
        // A cleaner that took the folder for an abandoned one before it was
        // held has removed it: make another.
        struct stat held {}, atPath {};
        const std::string heldPath = folder + "/" + kHeldName;
        if (::fstat(fd, &held) == 0 && ::stat(heldPath.c_str(), &atPath) == 0 && held.st_ino == atPath.st_ino &&
            held.st_dev == atPath.st_dev) {
            std::shared_ptr<WorkingCopyLock> lock(new WorkingCopyLock(folder + "/" + name, projectFile, heldPath, fd));
            lock->temporaryFolder_ = folder;
            return lock;
        }
        ::close(fd);
    }
    throw VdxError(err::PathAccess, projectFile + " is read-only, and no temporary folder can be made for its working copy.");
}

void WorkingCopyLock::holdProjectFile(const std::string& projectFile) {
    if (projectFd_ >= 0) {
        struct stat held {}, atPath {};
        const bool gotHeld = ::fstat(projectFd_, &held) == 0;
        // Not replaced (the same file is still there): held already.
        if (gotHeld && ::stat(projectFile.c_str(), &atPath) == 0 && held.st_ino == atPath.st_ino &&
            held.st_dev == atPath.st_dev)
            return;
        // Still reachable through another name: stays held while this run
        // goes on. A file no name leads to any more is let go (holding it
        // would keep its disk space).
        if (gotHeld && held.st_nlink > 0)
            replacedFds_.push_back(projectFd_);
        else
            ::close(projectFd_);
    }
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
    for (int fd : replacedFds_) ::close(fd);
    if (fd_ >= 0) {
        ::unlink(lockPath_.c_str());  // while still holding it: see acquire()
        ::close(fd_);
    }
    if (!temporaryFolder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(temporaryFolder_, ec);
    }
}

bool WorksOnReadOnlyCopy(const ProgramState& state) {
    const auto lock = std::static_pointer_cast<WorkingCopyLock>(state.WorkingCopyLock);
    return lock && lock->readOnly() && lock->workingCopy() == state.WorkingCopyName;
}

}  // namespace vdx::db
