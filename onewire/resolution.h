// Choosing a thermometer's resolution on the bus.
#pragma once
#include <cstdint>

#include "onewire/rom_code.h"

namespace kv {

// Gives the thermometer the resolution (9 to 12 bits) in its scratchpad, keeping its TH and
// TL, and checks that it took it; with `save` also into its EEPROM, which a power-on reads
// back. 0 with the thread's result code when it failed, or BadArgument for a family whose
// resolution cannot be chosen.
int OneWireSetResolution(const RomCode& rom, int bits, bool save, int32_t port);

}  // namespace kv
