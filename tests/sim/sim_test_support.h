// Shared pieces of the simulated-bus tests.
#pragma once
#include <cstddef>
#include <vector>

#include "onewire/search.h"
#include "sim/sim_bus.h"

namespace kv::test {

// The order in which the ROM search delivers codes: ascending as bit strings read from
// bit 1 (the least significant bit of the family byte) on.
std::vector<RomCode> InSearchOrder(std::vector<RomCode> codes);

// The program's bounded enumeration; lastResult gets the code that ended it. Stops after
// limit codes so that a broken search cannot run away in a test.
std::vector<RomCode> Enumerate(int32_t port, int32_t& lastResult, int limit = 300);

// One reset on a recorded wire and what the master sent after it, read back into commands.
struct WireTransaction {
    int romCommand = -1;    // -1: fewer than eight slots followed
    RomCode rom{};          // the code after Match ROM
    int function = -1;      // the command after Match ROM or Skip ROM; -1: none
    size_t slotsAfter = 0;  // slots after the function command: its data, answers and polls
};
std::vector<WireTransaction> WireTransactions(const std::vector<SimBus::WireByte>& wire);

}  // namespace kv::test
