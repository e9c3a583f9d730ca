#include "db/row_blocks.h"

namespace vdx::db {

long BlockQueue::nextFree() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return error_ || published_ - consumed_ < counts_.size(); });
    if (error_) return -1;
    return static_cast<long>(published_ % counts_.size());
}

void BlockQueue::publish(size_t count) {
    {
        std::lock_guard lock(mutex_);
        counts_[published_ % counts_.size()] = count;
        ++published_;
    }
    changed_.notify_all();
}

void BlockQueue::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

void BlockQueue::rethrowConsumerError() {
    std::exception_ptr error;
    {
        std::lock_guard lock(mutex_);
        error = error_;
    }
    if (error) std::rethrow_exception(error);
}

bool BlockQueue::nextFilled(size_t& slot, size_t& count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return consumed_ < published_ || finished_; });
    if (consumed_ == published_) return false;
    slot = static_cast<size_t>(consumed_ % counts_.size());
    count = counts_[slot];
    return true;
}

void BlockQueue::consumed() {
    {
        std::lock_guard lock(mutex_);
        ++consumed_;
    }
    changed_.notify_all();
}

void BlockQueue::fail(std::exception_ptr error) {
    {
        std::lock_guard lock(mutex_);
        error_ = std::move(error);
    }
    changed_.notify_all();
}

}  // namespace vdx::db
