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

}  // namespace kv::native
