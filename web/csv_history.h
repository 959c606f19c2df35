// The readings the logger wrote earlier as CSV records (--format csv), read back at start so
// that the live page's chart begins with the last day. Only sound readings (state ok, with
// a temperature) count; a line that is not such a record is skipped.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "chart/reading_history.h"

namespace kv::web {

// Only the end of a larger file is read: a day of readings of many sensors every second.
inline constexpr int64_t MaxCsvReadBytes = 512LL * 1024 * 1024;

struct CsvLoad {
    bool opened = false;
    int64_t records = 0;  // readings kept
    int64_t skipped = 0;  // lines that are no sound reading (the header among them)
    std::map<RomCode, std::vector<LoadedReading>> readings;  // per sensor, in file order
};

// One CSV record: false for a line that is no sound reading.
bool ParseCsvReading(std::string_view line, RomCode& rom, LoadedReading& reading);

// The readings of the file at `path` stamped from `sinceMs` to `untilMs`.
CsvLoad LoadCsvHistory(const std::string& path, int64_t sinceMs, int64_t untilMs);

}  // namespace kv::web
