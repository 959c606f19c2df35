// Where a ROM search stands between two passes. Each pass follows the path of the one
// before it up to that pass's last discrepancy and turns the other way there, so the state
// is that path and the bit where it branched last. A search keeps one such value; the
// calling thread's record holds the one OneWireSearchNext uses (onewire/result.h).
#pragma once
#include <cstdint>

#include "onewire/rom_code.h"

namespace kv {

struct SearchState {
    // The bit (1 to 64) where the previous pass last took 0 at a discrepancy; 0 for none.
    int32_t lastDiscrepancy = 0;
    uint8_t lastDeviceFlag = 0;  // nonzero once a pass delivered the last device
    RomCode romCode{};           // the previous pass's code: the path the next one follows
};

}  // namespace kv
