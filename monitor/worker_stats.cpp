#include "monitor/worker_stats.h"

namespace kv {

MonitorStatistics MonitorStats;

void MonitorStatsReset() {
    MonitorStats.passEnds = 0;
    MonitorStats.readings = 0;
    MonitorStats.okReadings = 0;
    MonitorStats.crcErrors = 0;
    MonitorStats.powerOnValues = 0;
    MonitorStats.readFailures = 0;
    MonitorStats.retries = 0;
    MonitorStats.confirmations = 0;
    MonitorStats.reconversions = 0;
    MonitorStats.busFailures = 0;
    MonitorStats.logRecords = 0;
    MonitorStats.searches = 0;
    MonitorStats.spoiledSearches = 0;
    MonitorStats.deviceCount = 0;
}

}  // namespace kv
