// Reads the event log back for the chart after a restart: the readings of the last day, and
// the log before them at a glance.
// Only complete lines count (the worker may be writing the next one); a line that is not a
// reading record, or records a reading no thermometer can give, is skipped and counted.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "chart/log_overview.h"
#include "chart/reading_history.h"
#include "monitor/log_line.h"
#include "onewire/search.h"
#include "runtime/local_zone.h"

namespace kv {

struct LogLoad {
    bool opened = false;
    int64_t records = 0;                                     // reading records taken
    int64_t skipped = 0;                                     // malformed and unsound lines
    std::map<RomCode, std::vector<LoadedReading>> readings;  // per sensor, in log order
    LogOverview older;                                       // what came before `sinceMs`
};

// Reads the log's complete lines as far as the file reaches when it is opened, and keeps
// the readings stamped from `sinceMs` up to `untilMs` (milliseconds since 1970 UTC), those
// before `sinceMs` at a glance. The
// stamps are local time: in the hour a change back from summer time repeats, a stamp is
// taken as the earlier instant unless the log has already gone past it. Stops early, with
// what it has, when `stop` becomes true.
LogLoad LoadLog(std::u16string_view path, int64_t sinceMs, int64_t untilMs, const LocalZone& zone,
                const std::atomic<bool>& stop);

}  // namespace kv
