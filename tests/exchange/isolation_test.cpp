// Foreign parsers in a child process, and the damaged inputs that fuzzing
// found (tests/exchange/fixtures/damaged): each ends in a VdxError, never a
// crash of the program.
#include "exchange/io/isolated_process.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>

#include "exchange/formats/access/access_reader.h"
#include "exchange/formats/excel/biff_reader.h"
#include "exchange/formats/excel/excel_reader.h"
#include "exchange/formats/paradox/paradox_reader.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

using testing::ErrorNumberOf;
using testing::ReadAll;
using testing::TempFolder;

const std::string kDamaged = std::string(VDX_FIXTURES) + "/damaged/";

TEST(IsolatedProcess, MessagesArriveInOrderWithTheirValues) {
    std::vector<Value> received;
    RunIsolated(
        "test",
        [](MessageSender& out) {
            for (int i = 0; i < 1000; ++i) {
                MessageWriter m;
                m.values({Value::integer(i), Value::text("row " + std::to_string(i)), Value(), Value::date(-3884.25),
                          Value::boolean(i % 2 == 0), Value::real(0.1 * i)});
                out.send(m);
            }
        },
        [&](MessageReader& in) {
            std::vector<Value> row;
            in.values(row);
            EXPECT_TRUE(in.atEnd());
            EXPECT_EQ(row.size(), 6u);
            received.push_back(row[0]);
            if (row[0] == Value::integer(999)) {
                EXPECT_EQ(row[1], Value::text("row 999"));
                EXPECT_TRUE(row[2].isNull());
                EXPECT_EQ(row[3], Value::date(-3884.25));
                EXPECT_EQ(row[4], Value::boolean(false));
                EXPECT_EQ(row[5], Value::real(0.1 * 999));
            }
            return true;
        });
    ASSERT_EQ(received.size(), 1000u);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(received[static_cast<size_t>(i)], Value::integer(i));
}

TEST(IsolatedProcess, ACrashOfTheChildIsAWrongFormatErrorHere) {
    try {
        RunIsolated(
            "broken.mdb", [](MessageSender&) { std::raise(SIGSEGV); }, [](MessageReader&) { return true; });
        ADD_FAILURE();
    } catch (const VdxError& e) {
        EXPECT_EQ(e.number(), err::NotExpectedFormat);
        EXPECT_NE(std::string(e.what()).find("broken.mdb"), std::string::npos) << e.what();
    }
}

TEST(IsolatedProcess, AnErrorOfTheChildKeepsItsNumberAndText) {
    try {
        RunIsolated(
            "x", [](MessageSender&) { throw VdxError(3011, "Could not find the table 'T'."); },
            [](MessageReader&) { return true; });
        ADD_FAILURE();
    } catch (const VdxError& e) {
        EXPECT_EQ(e.number(), 3011);
        EXPECT_EQ(e.description(), "Could not find the table 'T'.");
    }
}

TEST(IsolatedProcess, TheParentCanStopAChildThatWouldSendForever) {
    int received = 0;
    RunIsolated(
        "endless",
        [](MessageSender& out) {
            MessageWriter m;
            m.put<int32_t>(1);
            while (true) out.send(m);
        },
        [&](MessageReader&) { return ++received < 10; });
    EXPECT_EQ(received, 10);
}

TEST(IsolatedProcess, AChildThatStopsAnsweringIsStoppedWithAWrongFormatError) {
    // A library caught in a loop sends nothing more; the program must not
    // wait for it forever.
    SetIsolatedStallLimit(200);
    int received = 0;
    try {
        RunIsolated(
            "stuck.mdb",
            [](MessageSender& out) {
                MessageWriter m;
                m.put<int32_t>(1);
                out.send(m);
                while (true) pause();
            },
            [&](MessageReader&) { return ++received, true; });
        ADD_FAILURE() << "no error";
    } catch (const VdxError& e) {
        EXPECT_EQ(e.number(), err::NotExpectedFormat);
        EXPECT_NE(e.description().find("stuck.mdb"), std::string::npos) << e.description();
        EXPECT_NE(e.description().find("stopped answering"), std::string::npos) << e.description();
    }
    SetIsolatedStallLimit(60000);
    EXPECT_EQ(received, 1);
}

// A child that takes memory or processor time without end is stopped by its
// limits (long before the stall limit), and the error says which.
TEST(IsolatedProcess, AChildIsHeldToItsMemoryAndProcessorTimeLimits) {
    const IsolatedLimits before = GetIsolatedLimits();
    SetIsolatedLimits({64 << 20, 1});
    const std::pair<std::function<void(MessageSender&)>, const char*> cases[] = {
        {[](MessageSender&) {
             std::vector<std::unique_ptr<char[]>> taken;
             while (true) taken.emplace_back(new char[1 << 20]());
         },
         "hog is not in the expected format: its reader needed more than 64 MiB of memory"},
        {[](MessageSender&) {
             std::atomic<uint64_t> turns{0};
             while (true) turns.fetch_add(1, std::memory_order_relaxed);
         },
         "hog is not in the expected format: its reader used more than 1 s of processor time"},
    };
    for (const auto& [work, said] : cases) {
        auto [number, message] = testing::ErrorOf([&] { RunIsolated("hog", work, [](MessageReader&) { return true; }); });
        EXPECT_EQ(number, err::NotExpectedFormat);
        EXPECT_EQ(message.rfind(said, 0), 0u) << message;
    }
    SetIsolatedLimits(before);
}

