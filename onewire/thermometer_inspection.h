// A close look at one thermometer that leaves it as it was found: its scratchpad before
// anything is done to it and after a conversion, the bytes its EEPROM holds, how long it
// converts at full and at the lowest resolution, and whether it takes a resolution at all.
// The part gets Read Power Supply, Read Scratchpad, Recall E2, Write Scratchpad of its
// writable bytes and Convert T, nothing else: its EEPROM is never written. The writable
// bytes (TH, TL, configuration) are written back as they were found and read to check.
// What the observations say about the part is for the caller to judge.
#pragma once
#include <cstdint>
#include <optional>

#include "onewire/conversion_time.h"
#include "onewire/ds18x20.h"
#include "onewire/measuring.h"
#include "onewire/search.h"

namespace kv {

struct ThermometerInspection {
    RomCode rom{};
    int32_t result = 0;     // the 1-Wire code of a failure that cut the look short; 0 when none did
    bool cutShort = false;  // the caller's wait said stop
    std::optional<bool> external;  // Read Power Supply: true with its own supply, false parasite

    std::optional<Scratchpad> first;      // as found, before any command that changes it
    std::optional<Scratchpad> stored;     // after Recall E2: TH, TL, configuration of the EEPROM
    std::optional<Scratchpad> converted;  // after a conversion at full resolution
    // Polled conversion times, for a part with its own supply only.
    std::optional<ConversionTime> fullTime;
    // Parts with a settable resolution: the lowest one written, the scratchpad after it (and
    // after a conversion at it, for a part with its own supply), and that conversion's time.
    int reducedBits = 0;
    std::optional<Scratchpad> reduced;
    std::optional<ConversionTime> reducedTime;

    bool restored = false;  // the writable bytes read back as first found
};

// BadArgument as the result, and nothing seen, for a family that is no thermometer.
ThermometerInspection OneWireInspectThermometer(const RomCode& rom, int32_t port,
                                                const MeasureWait& wait);

}  // namespace kv
