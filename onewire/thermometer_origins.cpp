#include "onewire/thermometer_origins.h"

#include <algorithm>

#include "onewire/thermometer_family.h"
#include "runtime/letter_case.h"

namespace kv {
namespace {

// The published tests are those of the repository cpetrich/counterfeit_DS18B20, whose
// sections the comments name; the DS18S20 row is its datasheet's.

constexpr int16_t Raw85Ds18b20 = 0x0550;
constexpr int16_t Raw85Ds18s20 = 0x00AA;
constexpr int16_t Raw25Ds18b20 = 0x0190;
constexpr uint8_t PowerOnCount = 0x0C;

constexpr ReservedByte Is(uint8_t value) {
    return {ByteRule::Is, value, value};
}
constexpr ReservedByte Any(uint8_t shown) {
    return {ByteRule::Any, 0, shown};
}
constexpr ReservedByte IsNot(uint8_t value, uint8_t shown) {
    return {ByteRule::IsNot, value, shown};
}

constexpr ReservedByte Reserved5 = Is(0xFF);
constexpr ReservedByte CountPerDegree = Is(0x10);

// "ROM pattern 28-tt-tt-ss-ss-00-00-crc": the serial number is a counter whose top bytes
// are still 0 (Family A1). The older range, with byte 4 at 0 too, is also Family A3's.
constexpr RomPattern GenuineRom[] = {{{{{5, 0x00}, {6, 0x00}}}, 2}};
constexpr RomPattern OldCounterRom[] = {{{{{4, 0x00}, {5, 0x00}, {6, 0x00}}}, 3}};
// Family A2: 28-00-ss-00-tt-tt-tt, 28-ss-00-ss-tt-tt-tt and 28-ss-00-00-tt-tt-00.
constexpr RomPattern A2Rom[] = {{{{{1, 0x00}, {3, 0x00}}}, 2}, {{{{2, 0x00}}}, 1}};
// Family B1: 28-AA-tt-ss-ss-ss-ss (the UMW-branded parts follow no pattern).
constexpr RomPattern B1Rom[] = {{{{{1, 0xAA}}}, 1}};
// Family B1v2: the research's examples end in 23 0B before the CRC.
constexpr RomPattern B1v2Rom[] = {{{{{5, 0x23}, {6, 0x0B}}}, 2}};
constexpr RomPattern B2Rom[] = {{{{{1, 0xFF}}}, 1}};
constexpr RomPattern CRom[] = {{{{{1, 0xFF}, {2, 0x64}}}, 2}};
// Families D1 and D2: a pair of their own at bytes 3 and 4 (28-tt-tt-77-91-ss-ss-crc).
constexpr RomPattern D1Rom[] = {{{{{3, 0x77}, {4, 0x91}}}, 2}, {{{{3, 0x46}, {4, 0x92}}}, 2}};
constexpr RomPattern D2Rom[] = {
    {{{{3, 0x79}, {4, 0x97}}}, 2}, {{{{3, 0x94}, {4, 0x97}}}, 2}, {{{{3, 0x79}, {4, 0xA2}}}, 2},
    {{{{3, 0x16}, {4, 0xA8}}}, 2}, {{{{3, 0x56}, {4, 0xB5}}}, 2}, {{{{3, 0x07}, {4, 0xD6}}}, 2},
};
// Family E: 28-tt-tt-ss-ss-00-80-crc.
constexpr RomPattern ERom[] = {{{{{5, 0x00}, {6, 0x80}}}, 2}};

constexpr std::span<const RomPattern> NoRomPattern;
constexpr std::optional<bool> NotPublished = std::nullopt;
constexpr std::optional<ConversionSpan> NoSpan = std::nullopt;
constexpr std::optional<int16_t> NoPowerOn = std::nullopt;

// Conversion spans at 12 bits as polled at room temperature. D1's "approx. 11 ms" is taken
// as 8 to 14; "12-bit conversion faster than expected", the research's test sketch's finding
// for Families E and G, as under 550 ms.
constexpr ThermometerOrigin Origins[] = {
    // Family A1: Authentic Maxim DS18B20.
    {FamilyDs18b20, "genuine", true, RomRule::Required, GenuineRom, Raw85Ds18b20, Reserved5,
     CountPerDegree, CountRemain::Sixteenths, PowerOnCount, true, true, true,
     ResolutionScaling::Halves, ConversionSpan{584, 615}, false, BusySignal::AtOnce, true},
    // Family A2: Good Clone with Poor Temperature Performance.
    {FamilyDs18b20, "A2", false, RomRule::Habit, A2Rom, Raw85Ds18b20, Reserved5, CountPerDegree,
     CountRemain::Sixteenths, PowerOnCount, true, true, true, ResolutionScaling::Halves,
     ConversionSpan{325, 505}, false, BusySignal::AtOnce, NotPublished},
    // Family A3: the old counter's ROM codes, and late to signal that it converts.
    {FamilyDs18b20, "A3", false, RomRule::Required, OldCounterRom, NoPowerOn, Reserved5,
     CountPerDegree, CountRemain::Sixteenths, PowerOnCount, true, NotPublished, true,
     ResolutionScaling::Halves, NoSpan, false, BusySignal::Late, NotPublished},
    // Family B1: GXCAS 18B20; the third byte written lands in byte 6.
    {FamilyDs18b20, "B1", false, RomRule::Habit, B1Rom, Raw85Ds18b20, Reserved5, Any(0x10),
     CountRemain::LastWritten, PowerOnCount, false, NotPublished, true, ResolutionScaling::Halves,
     ConversionSpan{589, 728}, false, BusySignal::AtOnce, true},
    // Family B1v2: Family B1 with the scratchpad of the original.
    {FamilyDs18b20, "B1v2", false, RomRule::Habit, B1v2Rom, Raw85Ds18b20, Reserved5, CountPerDegree,
     CountRemain::Sixteenths, PowerOnCount, true, NotPublished, true, ResolutionScaling::Halves,
     ConversionSpan{589, 728}, false, BusySignal::AtOnce, NotPublished},
    // Family B2: 7Q-Tek QT18B20.
    {FamilyDs18b20, "B2", false, RomRule::Habit, B2Rom, Raw85Ds18b20, Reserved5, Any(0x10),
     CountRemain::LastWritten, PowerOnCount, false, NotPublished, true, ResolutionScaling::Halves,
     ConversionSpan{587, 697}, false, BusySignal::AtOnce, true},
    // Family C: always 12 bits, 28 to 30 ms.
    {FamilyDs18b20, "C", false, RomRule::Habit, CRom, Raw85Ds18b20, Reserved5, CountPerDegree,
     CountRemain::Stays0C, PowerOnCount, true, true, false, ResolutionScaling::Flat,
     ConversionSpan{28, 30}, false, BusySignal::AtOnce, true},
    // Family D1: Noisy Rubbish with Supercap (some work on parasite power, some do not).
    {FamilyDs18b20, "D1", false, RomRule::Habit, D1Rom, Raw25Ds18b20, IsNot(0xFF, 0x7E), Is(0x66),
     CountRemain::NeverC, 0x81, NotPublished, NotPublished, true, ResolutionScaling::Flat,
     ConversionSpan{8, 14}, false, BusySignal::AtOnce, NotPublished},
    // Family D2: Noisy Rubbish, no parasite power.
    {FamilyDs18b20, "D2", false, RomRule::Habit, D2Rom, Raw25Ds18b20, IsNot(0xFF, 0x7E), Is(0x66),
     CountRemain::NeverC, 0x81, NotPublished, NotPublished, true, ResolutionScaling::Flat,
     ConversionSpan{460, 525}, false, BusySignal::AtOnce, false},
    // Family E: Incomplete Work, without EEPROM.
    {FamilyDs18b20, "E", false, RomRule::Habit, ERom, NoPowerOn, Reserved5, Is(0xFF),
     CountRemain::AlwaysFF, 0xFF, NotPublished, false, true, ResolutionScaling::Flat,
     ConversionSpan{1, 550}, false, BusySignal::AtOnce, NotPublished},
    // Family F: always 12 bits, no EEPROM, no busy signal.
    {FamilyDs18b20, "F", false, RomRule::Habit, NoRomPattern, NoPowerOn, Reserved5, CountPerDegree,
     CountRemain::Stays0C, PowerOnCount, true, false, false, ResolutionScaling::Flat, NoSpan, false,
     BusySignal::None, NotPublished},
    // Family G: byte 6 counts from 0x20.
    {FamilyDs18b20, "G", false, RomRule::Habit, NoRomPattern, NoPowerOn, Reserved5, CountPerDegree,
     CountRemain::SixteenthsPlus16, PowerOnCount, true, NotPublished, true,
     ResolutionScaling::Halves, ConversionSpan{1, 550}, false, BusySignal::AtOnce, NotPublished},
    // Family H: each bit less takes a factor of the square root of two off the time.
    {FamilyDs18b20, "H", false, RomRule::Habit, NoRomPattern, NoPowerOn, Reserved5, CountPerDegree,
     CountRemain::Sixteenths, PowerOnCount, true, NotPublished, true, ResolutionScaling::SqrtTwo,
     NoSpan, false, BusySignal::AtOnce, NotPublished},
    // The DS18S20 datasheet's part: no clone of it was published.
    {FamilyDs18s20, "genuine", true, RomRule::NotPublished, NoRomPattern, Raw85Ds18s20, Reserved5,
     CountPerDegree, CountRemain::HalfDegreeCount, PowerOnCount, true, true, NotPublished,
     ResolutionScaling::NotPublished, ConversionSpan{1, 750}, true, BusySignal::AtOnce, true},
};

}  // namespace

std::span<const ThermometerOrigin> ThermometerOrigins(uint8_t familyCode) {
    const std::span<const ThermometerOrigin> all(Origins);
    const auto first = std::find_if(all.begin(), all.end(), [&](const ThermometerOrigin& o) {
        return o.familyCode == familyCode;
    });
    const auto last = std::find_if(
        first, all.end(), [&](const ThermometerOrigin& o) { return o.familyCode != familyCode; });
    return {first, last};
}

const ThermometerOrigin* FindThermometerOrigin(uint8_t familyCode, std::string_view name) {
    for (const ThermometerOrigin& origin : ThermometerOrigins(familyCode))
        if (EqualIgnoringAsciiCase(origin.name, name)) return &origin;
    return nullptr;
}

bool RomFitsPattern(const RomPattern& pattern, const RomCode& rom) {
    for (uint8_t i = 0; i < pattern.count; ++i)
        if (rom[pattern.bytes[i].index] != pattern.bytes[i].value) return false;
    return true;
}

bool RomFitsOrigin(const ThermometerOrigin& origin, const RomCode& rom) {
    return std::any_of(origin.romPatterns.begin(), origin.romPatterns.end(),
                       [&](const RomPattern& p) { return RomFitsPattern(p, rom); });
}

}  // namespace kv