// The reader's child dies with the process that started it, even when that
// one is killed: it never runs on alone.
TEST(IsolatedProcess, AChildDiesWithItsParent) {
    // Orphans come to this process (not to init), so that it can wait for them.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int pids[2];
    ASSERT_EQ(pipe(pids), 0);
    const pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        close(pids[0]);
        RunIsolated(
            "x",
            [&](MessageSender&) {
                const pid_t self = getpid();
                if (write(pids[1], &self, sizeof self) != sizeof self) _exit(1);
                while (true) pause();
            },
            [](MessageReader&) { return true; });
        _exit(0);
    }
    close(pids[1]);
    pid_t child = 0;
    ASSERT_EQ(read(pids[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
    close(pids[0]);
    kill(parent, SIGKILL);
    ASSERT_EQ(waitpid(parent, nullptr, 0), parent);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 500 && ended == 0; ++i) {  // up to 5 s
        ended = waitpid(child, &status, WNOHANG);
        if (ended == 0) usleep(10000);
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    ASSERT_EQ(ended, child) << "the child outlived its parent";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

// --- Inputs found by fuzzing -------------------------------------------------------

class DamagedFiles : public ::testing::Test {};

TEST_F(DamagedFiles, AnMdbThatCrashesMdbtools) {
    int number = ErrorNumberOf([] {
        AccessReader reader(kDamaged + "mdbtools_crash.mdb");
        for (const std::string& t : reader.tableNames()) ReadAll(reader, t);
    });
    EXPECT_TRUE(number == err::NotExpectedFormat || number == err::UnrecognizedDatabase) << number;
}

// mdbtools loops in its catalog reading on this file, allocating without
// end: the memory limit ends the child (not the 60 s stall limit), and the
// child's peak memory stays within the limit.
TEST_F(DamagedFiles, AnMdbThatSendsMdbtoolsAllocatingWithoutEnd) {
    const IsolatedLimits before = GetIsolatedLimits();
    SetIsolatedLimits({256 << 20, before.cpuSeconds});  // the default's 1 GiB takes longer to fill
    auto [number, message] = testing::ErrorOf([] { AccessReader reader(kDamaged + "mdb_catalog_loop.mdb"); });
    SetIsolatedLimits(before);
    EXPECT_EQ(number, err::NotExpectedFormat);
    EXPECT_EQ(message.rfind("mdb_catalog_loop.mdb is not in the expected format: its reader", 0), 0u) << message;
    EXPECT_EQ(message.find("stopped answering"), std::string::npos) << message;
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    EXPECT_LT(static_cast<uint64_t>(children.ru_maxrss) * 1024,
              static_cast<uint64_t>(self.ru_maxrss) * 1024 + (256 << 20));
}

TEST_F(DamagedFiles, AWorkbookThatCrashesFreeXl) {
    EXPECT_EQ(ErrorNumberOf([] { ReadWithFreeXl(kDamaged + "freexl_crash.xls"); }), err::NotExpectedFormat);
    EXPECT_EQ(ErrorNumberOf([] { ExcelReader reader(kDamaged + "freexl_crash.xls"); }), err::NotExpectedFormat);
}

TEST_F(DamagedFiles, WorkbooksThatEndedFreeXlsChildProcess) {
    for (const char* file : {"freexl_child_crash_a.xls", "freexl_child_crash_b.xls"}) {
        const int number = ErrorNumberOf([&] {
            ExcelReader reader(kDamaged + file);
            for (const std::string& t : reader.tableNames()) ReadAll(reader, t);
        });
        EXPECT_EQ(number, err::NotExpectedFormat) << file;
    }
}

TEST_F(DamagedFiles, ADateSerialNoCalendarHoldsIsANumber) {
    // An Excel 2.1 sheet: format 0 "dd.mm.yyyy", A1 a serial of 1e285 and A2 22842, both in that format.
    using testing::BiffNumber2;
    using testing::BiffRecord;
    const std::string bytes = BiffRecord(0x0009, std::string("\0\0\x10\0", 4)) +
                              BiffRecord(0x001E, "\x0A" "dd.mm.yyyy") + BiffNumber2(0, 0, 1e285) +
                              BiffNumber2(1, 0, 22842) + BiffRecord(0x000A, "");
    std::vector<SheetCell> cells = BiffWorkbook(bytes, "x.xls", "x").sheetCells(0);
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[0].value.kind(), Value::Kind::Double);
    EXPECT_GT(cells[0].value.asDouble(), 1e280);
    EXPECT_EQ(cells[1].value, Value::date(22842));
    // The file the fuzzer found has a record running past the end of its stream as well: damaged.
    ExcelReader reader(kDamaged + "huge_date_serial.xls");
    EXPECT_EQ(ErrorNumberOf([&] { ReadAll(reader, reader.tableNames().at(0)); }), err::NotExpectedFormat);
}

TEST_F(DamagedFiles, ParadoxHeadersThatKeptPxlibBusy) {
    for (const char* file : {"pxlib_endless.db", "pxlib_encrypted.db", "pxlib_first_block.db"}) {
        TempFolder dir;
        dir.write("endless.db", testing::ReadFileBytes(kDamaged + file));
        ParadoxReader reader(dir.path());
        EXPECT_EQ(ErrorNumberOf([&] { ReadAll(reader, "endless"); }), err::NotExpectedFormat) << file;
    }
}

}  // namespace
}  // namespace vdx::exchange
