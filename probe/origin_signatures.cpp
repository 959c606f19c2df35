#include "probe/origin_signatures.h"

#include <algorithm>
#include <array>

namespace kv::probe {
namespace {

constexpr size_t Reserved5 = 5;
constexpr uint8_t ReservedValue = 0xFF;
constexpr uint8_t SixteenthsPerDegree = 0x10;
constexpr uint8_t FamilyDByte7 = 0x66;
constexpr uint16_t Raw25Celsius = 0x0190;

Fit Is(bool holds) {
    return holds ? Fit::Fits : Fit::RulesOut;
}

uint16_t Raw(const Scratchpad& pad) {
    return static_cast<uint16_t>(pad[1] << 8 | pad[0]);
}

// --- ROM codes (byte 1 is the first after the family code) ---
bool Bytes5And6Zero(const RomCode& rom) {
    return rom[5] == 0 && rom[6] == 0;
}
bool Byte1AA(const RomCode& rom) {
    return rom[1] == 0xAA;
}
bool Byte1FF(const RomCode& rom) {
    return rom[1] == 0xFF;
}
bool Bytes1And2FF64(const RomCode& rom) {
    return rom[1] == 0xFF && rom[2] == 0x64;
}
bool FamilyDBytes4And5(const RomCode& rom) {
    static constexpr std::array<std::array<uint8_t, 2>, 6> Pairs = {
        {{0x77, 0x91}, {0x79, 0x97}, {0x79, 0xA2}, {0x16, 0xA8}, {0x56, 0xB5}, {0x07, 0xD6}}};
    return std::find(Pairs.begin(), Pairs.end(), std::array<uint8_t, 2>{rom[4], rom[5]}) !=
           Pairs.end();
}

// --- power-up scratchpads ---
bool FamilyPowerOn(const ThermometerFamily& family, const Scratchpad& pad) {
    return HoldsPowerOnValue(family, pad) && pad[ScratchpadCountPerC] == SixteenthsPerDegree;
}
bool FamilyDPowerOn(const ThermometerFamily&, const Scratchpad& pad) {
    return Raw(pad) == Raw25Celsius && pad[ScratchpadCountPerC] == FamilyDByte7;
}

// --- scratchpads after a conversion at full resolution ---
// A genuine DS18B20 counts what its register leaves of a degree down in byte 6.
Fit SixteenthsLeft(const Scratchpad& pad) {
    return Is(pad[Reserved5] == ReservedValue && pad[ScratchpadCountPerC] == SixteenthsPerDegree &&
              pad[ScratchpadCountRemain] == SixteenthsPerDegree - (pad[0] & 0x0F));
}
// Byte 6 keeps its power-on value; telling only where a genuine part would not have it too.
Fit CountRemainStays(const Scratchpad& pad) {
    if (SixteenthsPerDegree - (pad[0] & 0x0F) == PowerOnCountRemain) return Fit::NotObserved;
    return Is(pad[ScratchpadCountRemain] == PowerOnCountRemain);
}
Fit Byte7Is66(const Scratchpad& pad) {
    return Is(pad[ScratchpadCountPerC] == FamilyDByte7);
}
// The DS18S20's datasheet layout: reserved bytes 4 and 5, a count of sixteenths per degree.
Fit HalfDegreeCount(const Scratchpad& pad) {
    return Is(pad[ScratchpadConfig] == ReservedValue && pad[Reserved5] == ReservedValue &&
              pad[ScratchpadCountPerC] == SixteenthsPerDegree && pad[ScratchpadCountRemain] >= 1 &&
              pad[ScratchpadCountRemain] <= SixteenthsPerDegree);
}

constexpr std::optional<bool> Unknown = std::nullopt;

// Conversion spans of the DS18B20 are those measured on real parts at 12 bits (D1's "about
// 11 ms" taken as 8 to 14); the DS18S20's is its datasheet's limit, as no test of its clones
// was published.
const OriginSignature Signatures[] = {
    {FamilyDs18b20, "genuine", true, Bytes5And6Zero, false, FamilyPowerOn, SixteenthsLeft,
     Span{584, 615}, true, true},
    {FamilyDs18b20, "B1", false, Byte1AA, false, nullptr, CountRemainStays, Span{589, 728}, Unknown,
     Unknown},
    {FamilyDs18b20, "B2", false, Byte1FF, false, nullptr, nullptr, Span{587, 697}, Unknown,
     Unknown},
    {FamilyDs18b20, "C", false, Bytes1And2FF64, false, nullptr, nullptr, Span{28, 30}, false,
     Unknown},
    {FamilyDs18b20, "D1", false, FamilyDBytes4And5, false, FamilyDPowerOn, Byte7Is66, Span{8, 14},
     Unknown, false},
    {FamilyDs18b20, "D2", false, FamilyDBytes4And5, false, FamilyDPowerOn, Byte7Is66,
     Span{460, 525}, Unknown, false},
    {FamilyDs18b20, "A2", false, nullptr, true, nullptr, nullptr, Span{325, 505}, Unknown, Unknown},
    {FamilyDs18s20, "genuine", true, nullptr, false, FamilyPowerOn, HalfDegreeCount, Span{1, 750},
     Unknown, true},
};

}  // namespace

std::vector<const OriginSignature*> OriginSignatures(uint8_t familyCode) {
    std::vector<const OriginSignature*> list;
    for (const OriginSignature& s : Signatures)
        if (s.familyCode == familyCode) list.push_back(&s);
    return list;
}

}  // namespace kv::probe
