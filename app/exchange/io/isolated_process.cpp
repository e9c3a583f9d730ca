#include "exchange/io/isolated_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "exchange/io/reader_support.h"
#include "state/errors.h"

namespace vdx::exchange {

namespace {

constexpr char kData = 'D';
constexpr char kError = 'E';

int stallLimitMs = 60000;
IsolatedLimits limits;

// The caller's address space now, in bytes (0 when it cannot be read).
uint64_t AddressSpaceBytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    unsigned long long pages = 0;
    const bool read = std::fscanf(f, "%llu", &pages) == 1;
    std::fclose(f);
    return read ? pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// In the child, first thing: die with the caller's thread, even if it has
// already gone (then getppid() is no longer the caller), and take at most
// `addressSpace` bytes of memory and the processor time of the limits
// (SIGXCPU ends it then, SIGKILL a few seconds later).
void LimitChild(pid_t parent, uint64_t addressSpace) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(3);
    if (addressSpace > 0) {
        const rlimit memory{addressSpace, addressSpace};
        setrlimit(RLIMIT_AS, &memory);
    }
    const rlim_t cpu = static_cast<rlim_t>(limits.cpuSeconds);
    const rlimit processor{cpu, cpu + 5};
    setrlimit(RLIMIT_CPU, &processor);
}

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

enum class ReadResult { Complete, End, Stalled };

// Reads exactly n bytes, waiting at most the stall limit for each part.
ReadResult ReadAll(int fd, char* p, size_t n) {
    while (n > 0) {
        pollfd waiting{fd, POLLIN, 0};
        int ready = poll(&waiting, 1, stallLimitMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return ReadResult::Stalled;
        ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return ReadResult::End;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return ReadResult::Complete;
}

void SendFrame(int fd, char kind, const std::string& body) {
    uint32_t length = static_cast<uint32_t>(body.size());
    char head[5];
    head[0] = kind;
    std::memcpy(head + 1, &length, 4);
    if (!WriteAll(fd, head, 5) || !WriteAll(fd, body.data(), body.size())) _exit(3);  // the parent has gone
}

// The libraries' own messages (mdbtools prints hex dumps of every damaged
// page it meets) stay in the child: its standard output and error go to
// /dev/null, and the user sees only the error the parent reports. The pipe
// is moved off descriptors 1 and 2 first, should it have been given one.
void SilenceChildOutput(int& pipeOut) {
    if (pipeOut <= STDERR_FILENO) {
        const int moved = fcntl(pipeOut, F_DUPFD, STDERR_FILENO + 1);
        if (moved < 0) _exit(3);
        pipeOut = moved;
    }
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0) _exit(3);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (null > STDERR_FILENO) close(null);
}

std::string OutOfMemoryText(const std::string& source) {
    return source + " is not in the expected format: its reader needed more than " +
           std::to_string(limits.memoryBytes >> 20) + " MiB of memory, the most it may take";
}

}  // namespace

MessageWriter& MessageWriter::text(std::string_view s) {
    put<uint32_t>(static_cast<uint32_t>(s.size()));
    bytes_.append(s);
    return *this;
}

MessageWriter& MessageWriter::value(const Value& v) {
    put<uint8_t>(static_cast<uint8_t>(v.kind()));
    switch (v.kind()) {
        case Value::Kind::Null: break;
        case Value::Kind::Boolean: put<uint8_t>(v.asBool() ? 1 : 0); break;
        case Value::Kind::Integer: put<int64_t>(v.asInteger()); break;
        case Value::Kind::Double:
        case Value::Kind::Date: put<double>(v.asDouble()); break;
        case Value::Kind::Text: text(v.asText()); break;
    }
    return *this;
}

MessageWriter& MessageWriter::values(const std::vector<Value>& row) {
    put<uint32_t>(static_cast<uint32_t>(row.size()));
    for (const Value& v : row) value(v);
    return *this;
}

std::string MessageReader::text() {
    uint32_t n = get<uint32_t>();
    need(n);
    std::string s(bytes_.substr(at_, n));
    at_ += n;
    return s;
}

Value MessageReader::value() {
    switch (static_cast<Value::Kind>(get<uint8_t>())) {
        case Value::Kind::Null: return Value();
        case Value::Kind::Boolean: return Value::boolean(get<uint8_t>() != 0);
        case Value::Kind::Integer: return Value::integer(get<int64_t>());
        case Value::Kind::Double: return Value::real(get<double>());
        case Value::Kind::Date: return Value::date(get<double>());
        case Value::Kind::Text: return Value::text(text());
    }
    throw std::runtime_error("a value of unknown kind from the child process");
}

void MessageReader::values(std::vector<Value>& row) {
    uint32_t n = get<uint32_t>();
    row.resize(n);
    for (uint32_t i = 0; i < n; ++i) row[i] = value();
}

void SetIsolatedStallLimit(int milliseconds) { stallLimitMs = milliseconds; }
void SetIsolatedLimits(const IsolatedLimits& l) { limits = l; }
IsolatedLimits GetIsolatedLimits() { return limits; }

void MessageSender::send(const MessageWriter& message) { SendFrame(fd_, kData, message.bytes()); }

void RunIsolated(const std::string& source, const std::function<void(MessageSender&)>& work,
                 const std::function<bool(MessageReader&)>& onMessage) {
    int fds[2];
    pid_t child = -1;
    const pid_t parent = getpid();
    const uint64_t current = AddressSpaceBytes();
    const uint64_t addressSpace = current > 0 ? current + limits.memoryBytes : 0;
    if (pipe(fds) == 0) {
        child = fork();
        if (child < 0) {
            close(fds[0]);
            close(fds[1]);
        }
    }
    if (child < 0) throw VdxError(err::OutOfMemory, "Out of memory: no process can be started to read " + source + ".");
    if (child == 0) {
        LimitChild(parent, addressSpace);
        close(fds[0]);
        SilenceChildOutput(fds[1]);
        MessageSender sender(fds[1]);
        try {
            work(sender);
        } catch (const std::bad_alloc&) {
            MessageWriter m;
            m.put<int32_t>(err::NotExpectedFormat).text(OutOfMemoryText(source));
            SendFrame(fds[1], kError, m.bytes());
        } catch (const VdxError& e) {
            MessageWriter m;
            m.put<int32_t>(e.number()).text(e.description());
            SendFrame(fds[1], kError, m.bytes());
        } catch (const std::exception& e) {
            MessageWriter m;
            m.put<int32_t>(err::NotExpectedFormat).text(source + " cannot be read: " + e.what());
            SendFrame(fds[1], kError, m.bytes());
        }
        close(fds[1]);
        _exit(0);
    }

    close(fds[1]);
    bool stopped = false;
    bool failed = false;
    bool stalled = false;
    int errorNumber = 0;
    std::string errorText;
    std::string body;
    try {
        while (true) {
            char head[5];
            ReadResult got = ReadAll(fds[0], head, 5);
            if (got == ReadResult::Complete) {
                uint32_t length;
                std::memcpy(&length, head + 1, 4);
                body.resize(length);
                got = ReadAll(fds[0], body.data(), length);
                if (got == ReadResult::End) {
                    failed = true;
                    break;
                }
            }
            if (got == ReadResult::Stalled) {
                stalled = true;
                break;
            }
            if (got == ReadResult::End) break;
            MessageReader reader(body);
            if (head[0] == kError) {
                errorNumber = reader.get<int32_t>();
                errorText = reader.text();
                break;
            }
            if (!onMessage(reader)) {
                stopped = true;
                break;
            }
        }
    } catch (...) {
        kill(child, SIGKILL);
        close(fds[0]);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        throw;
    }
    if (stopped || stalled) kill(child, SIGKILL);
    close(fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (stalled)
        ThrowWrongFormat(source, "its reader stopped answering (no data for " +
                                     std::to_string((stallLimitMs + 999) / 1000) + " s)");
    if (errorNumber != 0) throw VdxError(errorNumber, errorText);
    if (stopped) return;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)
        ThrowWrongFormat(source, "its reader used more than " + std::to_string(limits.cpuSeconds) +
                                     " s of processor time, the most it may use");
    if (failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        ThrowWrongFormat(source, "its reader stopped on damaged data" +
                                     (WIFSIGNALED(status) ? " (signal " + std::to_string(WTERMSIG(status)) + ")" : std::string()));
}

}  // namespace vdx::exchange
