// The checks an inspected thermometer is held against, one for each thing the inspection can
// see, each judged for every published origin of the part's family
// (onewire/thermometer_origins.h). A check that the inspection could not make, or whose
// outcome its measuring error leaves open, says why and what would let it be made.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "onewire/thermometer_inspection.h"
#include "onewire/thermometer_origins.h"

namespace kv::probe {

// What an origin's published facts make of what was seen.
enum class Fit : int32_t {
    NotObserved,   // not seen, or seen but not telling for this origin
    NotPublished,  // the origin's published facts say nothing about it
    Fits,
    RulesOut,
};

enum class Check : int32_t {
    Rom,             // the pattern of the ROM code
    Found,           // the scratchpad as found (after power-up, the power-up scratchpad)
    Write,           // what Write Scratchpad does to bytes 5 to 7
    Eeprom,          // Recall E2 after the alarm bytes were overwritten
    Converted,       // bytes 5 to 7 after a conversion at full resolution
    Resolution,      // the lowest resolution taken: read back and, timed, converting quicker
    ConversionTime,  // at full resolution, polled
    Busy,            // the read slot right after Convert T
    Parasite,        // a conversion on parasite power
};

// What would let a check be made that the answer lacks.
enum class Remedy : int32_t {
    None,
    RunAgain,
    LowerLatency,
    RoomTemperature,
    OwnSupply,
};

struct CheckOutcome {
    Check check;
    bool applies = true;    // the part's family and supply allow the check
    std::string seen;       // what the inspection saw, in words
    std::vector<Fit> fits;  // one for each origin of the family, genuine first
    std::string unseen;     // why it tells nothing about a genuine part, when it does not
    Remedy remedy = Remedy::None;
};

// Every check for the origins of the part's family, in the order of the enumeration.
std::vector<CheckOutcome> HoldAgainstOrigins(const ThermometerInspection& seen,
                                             std::span<const ThermometerOrigin> origins);

// The resolution the part read back after the lowest one was written; empty when that was
// not tried.
std::optional<int> ReducedResolutionReadBack(const ThermometerInspection& seen);
// The first scratchpad holds a power-up value of one of the family's origins.
bool FirstIsPowerUp(const ThermometerInspection& seen);
// "598 to 601 ms", "up to 12 ms", "cut short", ...
std::string ConversionTimeText(const ConversionTime& time);
// Two hexadecimal digits a byte.
std::string HexBytes(const uint8_t* bytes, size_t count, const char* separator);

}  // namespace kv::probe
