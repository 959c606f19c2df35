// What ending a thread by force means on each platform (runtime/posix/, runtime/win32/).
#pragma once
#include <thread>

namespace kv::native {

// Ends a thread that is still running and releases it. Where a thread cannot be ended
// safely (POSIX: a cancelled thread leaves locks held and objects half destroyed) it is let
// go instead, and the process exit that follows ends it.
void AbandonThread(std::thread& thread);

}  // namespace kv::native
