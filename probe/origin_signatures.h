// What published tests of over a thousand probes found genuine DS18B20 and DS18S20 parts and
// the DS18B20 clone families to do, as data to hold an inspected part against. Each entry
// says only what was published; a check it has nothing for is not held against it.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "onewire/ds18x20.h"
#include "onewire/search.h"
#include "onewire/thermometer_family.h"

namespace kv::probe {

// What a rule makes of what was seen.
enum class Fit : int32_t {
    NotObserved,   // the inspection could not see it (or saw nothing telling)
    NotPublished,  // the origin's published figures say nothing about it
    Fits,
    RulesOut,
};

struct Span {
    int32_t minMs;
    int32_t maxMs;
};

struct OriginSignature {
    uint8_t familyCode;
    const char* name;  // "genuine", or the clone family: "B1", "B2", "C", "D1", "D2", "A2"
    bool genuine;
    // The pattern of its ROM codes; nullptr with `irregularRom`: fits when no other origin's
    // pattern of the family does; nullptr without it: none published.
    bool (*rom)(const RomCode& rom);
    bool irregularRom;
    // The scratchpad right after power-on, before any conversion; nullptr: not published.
    bool (*powerUp)(const ThermometerFamily& family, const Scratchpad& pad);
    // The scratchpad after a conversion at full resolution; nullptr: not published.
    Fit (*converted)(const Scratchpad& pad);
    std::optional<Span> conversion;  // at full resolution, polled
    std::optional<bool> resolutionHonoured;
    std::optional<bool> parasitePower;  // works on parasite power
};

// The origins published for a family code, the genuine part first; empty for other families.
std::vector<const OriginSignature*> OriginSignatures(uint8_t familyCode);

}  // namespace kv::probe
