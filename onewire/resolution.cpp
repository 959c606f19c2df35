#include "onewire/resolution.h"

#include <array>

#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "onewire/thermometer_family.h"
#include "onewire/transaction.h"

namespace kv {

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
