// A search of the bus taken one pass (one ROM code) at a time, so that a search nobody asked
// for can be spread between measuring passes and resumed where it stopped. The walk keeps
// its own search state, so readings, conversions and other searches may use the bus between
// two steps. It has the guards of the one-go enumeration (a repeated code, the all-zero code
// of a held line, the device limit, failed passes repeated from where they started) and ends
// the same ways.
//
// Devices that come and go between two steps: one that arrives on a part of the tree the
// walk has passed is found by the next walk, one ahead of it by this one; one that leaves
// before the walk reaches it is not listed; when every device on the walk's path has left,
// the next pass walks the path again from the bit where they left it and follows those that
// are there, and one that leaves during a pass spoils that pass, which is repeated. So a walk
// that ends Complete lists every device that stayed on the bus while it ran, and may list
// some that came or went meanwhile.
//
// Given the codes a previous search found, every pass is first tried as one block that
// expects the next of them (OneWireSearchNext with the list): on a bus that has not changed, a
// pass is then two round trips instead of one per bit after the previous pass's last
// discrepancy.
#pragma once
#include <cstdint>
#include <vector>

#include "onewire/enumeration.h"
#include "onewire/rom_code.h"
#include "onewire/search_state.h"

namespace kv {

struct SearchWalk {
    Enumeration found;  // the codes so far; once done, how it ended and the code that ended it
    bool done = true;
    // The walk's own state: its options, the search state between its passes and the state a
    // failed pass is repeated from.
    std::vector<RomCode> expected;
    int32_t limit = EnumerationDeviceLimit;
    int32_t passRetries = 0;
    int32_t retriesLeft = 0;
    bool repeating = false;  // the next step repeats a failed pass
    SearchState search;
    SearchState passStart;
};

// Starts a walk (a walk under way is dropped). `expected`: the codes the bus is thought to
// hold, empty when nothing is known. Only the limit and the pass retries of the options count.
void OneWireWalkBegin(SearchWalk& walk, std::vector<RomCode> expected,
                      const EnumerationOptions& options = {});

// One pass of the walk on the port: 1 while the walk goes on, 0 once it has ended (done; the
// calling thread's result code is then the one that ended it).
int OneWireWalkStep(SearchWalk& walk, int32_t port);
// Whether the walk's next step is a pass expected to be one block (see above).
bool OneWireWalkExpectsNext(const SearchWalk& walk);

}  // namespace kv
