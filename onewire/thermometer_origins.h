// Where a thermometer comes from, as published tests of genuine parts and of clone families
// found them: one row per origin, saying only what was published. The origin check holds an
// inspected part against these rows, and the simulator builds its parts of each origin from
// them. A fact no test published is left out (nullopt, NotPublished): it is neither held
// against a part nor for it.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "onewire/rom_code.h"
#include "onewire/scratchpad.h"

namespace kv {

// Scratchpad byte 6 (COUNT_REMAIN) through power-up, writes and conversions.
enum class CountRemain : uint8_t {
    Sixteenths,        // 0x10 minus the register's sixteenths after a conversion
    SixteenthsPlus16,  // 0x20 minus the register's sixteenths after a conversion
    Stays0C,           // 0x0C whatever happens
    LastWritten,       // the third byte of the last Write Scratchpad; conversions keep it
    AlwaysFF,
    NeverC,           // some value other than 0x0C
    HalfDegreeCount,  // DS18S20: the count behind the half degree, 1 to 0x10
};

// Scratchpad bytes 5 and 7.
enum class ByteRule : uint8_t { Is, IsNot, Any };
struct ReservedByte {
    ByteRule rule;
    uint8_t value;  // what the rule compares with
    uint8_t shown;  // the byte in the published scratchpads
};

// How the conversion time follows the resolution, for each bit less.
enum class ResolutionScaling : uint8_t { NotPublished, Halves, SqrtTwo, Flat };

// What the part answers read slots with right after Convert T.
enum class BusySignal : uint8_t { NotPublished, AtOnce, Late, None };

// The ROM code's bytes counted with the family code as byte 0.
struct RomByte {
    uint8_t index;
    uint8_t value;
};
struct RomPattern {
    std::array<RomByte, 3> bytes;
    uint8_t count;
};
enum class RomRule : uint8_t {
    NotPublished,
    Required,  // every part of the origin follows one of its patterns
    Habit,     // its parts tend to follow its patterns, and none follows the genuine one
};

struct ConversionSpan {
    int32_t minMs;
    int32_t maxMs;
};

struct ThermometerOrigin {
    uint8_t familyCode;
    const char* name;  // "genuine", or the clone family: "A2", "B1", ...
    bool genuine;
    RomRule romRule;
    std::span<const RomPattern> romPatterns;
    std::optional<int16_t> powerOnRaw;  // the temperature register at power-up
    ReservedByte byte5;
    ReservedByte byte7;
    CountRemain byte6;
    uint8_t byte6PowerOn;
    std::optional<bool> writeKeepsReserved;  // Write Scratchpad leaves bytes 5 to 7 alone
    std::optional<bool> recallsEeprom;       // Recall E2 brings back what was stored
    std::optional<bool> resolutionTaken;     // the configuration byte sets the resolution
    ResolutionScaling scaling;
    // 12 bits, polled; measured at room temperature unless it is a datasheet's limit.
    std::optional<ConversionSpan> conversionMs;
    bool spanAtAnyTemperature;
    BusySignal busy;
    std::optional<bool> parasitePower;  // converts on parasite power
};

// The origins published for a family code, the genuine part first; empty for other families.
std::span<const ThermometerOrigin> ThermometerOrigins(uint8_t familyCode);
// By name, letter case aside; nullptr when there is none.
const ThermometerOrigin* FindThermometerOrigin(uint8_t familyCode, std::string_view name);
bool RomFitsPattern(const RomPattern& pattern, const RomCode& rom);
// One of the origin's patterns fits (false when it has none).
bool RomFitsOrigin(const ThermometerOrigin& origin, const RomCode& rom);

}  // namespace kv
