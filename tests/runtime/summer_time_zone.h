// A zone with summer time for tests that must not depend on the machine's: UTC+1, and UTC+2
// from 2026-03-29 01:00 UTC (local 02:00 becomes 03:00) to 2026-10-25 01:00 UTC (local 03:00
// becomes 02:00 again), as in central Europe.
#pragma once
#include <cstdint>

#include "runtime/date_text.h"
#include "runtime/local_zone.h"

namespace kv::test {

inline int64_t Utc(int year, int month, int day, int hour, int minute, int second = 0) {
    return MakeDate(year, month, day, hour, minute, second);  // calendar seconds = UTC
}

inline LocalZone SummerTimeZone() {
    return LocalZone([](int64_t instant, int32_t& offset) {
        const bool summer = instant >= Utc(2026, 3, 29, 1, 0) && instant < Utc(2026, 10, 25, 1, 0);
        offset = summer ? 7200 : 3600;
        return true;
    });
}

}  // namespace kv::test
