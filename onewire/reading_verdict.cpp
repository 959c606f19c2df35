#include "onewire/reading_verdict.h"

#include <bit>

#include "onewire/enumeration.h"
#include "onewire/result.h"
#include "onewire/thermometer_family.h"

namespace kv {
namespace {

// A device that does not answer leaves every read slot high. Noise that pulls a few bits low
// can turn those ones into a scratchpad that passes its CRC. No thermometer sends one with so
// few zeros: bytes 6 and 7 (COUNT_REMAIN and COUNT_PER_C) hold at most 0x10, ten zeros at
// least.
constexpr int SilentLineMaxZeroBits = 8;

bool ReadsAsSilentLine(const Scratchpad& pad) {
    int zeros = 0;
    for (const uint8_t byte : pad) zeros += std::popcount(static_cast<uint8_t>(~byte));
    return zeros <= SilentLineMaxZeroBits;
}

}  // namespace

Verdict JudgeScratchpad(const RomCode& rom, const Scratchpad& pad, bool confirming) {
    if (OneWireReadsAsLineHeldLow(pad)) return Verdict::LineHeldLow;
    if (ReadsAsSilentLine(pad) || !ScratchpadCrcOk(pad.data())) return Verdict::ScratchpadCrc;
    const ThermometerFamily* family = FindThermometerFamily(rom[0]);
    if (family && HoldsPowerOnValue(*family, pad) && (family->powerOnTellable || !confirming))
        return Verdict::PowerOn;
    // Named before a bad ROM code: a value no part can measure is marked as such on any row.
    if (!IsPlausibleTemperature(DecodeTemperature(pad.data(), rom[0]))) return Verdict::OutOfRange;
    if (!RomCrcOk(rom.data())) return Verdict::RomCrc;
    return Verdict::Ok;
}

bool ReadingHeardDevice(const Reading& reading) {
    return reading.answered || (reading.scratchpadRead && !ReadsAsSilentLine(reading.pad) &&
                                !OneWireReadsAsLineHeldLow(reading.pad));
}

std::string ReadingStateName(const Reading& reading) {
    struct Name {
        Verdict verdict;
        const char* word;
    };
    static constexpr Name Names[] = {
        {Verdict::Ok, "ok"},
        {Verdict::ScratchpadCrc, "crc"},
        {Verdict::RomCrc, "rom-crc"},
        {Verdict::PowerOn, "power-on"},
        {Verdict::OutOfRange, "range"},
        {Verdict::LineHeldLow, "line-low"},
        {Verdict::Unfinished, "unfinished"},
    };
    for (const Name& name : Names)
        if (name.verdict == reading.verdict) return name.word;
    return OneWireResultLabel(reading.result);  // a bus failure
}

}  // namespace kv
