// The two-thread reading path: every record reaches the computing thread
// once and in stored order however the threads are timed; errors on either
// side and Cancel stop the reading.
#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>

#include "db/row_blocks.h"
#include "test_support.h"

namespace {

using namespace vdx;
using db::TableStream;

constexpr int kRows = 100000;  // well beyond the blocks in flight

class RowBlocks : public vdx::test::TempDir {
protected:
    void SetUp() override {
        TempDir::SetUp();
        db_ = db::Database::create(path("rows.vdx"));
        test::CreateTable(*db_, "T", "ID LONG");
        test::Sql(*db_, "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
                     std::to_string(kRows) + ") INSERT INTO T (ID) SELECT x FROM n");
    }
    std::unique_ptr<db::Database> db_;
};

// Reports Cancel at poll number cancelAt (from 1); 0 never.
struct Window : Progress {
    explicit Window(int cancelAt = 0) : cancelAt(cancelAt) {}
    void setLabel(const std::string&) override {}
    void setValue(int) override {}
    bool poll() override { return ++polls == cancelAt; }
    int cancelAt, polls = 0;
};

void Pause(std::mt19937& rng, int inOf) {
    if (static_cast<int>(rng() % static_cast<unsigned>(inOf)) == 0)
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300));
}

TEST_F(RowBlocks, EveryKeptRecordArrivesOnceInStoredOrderWhateverTheTiming) {
    struct Timing {
        const char* name;
        int readerPauses, consumerPauses;  // a pause every n rows / blocks on average; 0 none
    } timings[] = {{"no pauses", 0, 0}, {"slow reader", 200, 0}, {"slow consumer", 0, 1}, {"both", 300, 2}};
    std::vector<int64_t> expected;
    for (int64_t id = 1; id <= kRows; ++id)
        if (id % 7 != 0) expected.push_back(id);
    for (const Timing& t : timings) {
        std::mt19937 readerRng(1), consumerRng(2);
        std::vector<int64_t> seen;
        TableStream rows(*db_, "T", {"ID"});
        Window window;
        const bool completed = db::ReadRowsInBlocks<int64_t>(
            rows, window, std::chrono::milliseconds(1),
            [&](const TableStream& r, int64_t& id) {
                if (t.readerPauses) Pause(readerRng, t.readerPauses);
                id = static_cast<int64_t>(r.real(0));
                return id % 7 != 0;
            },
            [&](const int64_t* ids, size_t count) {
                if (t.consumerPauses) Pause(consumerRng, t.consumerPauses);
                seen.insert(seen.end(), ids, ids + count);
            });
        EXPECT_TRUE(completed) << t.name;
        EXPECT_EQ(seen, expected) << t.name;
    }
}

TEST_F(RowBlocks, AnErrorStopsTheReadingAndReachesTheCaller) {
    struct Case {
        const char* name;
        bool inReading;  // else in computing
    } cases[] = {{"unusable row", true}, {"computing fails", false}};
    for (const Case& c : cases) {
        TableStream rows(*db_, "T", {"ID"});
        Window window;
        int64_t lastRead = 0, lastConsumed = 0;
        try {
            db::ReadRowsInBlocks<int64_t>(
                rows, window, std::chrono::milliseconds(1),
                [&](const TableStream& r, int64_t& id) {
                    id = lastRead = static_cast<int64_t>(r.real(0));
                    if (c.inReading && id == 10000) throw VdxError(94, "row 10000 is empty");
                    return true;
                },
                [&](const int64_t* ids, size_t count) {
                    if (!c.inReading && ids[0] > 5000) throw std::runtime_error("computing failed");
                    lastConsumed = ids[count - 1];
                });
            ADD_FAILURE() << c.name << ": no error";
        } catch (const VdxError& e) {
            EXPECT_TRUE(c.inReading);
            EXPECT_EQ(e.number(), 94);
            EXPECT_EQ(lastConsumed, 9999);  // every row before the unusable one was computed
        } catch (const std::runtime_error&) {
            EXPECT_FALSE(c.inReading);
            EXPECT_LT(lastRead, kRows);  // the reading stopped early
        }
    }
}

TEST_F(RowBlocks, CancelStopsTheReadingAfterTheRowsReadAreComputed) {
    TableStream rows(*db_, "T", {"ID"});
    Window window(2);  // the first poll after the reading has begun
    int64_t lastRead = 0, consumed = 0;
    const bool completed = db::ReadRowsInBlocks<int64_t>(
        rows, window, std::chrono::milliseconds(0),
        [&](const TableStream& r, int64_t& id) {
            id = lastRead = static_cast<int64_t>(r.real(0));
            return true;
        },
        [&](const int64_t*, size_t count) { consumed += static_cast<int64_t>(count); });
    EXPECT_FALSE(completed);
    EXPECT_EQ(window.polls, 2);
    EXPECT_LT(lastRead, kRows);
    EXPECT_EQ(consumed, lastRead);
}

TEST_F(RowBlocks, PollsBeforeTheFirstRowThenByTheClockReadEvery256Rows) {
    struct Case {
        std::chrono::milliseconds interval;
        int polls;
    } cases[] = {{std::chrono::milliseconds(0), 1 + kRows / 256},  // the interval always passed
                 {std::chrono::hours(1), 1}};                       // never passed: no poll after the first
    for (const Case& c : cases) {
        TableStream rows(*db_, "T", {"ID"});
        Window window;
        ASSERT_TRUE(db::ReadRowsInBlocks<int64_t>(
            rows, window, c.interval, [](const TableStream&, int64_t&) { return true; }, [](const int64_t*, size_t) {}));
        EXPECT_EQ(window.polls, c.polls) << c.interval.count() << " ms";
    }
}

}  // namespace
