#include "runtime/thread_end.h"

#include <array>
#include <atomic>
#include <mutex>

namespace kv {
namespace {

constexpr size_t MaxActions = 8;

// Trivially destructible, so a thread still ending while the process exits finds it intact.
std::array<std::atomic<ThreadEndAction>, MaxActions> actions{};
std::atomic<size_t> actionCount{0};
std::mutex registerLock;

}  // namespace

bool ThreadEndRegister(ThreadEndAction action) {
    if (action == nullptr) return false;
    std::lock_guard guard(registerLock);
    const size_t count = actionCount.load();
    for (size_t i = 0; i < count; ++i) {
        if (actions[i].load() == action) return true;
    }
    if (count == MaxActions) return false;
    actions[count].store(action);
    actionCount.store(count + 1);
    return true;
}

void ThreadEndRun() {
    const size_t count = actionCount.load();
    for (size_t i = 0; i < count; ++i) {
        if (ThreadEndAction action = actions[i].load()) action();
    }
}

}  // namespace kv
