#include <windows.h>

#include "runtime/clock.h"

namespace kv::native {

// The tick count goes on while the machine sleeps or hibernates.
int64_t SuspendCountingMilliseconds() {
    return static_cast<int64_t>(GetTickCount64());
}

}  // namespace kv::native
