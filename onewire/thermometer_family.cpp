#include "onewire/thermometer_family.h"

#include <array>

#include "onewire/result.h"
#include "onewire/transaction.h"

namespace kv {
namespace {

// 93.75 ms at 9 bits, doubling with each bit, rounded up to the monitor's 100 ms steps.
constexpr std::array<int32_t, MaxResolutionBits - MinResolutionBits + 1> Ds18b20WaitMs = {
    100, 200, 400, FullConversionWaitMs};

constexpr char Maxim[] = "Maxim Integrated";

constexpr std::array<ThermometerFamily, 2> Families = {{
    {FamilyDs18b20, "DS18B20", Maxim, 16.0f, 0x0550, true, true, 3},
    {FamilyDs18s20, "DS18S20", Maxim, 2.0f, 0x00AA, false, false, 2},
}};

}  // namespace

const ThermometerFamily* FindThermometerFamily(uint8_t code) {
    for (const ThermometerFamily& family : Families)
        if (family.code == code) return &family;
    return nullptr;
}

float TemperatureSteps(uint8_t code) {
    constexpr float OtherFamilySteps = 2.0f;
    const ThermometerFamily* family = FindThermometerFamily(code);
    return family ? family->stepsPerDegree : OtherFamilySteps;
}

int32_t ConversionWaitMs(const ThermometerFamily& family, int resolutionBits) {
    if (!family.resolutionSettable || resolutionBits < MinResolutionBits ||
        resolutionBits > MaxResolutionBits)
        return FullConversionWaitMs;
    return Ds18b20WaitMs[static_cast<size_t>(resolutionBits - MinResolutionBits)];
}

int ScratchpadResolution(const ThermometerFamily& family, const Scratchpad& pad) {
    return family.resolutionSettable ? ResolutionFromConfig(pad[ScratchpadConfig]) : 0;
}

bool HoldsPowerOnValue(const ThermometerFamily& family, const Scratchpad& pad) {
    const auto raw = static_cast<uint16_t>(pad[1] << 8 | pad[0]);
    return raw == family.powerOnRaw && pad[ScratchpadCountRemain] == PowerOnCountRemain;
}

int OneWireSetResolution(const RomCode& rom, int bits, bool save, int32_t port) {
    const ThermometerFamily* family = FindThermometerFamily(rom[0]);
    if (!family || !family->resolutionSettable || bits < MinResolutionBits ||
        bits > MaxResolutionBits) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    // TH and TL share the write with the configuration; they keep what the part holds.
    Scratchpad pad{};
    if (!OneWireReadDeviceScratchpad(rom.data(), pad.data(), port)) return 0;
    if (!ScratchpadCrcOk(pad.data())) {
        OneWireSetResult(NoData);
        return 0;
    }
    const std::array<uint8_t, 3> bytes = {pad[ScratchpadTh], pad[ScratchpadTl],
                                          ResolutionConfig(bits)};
    if (!OneWireWriteDeviceScratchpad(rom.data(), bytes.data(), family->writableBytes, port) ||
        !OneWireReadDeviceScratchpad(rom.data(), pad.data(), port))
        return 0;
    if (!ScratchpadCrcOk(pad.data()) || ScratchpadResolution(*family, pad) != bits) {
        OneWireSetResult(NoData);
        return 0;
    }
    if (save && !(OneWireMatchRom(rom.data(), port) && OneWireCopyScratchpad(port))) return 0;
    return 1;
}

}  // namespace kv
