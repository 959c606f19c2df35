#include "onewire/scratchpad_check.h"

#include <algorithm>

#include "onewire/enumerate.h"

namespace kv {

namespace {

// A DS18B20 starts with 0x0550 (85.0 °C) in its temperature register and 0x0C in byte 6.
// After a conversion byte 6 holds 0x10 minus the register's sixteenths, so a measured
// 85.0 °C (sixteenths 0) has 0x10 there: the two can be told apart.
constexpr uint8_t PowerOnLow = 0x50;
constexpr uint8_t PowerOnHigh = 0x05;
constexpr uint8_t PowerOnCountRemain = 0x0C;
constexpr size_t CountRemainByte = 6;

}  // namespace

ScratchpadVerdict JudgeScratchpad(const Scratchpad& pad, uint8_t family) {
    if (!ScratchpadCrcOk(pad.data()) || OneWireReadsAsLineHeldLow(pad))
        return ScratchpadVerdict::Spoiled;
    // A DS18S20 can hold the same count after a genuine 85.0 °C; only the DS18B20's
    // power-on value can be told from a reading.
    if (family == FamilyDs18b20 && pad[0] == PowerOnLow && pad[1] == PowerOnHigh &&
        pad[CountRemainByte] == PowerOnCountRemain)
        return ScratchpadVerdict::PowerOn;
    return ScratchpadVerdict::Reading;
}

bool ScratchpadUnanswered(const Scratchpad& pad) {
    return std::all_of(pad.begin(), pad.end(), [](uint8_t b) { return b == 0xFF; });
}

}  // namespace kv
