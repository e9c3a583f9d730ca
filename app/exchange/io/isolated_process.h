// Running a foreign library's parser in a child process. mdbtools and FreeXL
// trust the files they read and can crash on damaged ones (found by
// fuzzing); in a child, such a crash ends the child only and the caller gets
// a VdxError 3274. The child sends its results as messages through a pipe,
// so rows still stream: the parent receives them one by one.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "state/value.h"

namespace vdx::exchange {

// Builds a message.
class MessageWriter {
public:
    template <typename T>
    MessageWriter& put(T v) {
        bytes_.append(reinterpret_cast<const char*>(&v), sizeof v);
        return *this;
    }
    MessageWriter& text(std::string_view s);
    MessageWriter& value(const Value& v);
    MessageWriter& values(const std::vector<Value>& row);
    const std::string& bytes() const { return bytes_; }
    void clear() { bytes_.clear(); }

private:
    std::string bytes_;
};

// Reads a message; std::runtime_error when it is shorter than its contents say.
class MessageReader {
public:
    explicit MessageReader(std::string_view bytes) : bytes_(bytes) {}
    template <typename T>
    T get() {
        T v{};
        need(sizeof v);
        std::memcpy(&v, bytes_.data() + at_, sizeof v);
        at_ += sizeof v;
        return v;
    }
    std::string text();
    Value value();
    void values(std::vector<Value>& row);
    bool atEnd() const { return at_ == bytes_.size(); }

private:
    void need(size_t n) const {
        if (bytes_.size() - at_ < n) throw std::runtime_error("a message from the child process is cut short");
    }
    std::string_view bytes_;
    size_t at_ = 0;
};

// Sends messages from the child to the parent.
class MessageSender {
public:
    explicit MessageSender(int fd) : fd_(fd) {}
    void send(const MessageWriter& message);

private:
    int fd_;
};

// Runs `work` in a child process and hands each message it sends to
// `onMessage` in this process; when onMessage returns false the child is
// stopped. A VdxError thrown in the child is thrown here with its number and
// description. When the child dies otherwise, VdxError 3274 names `source`;
// when no child process can be made, VdxError 7 (out of memory). A child
// that sends nothing for longer than the stall limit (a library caught in a
// loop by a damaged file) is stopped, with VdxError 3274: the program never
// waits for it forever.
//
// The child may take only so much memory and processor time (setrlimit:
// its address space may grow by the memory limit beyond the caller's, its
// processor time is capped); a library that a damaged file sends allocating
// without end is so stopped within a second or two, and the caller gets
// VdxError 3274 as for a crash. The child dies with the thread that called
// RunIsolated (PR_SET_PDEATHSIG), so it never outlives the program.
void RunIsolated(const std::string& source, const std::function<void(MessageSender&)>& work,
                 const std::function<bool(MessageReader&)>& onMessage);

// How long a child may stay silent; 60 s unless changed (tests shorten it).
void SetIsolatedStallLimit(int milliseconds);

// The child's limits: growth of its address space (1 GiB) and processor
// time (600 s) unless changed.
struct IsolatedLimits {
    uint64_t memoryBytes = uint64_t{1} << 30;
    int cpuSeconds = 600;
};
void SetIsolatedLimits(const IsolatedLimits& limits);
IsolatedLimits GetIsolatedLimits();

}  // namespace vdx::exchange
