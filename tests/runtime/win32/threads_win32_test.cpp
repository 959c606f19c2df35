// Worker threads on Windows, where a thread that keeps running can be ended by force.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/threads.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t ShutdownWaitMs = 400;

int CountForever(intptr_t parameter) {
    auto* counter = reinterpret_cast<std::atomic<int>*>(parameter);
    for (;;) {
        counter->fetch_add(1);
        std::this_thread::sleep_for(1ms);
    }
}

int EndAfter100Ms(intptr_t) {
    std::this_thread::sleep_for(100ms);
    return 0;
}

// The shutdown's sequence: wait 400 ms, then end the worker by force if it still runs.
TEST(ThreadsWin32, TheShutdownWaitGivesUpAfterItsLimitAndTheKillEndsTheThread) {
    ThreadTableInit();
    std::atomic<int> counter{0};
    const int worker = ThreadStart(CountForever, reinterpret_cast<intptr_t>(&counter));
    ASSERT_GT(worker, 0);
    const auto started = Clock::now();
    EXPECT_EQ(ThreadWait(worker, ShutdownWaitMs), 0);
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(ShutdownWaitMs) - 20ms);
    ASSERT_EQ(ThreadIsRunning(worker), 1);

    ThreadKill(worker);
    EXPECT_EQ(ThreadIsRunning(worker), 0);
    const int afterKill = counter.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(counter.load(), afterKill) << "the thread was ended, not let go";
    ThreadTableFree();
}

TEST(ThreadsWin32, TheShutdownWaitReturnsWhenTheWorkerEnds) {
    ThreadTableInit();
    const int worker = ThreadStart(EndAfter100Ms, 0);
    ASSERT_GT(worker, 0);
    EXPECT_EQ(ThreadWait(worker, ShutdownWaitMs), 1);
    EXPECT_EQ(ThreadIsRunning(worker), 0);
    ThreadTableFree();
}

}  // namespace
}  // namespace kv
