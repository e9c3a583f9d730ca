#include "db/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "state/errors.h"

namespace vdx::db {

namespace {

std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}

WriteFaultHook& Hook() {
    static WriteFaultHook hook;
    return hook;
}

[[noreturn]] void FailErrno(int e, const std::string& what, const std::string& path) {
    const std::string detail = what + " '" + path + "': " + std::strerror(e);
    switch (e) {
        case ENOSPC:
        case EDQUOT: throw VdxError(err::DiskFull, "Disk full. " + detail);
        case EACCES:
        case EPERM:
        case EROFS: throw VdxError(err::PermissionDenied, "Permission denied. " + detail);
        case ENOENT: throw VdxError(err::FileNotFound, "File not found. " + detail);
        default: throw VdxError(err::PathAccess, "Path/File access error. " + detail);
    }
}

std::string FolderOf(const std::string& path) {
    std::filesystem::path p(path);
    auto parent = p.parent_path();
    return parent.empty() ? "." : parent.string();
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool RemoveFileQuietly(const std::string& path) {
    if (path.empty()) return true;
    ::unlink(path.c_str());
    return !FileExists(path);
}

void RemoveDatabaseFiles(const std::string& path) {
    if (path.empty()) return;
    for (const char* suffix : {"-journal", "-wal", "-shm"}) RemoveFileQuietly(path + suffix);
    RemoveFileQuietly(path);
}

void MakeWorkingCopy(const std::string& projectFile, const std::string& workingCopy) {
    for (const char* suffix : {"-journal", "-wal", "-shm"}) RemoveFileQuietly(workingCopy + suffix);
    ReplaceFileSafely(projectFile, workingCopy);
}

void SetWriteFaultHook(WriteFaultHook hook) {
    std::lock_guard lock(HookMutex());
    Hook() = std::move(hook);
}

void ReplaceFileSafely(const std::string& source, const std::string& target) {
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) FailErrno(errno, "Could not read", source);

    // The temporary file lies in the target's folder, so the final rename
    // stays on one file system and is atomic.
    const auto name = std::filesystem::path(target).filename().string();
    std::string temp =
        (std::filesystem::path(FolderOf(target)) / ("." + name + ".saving.XXXXXX")).string();
    std::vector<char> tempName(temp.begin(), temp.end());
    tempName.push_back('\0');
    FileDescriptor out(::mkostemp(tempName.data(), O_CLOEXEC));
    if (out.get() < 0) FailErrno(errno, "Could not write in the folder of", target);
    temp = tempName.data();

    auto failAndClean = [&](int e, const std::string& what) {
        ::close(out.release());
        ::unlink(temp.c_str());
        FailErrno(e, what, target);
    };

    std::vector<char> buffer(1 << 20);
    uint64_t written = 0;
    while (true) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::close(out.release());
            ::unlink(temp.c_str());
            FailErrno(e, "Could not read", source);
        }
        if (n == 0) break;
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out.get(), buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                failAndClean(errno, "Could not write");
            }
            done += w;
            written += static_cast<uint64_t>(w);
            int injected = 0;
            {
                std::lock_guard lock(HookMutex());
                if (Hook()) injected = Hook()(target, written);
            }
            if (injected != 0) failAndClean(injected, "Could not write");
        }
    }
    // The permissions of the file it replaces (or the usual ones for a new file).
    struct stat st {};
    mode_t mode = 0644;
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
    ::fchmod(out.get(), mode);
    if (::fsync(out.get()) != 0) failAndClean(errno, "Could not flush");
    if (::close(out.release()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        FailErrno(e, "Could not write", target);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        FailErrno(e, "Could not replace", target);
    }
    // Flush the folder, so the rename itself survives a crash.
    FileDescriptor dir(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace vdx::db
