// One device found on the bus, as a bus session keeps it for both front ends.
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
// The flags that tell what the last reading of a record was.
inline constexpr uint8_t ReadingFlags = ScratchpadCrcError | BusError | PowerOnReading;

struct SensorRecord {
    RomCode Rom{};
    float Temperature = 0.0f;
    uint8_t Flags = 0;
    bool Answered = false;  // it has sent a sound scratchpad since it was found
    DateValue NotAnsweringSince = InvalidDate;
    // How the device said it is powered, once asked cleanly; kept while it stays listed, so a
    // list rebuilt after a search asks only the newcomers.
    enum class Supply : uint8_t { NotAsked, External, Parasite } Power = Supply::NotAsked;
    // The resolution the session gave a thermometer that takes one (9 to 12 bits); 0 while
    // none was given, and the conversion is then waited for as the longest.
    int8_t Resolution = 0;
};

}  // namespace kv
