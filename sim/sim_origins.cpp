#include "sim/sim_origins.h"

#include "onewire/ds18x20.h"

namespace kv {
namespace {

constexpr int64_t Ms = 1000;
constexpr int16_t Raw25Celsius = 0x0190;
constexpr uint8_t FamilyDByte7 = 0x66;

SimPart Part(int64_t conversionMs) {
    SimPart part;
    part.conversionUs = conversionMs * Ms;
    return part;
}

SimPart ResolutionIgnored(SimPart part) {
    part.resolutionHonoured = false;
    return part;
}

SimPart CountRemainStays(SimPart part) {
    part.countRemainFollows = false;
    return part;
}

// The families D1 and D2: 25 °C at power-on, 0x66 in byte 7, no parasite power.
SimPart FamilyD(int64_t conversionMs) {
    SimPart part = Part(conversionMs);
    part.powerOnRaw = Raw25Celsius;
    part.byte7 = FamilyDByte7;
    part.parasiteCapable = false;
    return part;
}

}  // namespace

const std::vector<SimOrigin>& SimOrigins() {
    // Conversion times inside each origin's published span at 12 bits.
    static const std::vector<SimOrigin> origins = {
        {"genuine", Part(600), {0, 0, 0, 0, 0, 0}, {false, false, false, false, true, true}},
        {"b1", CountRemainStays(Part(700)), {0xAA, 0, 0, 0, 0, 0}, {true}},
        {"b2", Part(650), {0xFF, 0, 0, 0, 0, 0}, {true}},
        {"c", ResolutionIgnored(Part(29)), {0xFF, 0x64, 0, 0, 0, 0}, {true, true}},
        {"d1", FamilyD(11), {0, 0, 0, 0x77, 0x91, 0}, {false, false, false, true, true}},
        {"d2", FamilyD(490), {0, 0, 0, 0x16, 0xA8, 0}, {false, false, false, true, true}},
        // Irregular: a code that fits none of the patterns above.
        {"a2", Part(400), {0x11, 0, 0, 0, 0x3C, 0}, {true, false, false, false, true}},
    };
    return origins;
}

const SimOrigin* SimFindOrigin(std::string_view name) {
    for (const SimOrigin& origin : SimOrigins())
        if (name == origin.name) return &origin;
    return nullptr;
}

RomCode SimOriginRom(const SimOrigin& origin, uint64_t serial) {
    RomCode rom = SimMakeRom(FamilyDs18b20, serial);
    for (size_t i = 0; i < origin.romBytes.size(); ++i)
        if (origin.fixed[i]) rom[1 + i] = origin.romBytes[i];
    rom[7] = SimCrc8(rom.data(), 7);
    return rom;
}

}  // namespace kv
