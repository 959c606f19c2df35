// Shared pieces of the simulated-bus tests.
#pragma once
#include <vector>

#include "onewire/search.h"

namespace kv::test {

// The order in which the ROM search delivers codes: ascending as bit strings read from
// bit 1 (the least significant bit of the family byte) on.
std::vector<RomCode> InSearchOrder(std::vector<RomCode> codes);

// The program's bounded enumeration; lastResult gets the code that ended it. Stops after
// limit codes so that a broken search cannot run away in a test.
std::vector<RomCode> Enumerate(int32_t port, int32_t& lastResult, int limit = 300);

}  // namespace kv::test
