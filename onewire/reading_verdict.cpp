#include "onewire/reading_verdict.h"

#include <cstdio>

#include "onewire/enumerate.h"
#include "onewire/result.h"
#include "onewire/thermometer_family.h"

namespace kv {

Verdict JudgeScratchpad(const RomCode& rom, const Scratchpad& pad, bool confirming) {
    if (OneWireReadsAsLineHeldLow(pad)) return Verdict::LineHeldLow;
    if (!ScratchpadCrcOk(pad.data())) return Verdict::ScratchpadCrc;
    const ThermometerFamily* family = FindThermometerFamily(rom[0]);
    if (family && HoldsPowerOnValue(*family, pad) && (family->powerOnTellable || !confirming))
        return Verdict::PowerOn;
    // Named before a bad ROM code: a value no part can measure is marked as such on any row.
    if (!IsPlausibleTemperature(DecodeTemperature(pad.data(), rom[0]))) return Verdict::OutOfRange;
    if (!RomCrcOk(rom.data())) return Verdict::RomCrc;
    return Verdict::Ok;
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

std::string RomCodeHex(const RomCode& rom) {
    char text[2 * RomBytes + 1];
    for (size_t i = 0; i < rom.size(); ++i) std::snprintf(text + 2 * i, 3, "%02X", rom[i]);
    return text;
}

}  // namespace kv
