// Numbered worker threads: start, test, wait with a limit, end by force.
#pragma once
#include <cstdint>

namespace kv {

using ThreadProcedure = int (*)(intptr_t parameter);
inline constexpr uint32_t ThreadWaitInfinite = 0xFFFFFFFFu;

void ThreadTableInit();
int ThreadStart(ThreadProcedure procedure, intptr_t parameter);  // number from 1, or 0
int ThreadIsRunning(int number);
int ThreadWait(int number, uint32_t limitMs);  // 1 ended (or unknown), 0 limit ran out
// Ends a running thread by force and forgets its number, so it reads as ended. Where a thread
// cannot be ended safely (POSIX) it is let go instead; the process exit that follows ends it.
void ThreadKill(int number);
void ThreadTableFree();

}  // namespace kv
