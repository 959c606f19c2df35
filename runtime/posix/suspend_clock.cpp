#include <time.h>

#include "runtime/clock.h"

namespace kv::native {

int64_t SuspendCountingMilliseconds() {
#ifdef CLOCK_BOOTTIME
    constexpr clockid_t Clock = CLOCK_BOOTTIME;
#else
    constexpr clockid_t Clock = CLOCK_MONOTONIC;  // stops while suspended: the best there is
#endif
    timespec now{};
    clock_gettime(Clock, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace kv::native
