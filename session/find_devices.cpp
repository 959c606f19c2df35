#include "session/find_devices.h"

namespace kv {

bool SearchWorthRepeating(EnumerationEnd end) {
    return end == EnumerationEnd::BusError || end == EnumerationEnd::RepeatedCode;
}

Enumeration OneWireFindDevices(int32_t port, const std::function<bool()>& keepGoing) {
    EnumerationOptions options;
    options.passRetries = EnumerationPassRetries;
    options.keepGoing = keepGoing;
    Enumeration best;
    for (int32_t attempt = 0; attempt < SearchAttempts; ++attempt) {
        if (attempt > 0 && keepGoing && !keepGoing()) break;
        Enumeration found = OneWireEnumerate(port, options);
        const bool whole = EnumerationIsWhole(found);
        if (attempt == 0 || whole || found.codes.size() > best.codes.size())
            best = std::move(found);
        if (whole || !SearchWorthRepeating(best.end)) break;
    }
    return best;
}

}  // namespace kv
