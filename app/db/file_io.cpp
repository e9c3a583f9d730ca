#include "db/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
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

constexpr const char* kUnfinishedSave = ".unfinished-save.";

// Whether a file name in target's folder is an unfinished save of target.
bool IsUnfinishedSaveOf(const std::string& entry, const std::string& name) {
    auto tail = [&](const std::string& prefix) {
        return entry.size() == prefix.size() + 6 && entry.compare(0, prefix.size(), prefix) == 0;
    };
    return tail(name + kUnfinishedSave) || tail("." + name + ".saving.");
}

// The temporary file of a save, held with flock() for as long as it is
// written, so that RemoveUnfinishedSaves of another session leaves it alone.
int CreateHeldTemporary(const std::string& target, std::string& temp) {
    const auto name = std::filesystem::path(target).filename().string();
    return CreateHeldTemporaryFile(
        (std::filesystem::path(FolderOf(target)) / (name + kUnfinishedSave + "XXXXXX")).string(), temp);
}

}  // namespace

// A cleaner may remove the file between its creation and the flock; then the
// name no longer leads to it, and a new one is made.
int CreateHeldTemporaryFile(const std::string& pattern, std::string& path) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::vector<char> tempName(pattern.begin(), pattern.end());
        tempName.push_back('\0');
        const int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        path = tempName.data();
        struct stat held {}, atPath {};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &atPath) == 0 &&
            held.st_ino == atPath.st_ino && held.st_dev == atPath.st_dev)
            return fd;
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

void RemoveUnheldFiles(const std::string& folder, const std::function<bool(const std::string& name)>& isLeftover) {
    std::error_code ec;
    std::vector<std::string> found;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec))
        if (isLeftover(it->path().filename().string())) found.push_back(it->path().string());
    for (const auto& path : found) {
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() < 0) continue;
        // A writer at work holds its file; a killed one held it no longer.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
        struct stat held {}, atPath {};
        if (::fstat(fd.get(), &held) == 0 && S_ISREG(held.st_mode) && ::lstat(path.c_str(), &atPath) == 0 &&
            held.st_ino == atPath.st_ino && held.st_dev == atPath.st_dev)
            ::unlink(path.c_str());
    }
}

void RemoveUnfinishedSaves(const std::string& target) {
    const auto name = std::filesystem::path(target).filename().string();
    if (name.empty()) return;
    RemoveUnheldFiles(FolderOf(target), [&name](const std::string& entry) { return IsUnfinishedSaveOf(entry, name); });
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // Root passes access(W_OK) whatever the mode; the mode bits still say
    // that the owner wants the file kept.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    // A read-only file system refuses root too.
    return ::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

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

namespace {

JetProjectImport& JetImport() {
    static JetProjectImport import;
    return import;
}

JetProjectExport& JetExport() {
    static JetProjectExport jetExport;
    return jetExport;
}

}  // namespace

bool IsJetDatabaseFile(const std::string& path) {
    FileDescriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return false;
    char head[19] = {};
    if (::read(in.get(), head, sizeof head) != static_cast<ssize_t>(sizeof head)) return false;
    return std::memcmp(head + 4, "Standard Jet DB", 15) == 0 || std::memcmp(head + 4, "Standard ACE DB", 15) == 0;
}

void SetJetProjectImport(JetProjectImport import) { JetImport() = std::move(import); }

void SetJetProjectExport(JetProjectExport jetExport) { JetExport() = std::move(jetExport); }

void WriteJetProjectFile(const std::string& workingCopy, const std::string& jetFile) {
    if (!JetExport())
        throw VdxError(err::UnrecognizedDatabase, "'" + jetFile + "' cannot be written in the Jet format.");
    JetExport()(workingCopy, jetFile);
}

std::string JetBackupPath(const std::string& projectFile) {
    std::string path = projectFile + ".jet-backup";
    for (int n = 2; FileExists(path); ++n) path = projectFile + ".jet-backup." + std::to_string(n);
    return path;
}

void MakeWorkingCopy(const std::string& projectFile, const std::string& workingCopy) {
    for (const char* suffix : {"-journal", "-wal", "-shm"}) RemoveFileQuietly(workingCopy + suffix);
    if (!IsJetDatabaseFile(projectFile)) {
        ReplaceFileSafely(projectFile, workingCopy, FileUse::WorkingCopy);
        return;
    }
    if (!JetImport()) throw VdxError(err::UnrecognizedDatabase, "'" + projectFile + "' is a Jet database.");
    RemoveDatabaseFiles(workingCopy);
    try {
        JetImport()(projectFile, workingCopy);
    } catch (const VdxError& e) {
        RemoveDatabaseFiles(workingCopy);  // never a half-made working copy
        if (e.number() != err::UnrecognizedDatabase) throw;
        // A file that ends inside a page was cut short, whatever the reader
        // made of it; one of whole pages that the reader refuses outright
        // ("Unrecognized database format") is damaged. Other refusals (a
        // sound database that holds no study) say what they say.
        const std::string damage = JetDamageText(projectFile);
        if (!damage.empty() && (damage.find("cut short:") != std::string::npos ||
                                e.description().find("Unrecognized database format") != std::string::npos))
            throw VdxError(e.number(), damage);
        throw;
    } catch (...) {
        RemoveDatabaseFiles(workingCopy);
        throw;
    }
}

std::string JetDamageText(const std::string& path) {
    FileDescriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    unsigned char version = 0;
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || ::pread(in.get(), &version, 1, 0x14) != 1) return {};
    // Jet 3 pages are 2 KB, those of Jet 4 and later 4 KB.
    const uint64_t pageSize = version == 0 ? 2048 : 4096;
    const auto size = static_cast<uint64_t>(st.st_size);
    const uint64_t pages = size / pageSize, rest = size % pageSize;
    const std::string each = std::to_string(pageSize) + " bytes each";
    if (rest != 0)
        return "The Jet database is cut short: its " + std::to_string(size) + " bytes end " + std::to_string(rest) +
               " bytes into page " + std::to_string(pages) + " (pages of " + each + ", counted from 0).";
    return "The Jet database is damaged: its " + std::to_string(pages) + (pages == 1 ? " page (" : " pages (") +
           std::to_string(size) + " bytes, " + each + (pages == 1 ? ") does" : ") do") +
           " not hold what its catalog refers to; it may have been cut short at the end of a page.";
}

