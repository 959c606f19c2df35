#include "session/session_statistics.h"

namespace kv {

void SessionStatistics::reset() {
    passEnds = 0;
    readings = 0;
    okReadings = 0;
    crcErrors = 0;
    powerOnValues = 0;
    readFailures = 0;
    retries = 0;
    confirmations = 0;
    reconversions = 0;
    busFailures = 0;
    searches = 0;
    spoiledSearches = 0;
    searchMicroseconds = 0;
    deviceCount = 0;
}

}  // namespace kv
