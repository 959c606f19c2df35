// The local wall clock as the calendar fields the user sees, one implementation per
// platform (runtime/posix/, runtime/win32/).
#pragma once
#include <cstdint>

namespace kv::native {

struct WallClock {
    int32_t year = 0;   // with century
    int32_t month = 0;  // 1-12
    int32_t day = 0;    // 1-31
    int32_t hour = 0;   // 0-23
    int32_t minute = 0;
    int32_t second = 0;  // 0-59: a leap second reads as the last second of its minute
};

bool ReadLocalWallClock(WallClock& clock);  // false when the system cannot tell

// How far the local wall clock is ahead of UTC at an instant (seconds since 1970-01-01
// 00:00:00 UTC), summer time included; false when the system cannot tell.
bool UtcOffsetAt(int64_t instant, int32_t& offsetSeconds);

}  // namespace kv::native
