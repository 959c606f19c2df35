// One device found on the bus, as the worker keeps it.
#pragma once
#include <cstdint>

#include "onewire/search.h"
#include "runtime/date_text.h"

namespace kv {

// Flags bits; a record is faulty while any of them is set.
inline constexpr uint8_t RomCrcError = 1;
inline constexpr uint8_t ScratchpadCrcError = 2;
inline constexpr uint8_t OutOfRange = 4;
inline constexpr uint8_t BusError = 8;
// The last scratchpad was the part's power-on value, not a measurement; cleared by the next
// reading.
inline constexpr uint8_t PowerOnReading = 16;
// A search no longer found the device, which had answered before; cleared when it answers.
inline constexpr uint8_t NotAnswering = 32;

struct SensorRecord {
    RomCode Rom{};
    float Temperature = 0.0f;
    uint8_t Flags = 0;
    bool Answered = false;  // it has sent a sound scratchpad since it was found
    DateValue NotAnsweringSince = InvalidDate;
};

}  // namespace kv
