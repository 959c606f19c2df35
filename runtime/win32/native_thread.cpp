#include "runtime/native_thread.h"

#include <pthread.h>
#include <windows.h>

// Windows can end a thread by force. What the thread held (a lock, a port, a buffer) is not
// released, which is why this is only the last step of a shutdown.

namespace kv::native {

namespace {
constexpr DWORD ForcedExitCode = 0;
}

void AbandonThread(std::thread& thread) {
    if (!thread.joinable()) return;
    HANDLE handle = pthread_gethandle(thread.native_handle());
    if (handle != nullptr) TerminateThread(handle, ForcedExitCode);
    thread.detach();
}

}  // namespace kv::native
