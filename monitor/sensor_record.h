// One device found on the bus, as the worker keeps it.
#pragma once
#include <cstdint>

#include "onewire/search.h"

namespace kv {

// Flags bits; a record is faulty while any of them is set.
inline constexpr uint8_t RomCrcError = 1;
inline constexpr uint8_t ScratchpadCrcError = 2;
inline constexpr uint8_t OutOfRange = 4;
inline constexpr uint8_t BusError = 8;
// The last scratchpad was a DS18B20's power-on value (reset after the conversion), not a
// reading; cleared by the next reading.
inline constexpr uint8_t PowerOnReading = 16;

struct SensorRecord {
    RomCode Rom{};
    float Temperature = 0.0f;
    uint8_t Flags = 0;
};

}  // namespace kv
