#include "runtime/threads.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "runtime/handle_table.h"
#include "runtime/native_thread.h"

// The forced end is only ever used as the last step of shutdown, right before the process
// exits; what it means on each platform is native::AbandonThread's business. The requested
// 4096-byte stack is below what some systems accept for a thread, so threads get the
// system's default stack.

namespace kv {
namespace {

constexpr int32_t FirstThreadNumber = 1;
constexpr int32_t LastThreadNumber = INT32_MAX;

// Shared between the table and the running thread, so either may go first.
struct ThreadState {
    std::mutex lock;
    std::condition_variable endedSignal;
    bool ended = false;
    ThreadProcedure procedure = nullptr;
    intptr_t parameter = 0;

    bool hasEnded() {
        std::lock_guard guard(lock);
        return ended;
    }

    void markEnded() {
        {
            std::lock_guard guard(lock);
            ended = true;
        }
        endedSignal.notify_all();
    }
};

struct ThreadEntry {
    std::thread thread;
    std::shared_ptr<ThreadState> state;

    // An ended thread is joined (it is past its procedure, so this is immediate); a running
    // one is abandoned.
    ~ThreadEntry() {
        if (!thread.joinable()) return;
        if (state->hasEnded()) {
            thread.join();
        } else {
            native::AbandonThread(thread);
        }
    }
};

HandleTable<ThreadEntry>& table() {
    // Never destroyed: threads may still consult it while the process exits. Numbers are
    // given once only, for the life of the process.
    static auto* instance =
        new HandleTable<ThreadEntry>(FirstThreadNumber, LastThreadNumber, false);
    return *instance;
}

// Signals the end from the thread's exit, after the destructors of every thread-local object
// made later (such as the thread's settings document, which is written then): a thread
// counts as ended only when nothing of it runs any more.
struct EndSignal {
    std::shared_ptr<ThreadState> state;
    ~EndSignal() {
        if (state != nullptr) state->markEnded();
    }
};

void threadMain(std::shared_ptr<ThreadState> state) {
    thread_local EndSignal endSignal;
    // The thread holds its own reference, so the state outlives a table that forgot it.
    endSignal.state = std::move(state);
    endSignal.state->procedure(endSignal.state->parameter);
}

// The state of a running thread, or none when the number names no running thread.
std::shared_ptr<ThreadState> findRunning(int number) {
    std::shared_ptr<ThreadEntry> entry = table().Find(number);
    if (entry == nullptr || entry->state->hasEnded()) return nullptr;
    return entry->state;
}

}  // namespace

void ThreadTableInit() {
    table();
}

int ThreadStart(ThreadProcedure procedure, intptr_t parameter) {
    if (procedure == nullptr) return 0;
    auto state = std::make_shared<ThreadState>();
    state->procedure = procedure;
    state->parameter = parameter;

    auto entry = std::make_shared<ThreadEntry>();
    entry->state = state;
    try {
        entry->thread = std::thread(threadMain, std::move(state));
    } catch (const std::system_error&) {
        return 0;  // the system has no thread to give
    }
    // The entries of ended threads go as a new one comes in; their destructors join them.
    return table().AddAfterPruning(std::move(entry),
                                   [](ThreadEntry& old) { return old.state->hasEnded(); });
}

int ThreadIsRunning(int number) {
    return findRunning(number) != nullptr ? 1 : 0;
}

int ThreadWait(int number, uint32_t limitMs) {
    std::shared_ptr<ThreadState> state = findRunning(number);
    if (state == nullptr) return 1;
    std::unique_lock guard(state->lock);
    if (limitMs == ThreadWaitInfinite) {
        state->endedSignal.wait(guard, [&] { return state->ended; });
        return 1;
    }
    const bool ended = state->endedSignal.wait_for(guard, std::chrono::milliseconds(limitMs),
                                                   [&] { return state->ended; });
    return ended ? 1 : 0;
}

void ThreadKill(int number) {
    // The entry's destructor joins or abandons the thread once the last reference goes.
    table().Take(number);
}

void ThreadTableFree() {
    table().TakeAll();
}

}  // namespace kv
