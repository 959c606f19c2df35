#include "runtime/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "runtime/ini_store.h"
#include "runtime/utf.h"
#include "tests/runtime/temp_folder.h"

namespace kv {
namespace {

using namespace std::chrono_literals;

struct Gate {
    std::atomic<bool> open{false};
    std::atomic<int> runs{0};
};

int WaitAtGate(intptr_t parameter) {
    auto* gate = reinterpret_cast<Gate*>(parameter);
    gate->runs.fetch_add(1);
    while (!gate->open.load()) std::this_thread::sleep_for(1ms);
    return 0;
}

// A thread is only ever ended by force once it runs its procedure, as the shutdown does with a
// worker that outlived its limit: ended during its start, a Windows thread may leave the
// runtime's own locks taken, and the next thread start of the process fails.
void WaitUntilInside(const Gate& gate) {
    while (gate.runs.load() == 0) std::this_thread::sleep_for(1ms);
}

int SleepMs(intptr_t parameter) {
    std::this_thread::sleep_for(std::chrono::milliseconds(parameter));
    return 0;
}

class ThreadsTest : public ::testing::Test {
  protected:
    void SetUp() override { ThreadTableInit(); }
    void TearDown() override { ThreadTableFree(); }
};

// Numbers are process-wide, so these tests compare numbers with each other, never with
// constants that depend on which tests ran first.
TEST_F(ThreadsTest, NumbersGrowByOneAndAreNeverReused) {
    const int first = ThreadStart(SleepMs, 0);
    ASSERT_GT(first, 0);
    EXPECT_EQ(ThreadWait(first, ThreadWaitInfinite), 1);
    // The first thread has ended and its entry is pruned by this start; its number stays spent.
    static Gate gate;  // outlives the test: the forgotten thread still reads it until released
    gate.open = false;
    gate.runs = 0;
    const int second = ThreadStart(WaitAtGate, reinterpret_cast<intptr_t>(&gate));
    EXPECT_EQ(second, first + 1);
    WaitUntilInside(gate);
    ThreadKill(second);
    gate.open = true;
    const int third = ThreadStart(SleepMs, 0);
    EXPECT_EQ(third, second + 1);
    EXPECT_EQ(ThreadWait(third, ThreadWaitInfinite), 1);
    EXPECT_EQ(ThreadIsRunning(first), 0);
    EXPECT_EQ(ThreadWait(first, 0), 1);
}

TEST_F(ThreadsTest, TheProcedureGetsItsParameter) {
    Gate gate;
    gate.open = true;
    const int number = ThreadStart(WaitAtGate, reinterpret_cast<intptr_t>(&gate));
    ASSERT_GT(number, 0);
    EXPECT_EQ(ThreadWait(number, ThreadWaitInfinite), 1);
    EXPECT_EQ(gate.runs.load(), 1);
    EXPECT_EQ(ThreadStart(nullptr, 0), 0);
}

TEST_F(ThreadsTest, WaitWithALimitOnAThreadThatEnds) {
    const int number = ThreadStart(SleepMs, 100);
    ASSERT_GT(number, 0);
    EXPECT_EQ(ThreadIsRunning(number), 1);
    EXPECT_EQ(ThreadWait(number, 5000), 1);
    EXPECT_EQ(ThreadIsRunning(number), 0);
    EXPECT_EQ(ThreadWait(number, 400), 1);  // an ended number stays ended
}

TEST_F(ThreadsTest, WaitWithALimitOnAThreadThatKeepsRunning) {
    Gate gate;
    const int number = ThreadStart(WaitAtGate, reinterpret_cast<intptr_t>(&gate));
    ASSERT_GT(number, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ThreadWait(number, 400), 0);
    // The limit is a lower bound; how much longer it took depends on the machine.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
    EXPECT_EQ(ThreadIsRunning(number), 1);
    gate.open = true;
    EXPECT_EQ(ThreadWait(number, ThreadWaitInfinite), 1);
}

TEST_F(ThreadsTest, NumbersThatNameNoThreadReadAsEnded) {
    EXPECT_EQ(ThreadIsRunning(0), 0);
    EXPECT_EQ(ThreadWait(0, 400), 1);
    EXPECT_EQ(ThreadIsRunning(-3), 0);
    EXPECT_EQ(ThreadWait(1 << 30, ThreadWaitInfinite), 1);
    ThreadKill(0);
}

TEST_F(ThreadsTest, KillForgetsARunningThreadAndASecondKillDoesNothing) {
    static Gate gate;  // outlives the test: the forgotten thread still reads it until released
    gate.open = false;
    gate.runs = 0;
    const int number = ThreadStart(WaitAtGate, reinterpret_cast<intptr_t>(&gate));
    ASSERT_GT(number, 0);
    WaitUntilInside(gate);
    ThreadKill(number);
    EXPECT_EQ(ThreadIsRunning(number), 0);
    EXPECT_EQ(ThreadWait(number, 400), 1);
    ThreadKill(number);
    gate.open = true;  // let the detached thread finish so the test process stays tidy
}

TEST_F(ThreadsTest, KillOfAnEndedThreadOnlyForgetsIt) {
    const int number = ThreadStart(SleepMs, 0);
    ASSERT_GT(number, 0);
    ASSERT_EQ(ThreadWait(number, ThreadWaitInfinite), 1);
    ThreadKill(number);
    ThreadKill(number);
    EXPECT_EQ(ThreadIsRunning(number), 0);
}

int SaveWithoutClosing(intptr_t parameter) {
    IniCreate(U16(*reinterpret_cast<const std::string*>(parameter)));
    IniWriteString(u"Who", u"worker");
    return 0;  // the document is written as the thread ends
}

TEST_F(ThreadsTest, AThreadCountsAsEndedOnlyAfterItsThreadEndCleanup) {
    testing::TempFolder folder;
    const std::string path = folder.File("worker.ini");
    const int number = ThreadStart(SaveWithoutClosing, reinterpret_cast<intptr_t>(&path));
    ASSERT_GT(number, 0);
    ASSERT_EQ(ThreadWait(number, ThreadWaitInfinite), 1);
    EXPECT_EQ(testing::ReadBytes(path), "\xEF\xBB\xBF\r\nWho = worker\r\n");
}

struct ManyWorkers {
    testing::TempFolder folder;
    std::atomic<int> next{0};
};

int SaveOneOfMany(intptr_t parameter) {
    auto* workers = reinterpret_cast<ManyWorkers*>(parameter);
    const int index = workers->next.fetch_add(1);
    IniCreate(U16(workers->folder.File("worker" + std::to_string(index) + ".ini")));
    IniWriteInteger(u"Index", index);
    return 0;
}

// Ends many threads that each leave per-thread state behind (a settings document still open
// and written, the end signal): every one ends cleanly and writes its document.
TEST_F(ThreadsTest, ManyThreadsEndWithTheirPerThreadStateReleased) {
    constexpr int Count = 64;
    ManyWorkers workers;
    std::vector<int> numbers;
    for (int i = 0; i < Count; ++i) {
        numbers.push_back(ThreadStart(SaveOneOfMany, reinterpret_cast<intptr_t>(&workers)));
        ASSERT_GT(numbers.back(), 0);
    }
    for (int number : numbers) EXPECT_EQ(ThreadWait(number, ThreadWaitInfinite), 1);
    for (int i = 0; i < Count; ++i) {
        EXPECT_EQ(testing::ReadBytes(workers.folder.File("worker" + std::to_string(i) + ".ini")),
                  "\xEF\xBB\xBF\r\nIndex = " + std::to_string(i) + "\r\n");
    }
}

}  // namespace
}  // namespace kv
