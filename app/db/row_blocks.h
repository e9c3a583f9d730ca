// The reading path of the runs that pass over the whole main data table
// (person-years, observed deaths): the table is read on the calling thread,
// each row turned into a small record, and the records are handed in blocks
// through a bounded queue to a second thread that does the computing. The
// consumer sees every record once, in stored order, so its result does not
// depend on how the two threads happen to run. The calling thread also keeps
// the progress window alive and looks for Cancel.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "db/table_stream.h"
#include "state/interaction.h"

namespace vdx::db {

// Numbered slots passed from one producer to one consumer, at most `slots`
// of them filled and waiting.
class BlockQueue {
public:
    explicit BlockQueue(size_t slots) : counts_(slots) {}

    // Producer: the slot to fill next, once one is free; -1 when the
    // consumer has failed (rethrowConsumerError then throws its error).
    long nextFree();
    void publish(size_t count);  // the slot of the last nextFree holds count records
    void finish();               // no more blocks: the consumer drains and stops
    void rethrowConsumerError();

    // Consumer: the next filled slot and its record count; false when the
    // producer has finished and every block is consumed.
    bool nextFilled(size_t& slot, size_t& count);
    void consumed();
    void fail(std::exception_ptr error);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<size_t> counts_;
    uint64_t published_ = 0, consumed_ = 0;
    bool finished_ = false;
    std::exception_ptr error_;
};

inline constexpr size_t kRowsPerBlock = 4096;
inline constexpr size_t kBlocksInFlight = 4;

// Reads every row of `rows` and calls read(rows, record) on this thread; a
// record for which it returns true is passed on, in order, to
// consume(records, count) on a thread of its own. An error thrown by `read`
// (a row the run cannot use) ends the reading and is rethrown here after the
// records before it are consumed; an error thrown by `consume` is rethrown
// here too. The progress window is polled before the first row and then
// once per `pollInterval` at most, with the position in the table (0 to
// 400). Returns false when it reported Cancel: the rows read so far are
// consumed, no more are read.
template <class Record, class Read, class Consume>
bool ReadRowsInBlocks(TableStream& rows, Progress& progress, std::chrono::milliseconds pollInterval, Read&& read,
                      Consume&& consume) {
    if (progress.poll()) return false;

    std::vector<std::vector<Record>> blocks(kBlocksInFlight, std::vector<Record>(kRowsPerBlock));
    BlockQueue queue(kBlocksInFlight);
    std::thread worker([&] {
        try {
            size_t slot = 0, count = 0;
            while (queue.nextFilled(slot, count)) {
                consume(blocks[slot].data(), count);
                queue.consumed();
            }
        } catch (...) {
            queue.fail(std::current_exception());
        }
    });
    // However this function is left, the consumer drains and is joined.
    struct Joiner {
        BlockQueue& queue;
        std::thread& worker;
        void join() {
            if (!worker.joinable()) return;
            queue.finish();
            worker.join();
        }
        ~Joiner() { join(); }
    } joiner{queue, worker};

    auto freeSlot = [&] {
        const long slot = queue.nextFree();
        if (slot < 0) {
            joiner.join();
            queue.rethrowConsumerError();
        }
        return static_cast<size_t>(slot);
    };

    using Clock = std::chrono::steady_clock;
    const int64_t total = rows.rowCount();
    auto lastPoll = Clock::now();
    uint32_t sinceClock = 0;
    size_t slot = freeSlot(), filled = 0;
    bool cancelled = false;
    try {
        while (rows.next()) {
            // The clock is read every 256 rows, the window polled when the
            // interval has passed.
            if (++sinceClock == 256) {
                sinceClock = 0;
                if (Clock::now() - lastPoll >= pollInterval) {
                    progress.setValue(total > 0 ? static_cast<int>(rows.position() * 400 / total) : 0);
                    if (progress.poll()) {
                        cancelled = true;
                        break;
                    }
                    lastPoll = Clock::now();
                }
            }
            if (!read(static_cast<const TableStream&>(rows), blocks[slot][filled])) continue;
            if (++filled == kRowsPerBlock) {
                queue.publish(filled);
                filled = 0;
                slot = freeSlot();
            }
        }
    } catch (...) {
        if (filled) queue.publish(filled);
        throw;
    }
    if (filled) queue.publish(filled);
    joiner.join();
    queue.rethrowConsumerError();
    return !cancelled;
}

}  // namespace vdx::db