void SetWriteFaultHook(WriteFaultHook hook) {
    std::lock_guard lock(HookMutex());
    Hook() = std::move(hook);
}

namespace {

// Copies what is left of `in` to `out` from their current offsets, a chunk
// of 1 MiB at a time, calling the write hook after each chunk. The kernel
// copies between the files itself where it can (copy_file_range: no trip
// through this process's memory); where it cannot (another file system
// before Linux 5.3, a file system without it) the chunks are read and
// written.
void CopyChunks(int in, int out, const std::string& source, const std::string& target,
                const std::function<void(int, const std::string&, const std::string&)>& failAndClean) {
    constexpr size_t kChunk = 1 << 20;
    uint64_t written = 0;
    auto wrote = [&](size_t n) {
        written += n;
        int injected = 0;
        {
            std::lock_guard lock(HookMutex());
            if (Hook()) injected = Hook()(target, written);
        }
        if (injected != 0) failAndClean(injected, "Could not write", target);
    };
    bool inKernel = true;
    while (inKernel) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
        if (n > 0) {
            wrote(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // A refusal before the first chunk (no such copy here, a source
        // that cannot be read) is settled by the plain reading below, which
        // names the file at fault; later, only a copy the file systems do
        // not support falls back.
        if (n < 0 && written > 0 && errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            failAndClean(errno, "Could not write", target);
        // 0 is the end of the file, or a file system that copies nothing
        // this way (some report 0): the plain reading settles which.
        inKernel = false;
    }
    std::vector<char> buffer(kChunk);
    while (true) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            failAndClean(errno, "Could not read", source);
        }
        if (n == 0) break;
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                failAndClean(errno, "Could not write", target);
            }
            done += w;
            wrote(static_cast<size_t>(w));
        }
    }
}

}  // namespace

void ReplaceFileSafely(const std::string& source, const std::string& target, FileUse use) {
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) FailErrno(errno, "Could not read", source);

    // The temporary file lies in the target's folder, so the final rename
    // stays on one file system and is atomic.
    RemoveUnfinishedSaves(target);
    std::string temp;
    FileDescriptor out(CreateHeldTemporary(target, temp));
    if (out.get() < 0) FailErrno(errno, "Could not write in the folder of", target);

    auto failAndClean = [&](int e, const std::string& what, const std::string& path) {
        ::close(out.release());
        ::unlink(temp.c_str());
        FailErrno(e, what, path);
    };
    CopyChunks(in.get(), out.get(), source, target, failAndClean);
    // The permissions of the file it replaces (or the usual ones for a new file).
    struct stat st {};
    mode_t mode = 0644;
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
    ::fchmod(out.get(), mode);
    // A working copy is made afresh from the project file at every opening,
    // so one cut short by a crash is never used: it need not reach the disk
    // before the rename. A file that is kept must.
    if (use == FileUse::Kept && ::fsync(out.get()) != 0) failAndClean(errno, "Could not flush", target);
    // Renamed while still held, so that no cleaner takes it for a leftover;
    // the data of a kept file are on disk already, closing cannot lose them.
    if (::rename(temp.c_str(), target.c_str()) != 0) failAndClean(errno, "Could not replace", target);
    ::close(out.release());
    if (use != FileUse::Kept) return;
    // Flush the folder, so the rename itself survives a crash.
    FileDescriptor dir(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace vdx::db
