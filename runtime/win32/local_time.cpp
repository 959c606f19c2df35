#include <windows.h>

#include "runtime/local_time.h"

namespace kv::native {

bool ReadLocalWallClock(WallClock& clock) {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    clock.year = local.wYear;
    clock.month = local.wMonth;
    clock.day = local.wDay;
    clock.hour = local.wHour;
    clock.minute = local.wMinute;
    clock.second = local.wSecond > 59 ? 59 : local.wSecond;
    return true;
}

namespace {

// FILETIME counts 100 ns from 1601-01-01; instants count seconds from 1970-01-01.
constexpr int64_t TicksPerSecond = 10'000'000;
constexpr int64_t SecondsFrom1601To1970 = 11'644'473'600;

int64_t Ticks(const FILETIME& time) {
    return (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

bool UtcOffsetAt(int64_t instant, int32_t& offsetSeconds) {
    const int64_t ticks = (instant + SecondsFrom1601To1970) * TicksPerSecond;
    if (ticks < 0) return false;
    FILETIME utcTime{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{}, local{};
    FILETIME localTime{};
    // The zone's rules for the year of the instant, summer time included.
    if (!FileTimeToSystemTime(&utcTime, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
        !SystemTimeToFileTime(&local, &localTime))
        return false;
    offsetSeconds = static_cast<int32_t>((Ticks(localTime) - ticks) / TicksPerSecond);
    return true;
}

}  // namespace kv::native
