// The search of a bus that somebody asked for (a port opened, a bus that answers again):
// an enumeration that the line spoiled is made again at once a few times, and the attempt
// that got furthest is kept. The window's worker and the headless probe search so.
#pragma once
#include <cstdint>
#include <functional>

#include "onewire/enumerate.h"

namespace kv {

// An enumeration spoiled by the line is tried again this many times at once; after that the
// caller searches again later, until a search ends cleanly.
inline constexpr int32_t SearchAttempts = 3;

// Whether an end leaves a list that must be searched again soon (noise, a device that left
// in the middle): not an empty bus, a complete list, a held line or a cut-short search.
bool SearchWorthRepeating(EnumerationEnd end);

// Enumerates the port with the pass retries a real line needs, repeating a spoiled
// enumeration; `keepGoing` (may be empty) is asked before every pass after the first and
// before every new attempt. The best attempt's codes in search order and how it ended.
Enumeration OneWireFindDevices(int32_t port, const std::function<bool()>& keepGoing);

}  // namespace kv
