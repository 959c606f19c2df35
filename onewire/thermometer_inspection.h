// A close look at one thermometer that leaves it as it was found: its scratchpad before
// anything is done to it, what a Write Scratchpad and a Recall E2 do to it, how it converts
// at full and at the lowest resolution, and how long that takes. The part gets Read Power
// Supply, Read Scratchpad, Recall E2, Write Scratchpad of its writable bytes and Convert T,
// nothing else: its EEPROM is never written. The writable bytes (TH, TL, configuration) are
// written back as they were found and read to check, also when the look is cut short.
// What the observations say about the part is for the caller to judge.
#pragma once
#include <array>
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

    std::optional<Scratchpad> first;   // as found, before any command that changes it
    std::optional<Scratchpad> stored;  // after Recall E2: TH, TL, configuration of the EEPROM
    // Alarm bytes that neither the scratchpad nor the EEPROM held and, for a DS18B20, a
    // configuration byte other than byte 6, written; the scratchpad after that write and
    // after a second Recall E2.
    std::array<uint8_t, 3> probe{};
    std::optional<Scratchpad> written;
    std::optional<Scratchpad> recalled;
    // After the configuration for full resolution was written and a conversion at it.
    std::optional<Scratchpad> converted;
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
