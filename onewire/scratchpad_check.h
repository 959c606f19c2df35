// What a scratchpad read from a thermometer is: a reading, something spoiled, or the
// power-on value of a DS18B20 that lost its supply after the Convert T.
#pragma once
#include <array>
#include <cstdint>

#include "onewire/ds18x20.h"

namespace kv {

using Scratchpad = std::array<uint8_t, ScratchpadSize>;

enum class ScratchpadVerdict {
    Reading,  // passes its CRC and is a measured temperature
    Spoiled,  // fails its CRC, or is the nine zero bytes of a line held low
    PowerOn,  // a DS18B20 at power-on: 85.0 °C with COUNT_REMAIN 0x0C
};

ScratchpadVerdict JudgeScratchpad(const Scratchpad& pad, uint8_t family);

// Nine 0xFF bytes: nobody drove the line, the addressed device did not answer.
bool ScratchpadUnanswered(const Scratchpad& pad);

}  // namespace kv
