#include "runtime/threads.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

// POSIX threads cannot be terminated safely: a cancelled or killed thread would leave locks
// held and C++ objects half destroyed. The forced end is only ever used as the last step of
// shutdown, right before the process exits, so ThreadKill detaches a thread that is still
// running and forgets its number: from then on the number reads as ended, and the process
// exit ends the thread itself.
//
// The requested 4096-byte stack is below what Linux accepts for a thread (PTHREAD_STACK_MIN),
// so threads get the system's default stack.

namespace kv {
namespace {

// Shared between the table and the running thread, so either may go first.
struct ThreadState {
    std::mutex lock;
    std::condition_variable endedSignal;
    bool ended = false;
    ThreadProcedure procedure = nullptr;
    intptr_t parameter = 0;
};

struct ThreadEntry {
    pthread_t handle;
    int number;
    std::shared_ptr<ThreadState> state;
};

struct ThreadTable {
    std::mutex lock;  // ThreadTableLock
    std::vector<ThreadEntry> entries;
    int nextNumber = 1;  // for the life of the process: numbers are never given twice
};

ThreadTable& table() {
    // Never destroyed: threads may still consult it while the process exits.
    static ThreadTable* instance = new ThreadTable;
    return *instance;
}

bool hasEnded(ThreadState& state) {
    std::lock_guard guard(state.lock);
    return state.ended;
}

void markEnded(ThreadState& state) {
    {
        std::lock_guard guard(state.lock);
        state.ended = true;
    }
    state.endedSignal.notify_all();
}

// Signals the end from the thread's exit, after the destructors of every thread-local object
// made later (such as the thread's settings document, which is written then): a thread
// counts as ended only when nothing of it runs any more.
struct EndSignal {
    std::shared_ptr<ThreadState> state;
    ~EndSignal() {
        if (state != nullptr) markEnded(*state);
    }
};

void* threadMain(void* raw) {
    // The thread holds its own reference, so the state outlives a table that forgot it.
    thread_local EndSignal endSignal;
    endSignal.state = std::move(*static_cast<std::shared_ptr<ThreadState>*>(raw));
    delete static_cast<std::shared_ptr<ThreadState>*>(raw);
    endSignal.state->procedure(endSignal.state->parameter);
    return nullptr;
}

// Releases an entry's handle: an ended thread is joined (it is past its procedure, so this
// is immediate); a running one is let go.
void releaseHandle(ThreadEntry& entry) {
    if (hasEnded(*entry.state)) {
        pthread_join(entry.handle, nullptr);
    } else {
        pthread_detach(entry.handle);
    }
}

// The state of a running thread, or none when the number names no running thread.
std::shared_ptr<ThreadState> findRunning(int number) {
    ThreadTable& t = table();
    std::lock_guard guard(t.lock);
    for (ThreadEntry& entry : t.entries) {
        if (entry.number == number) {
            if (hasEnded(*entry.state)) return nullptr;
            return entry.state;
        }
    }
    return nullptr;
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

    auto* handoff = new std::shared_ptr<ThreadState>(state);
    pthread_t handle;
    if (pthread_create(&handle, nullptr, threadMain, handoff) != 0) {
        delete handoff;
        return 0;
    }

    ThreadTable& t = table();
    std::lock_guard guard(t.lock);
    std::erase_if(t.entries, [](ThreadEntry& entry) {
        if (!hasEnded(*entry.state)) return false;
        releaseHandle(entry);
        return true;
    });
    const int number = t.nextNumber++;
    t.entries.push_back(ThreadEntry{handle, number, std::move(state)});
    return number;
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
    ThreadTable& t = table();
    std::lock_guard guard(t.lock);
    for (auto it = t.entries.begin(); it != t.entries.end(); ++it) {
        if (it->number == number) {
            releaseHandle(*it);
            t.entries.erase(it);
            return;
        }
    }
}

void ThreadTableFree() {
    ThreadTable& t = table();
    std::lock_guard guard(t.lock);
    for (ThreadEntry& entry : t.entries) releaseHandle(entry);
    t.entries.clear();
}

}  // namespace kv
