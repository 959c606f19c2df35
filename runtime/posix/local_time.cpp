#include <ctime>

#include "runtime/local_time.h"

namespace kv::native {

bool ReadLocalWallClock(WallClock& clock) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) return false;
    clock.year = local.tm_year + 1900;
    clock.month = local.tm_mon + 1;
    clock.day = local.tm_mday;
    clock.hour = local.tm_hour;
    clock.minute = local.tm_min;
    clock.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return true;
}

bool UtcOffsetAt(int64_t instant, int32_t& offsetSeconds) {
    const auto at = static_cast<std::time_t>(instant);
    if (static_cast<int64_t>(at) != instant) return false;
    std::tm local{};
    if (::localtime_r(&at, &local) == nullptr) return false;
    offsetSeconds = static_cast<int32_t>(local.tm_gmtoff);
    return true;
}

}  // namespace kv::native
