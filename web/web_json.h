// The live page's API, version 1, as JSON texts: the table (/api/v1/sensors), the readings
// of a time span thinned to what a screen can show (/api/v1/history), and the event a pass
// sends to the open pages. Every text of the user's (names, the port) is a JSON string; the
// page puts them into the document as text, never as markup.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "web/web_model.h"

namespace kv::web {

inline constexpr int ApiVersion = 1;
// A line of the chart holds at most this many points: two per column of a wide screen.
inline constexpr size_t MaxLinePoints = 2'000;
inline constexpr int ThinColumns = static_cast<int>(MaxLinePoints / 2);
// The span the page shows, and how far back a history request may reach.
inline constexpr int64_t PageSpanMs = 24 * 60 * 60 * 1000LL;

std::string SensorsJson(const WebModel& model, int64_t nowMs);
// The sound readings of one sensor (or of all, without `rom`) from `sinceMs` to `nowMs`,
// each line as [ms, celsius] pairs, a gap as [ms, null]. A line with more readings than
// MaxLinePoints is thinned as the window's chart thins: the smallest and the largest reading
// of every column of time, in the order they came.
std::string HistoryJson(const WebModel& model, std::optional<RomCode> rom, int64_t sinceMs,
                        int64_t nowMs);
// What a pass tells the open pages: the table and the new sound readings.
std::string PassEventJson(const WebModel& model, int64_t nowMs);

}  // namespace kv::web
