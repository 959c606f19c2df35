#include "onewire/thermometer_family.h"

#include <array>
#include <cstddef>

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

}  // namespace kv
