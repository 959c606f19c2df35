#include "sim/sim_origins.h"

#include "onewire/ds18x20.h"

namespace kv {
namespace {

constexpr int64_t UsPerMs = 1000;
// A part late to signal its conversion starts to within the millisecond that the research's
// test sketch waits for it.
constexpr int64_t LateBusyUs = 400;
// Enough to step out of every other origin's patterns.
constexpr int MaxRomChanges = 64;

int64_t MiddleUs(const ConversionSpan& span) {
    return (int64_t{span.minMs} + span.maxMs) * UsPerMs / 2;
}

// Every byte of the pattern is among the bytes the origin's own first pattern fixes.
bool ImpliedBy(const RomPattern& pattern, const ThermometerOrigin& origin) {
    if (origin.romPatterns.empty()) return false;
    const RomPattern& own = origin.romPatterns.front();
    for (uint8_t i = 0; i < pattern.count; ++i) {
        bool fixed = false;
        for (uint8_t j = 0; j < own.count; ++j)
            fixed = fixed || (own.bytes[j].index == pattern.bytes[i].index &&
                              own.bytes[j].value == pattern.bytes[i].value);
        if (!fixed) return false;
    }
    return true;
}

bool FixedByOwn(const ThermometerOrigin& origin, uint8_t index) {
    if (origin.romPatterns.empty()) return false;
    const RomPattern& own = origin.romPatterns.front();
    for (uint8_t j = 0; j < own.count; ++j)
        if (own.bytes[j].index == index) return true;
    return false;
}

// A pattern of another origin that the code fits and that the origin's own does not imply.
const RomPattern* Conflict(const ThermometerOrigin& origin, const RomCode& rom) {
    for (const ThermometerOrigin& other : ThermometerOrigins(origin.familyCode)) {
        if (&other == &origin) continue;
        for (const RomPattern& pattern : other.romPatterns)
            if (RomFitsPattern(pattern, rom) && !ImpliedBy(pattern, origin)) return &pattern;
    }
    return nullptr;
}

}  // namespace

SimPart SimOriginPart(const ThermometerOrigin& origin) {
    const ThermometerOrigin& genuine = ThermometerOrigins(origin.familyCode).front();
    SimPart part;
    part.conversionUs = MiddleUs(origin.conversionMs.value_or(*genuine.conversionMs));
    if (origin.scaling != ResolutionScaling::NotPublished) part.scaling = origin.scaling;
    if (origin.busy != BusySignal::NotPublished) part.busy = origin.busy;
    if (part.busy == BusySignal::Late) part.busyDelayUs = LateBusyUs;
    part.resolutionHonoured = origin.resolutionTaken.value_or(true);
    part.parasiteCapable = origin.parasitePower.value_or(true);
    part.hasEeprom = origin.recallsEeprom.value_or(true);
    part.writeFault = !origin.writeKeepsReserved.value_or(true);
    part.powerOnRaw = origin.powerOnRaw;
    part.byte6 = origin.byte6;
    part.byte6PowerOn = origin.byte6PowerOn;
    part.byte5 = origin.byte5.shown;
    part.byte7 = origin.byte7.shown;
    return part;
}

const ThermometerOrigin* SimFindOrigin(std::string_view name) {
    return FindThermometerOrigin(FamilyDs18b20, name);
}

RomCode SimOriginRom(const ThermometerOrigin& origin, uint64_t serial) {
    RomCode rom = SimMakeRom(origin.familyCode, serial);
    if (!origin.romPatterns.empty()) {
        const RomPattern& own = origin.romPatterns.front();
        for (uint8_t i = 0; i < own.count; ++i) rom[own.bytes[i].index] = own.bytes[i].value;
    }
    for (int change = 0; change < MaxRomChanges; ++change) {
        const RomPattern* conflict = Conflict(origin, rom);
        if (!conflict) break;
        for (uint8_t i = 0; i < conflict->count; ++i) {
            const uint8_t index = conflict->bytes[i].index;
            if (FixedByOwn(origin, index)) continue;
            ++rom[index];
            break;
        }
    }
    rom[7] = SimCrc8(rom.data(), 7);
    return rom;
}

}  // namespace kv
