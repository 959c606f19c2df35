#include "onewire/ds18x20.h"

#include "onewire/bus.h"
#include "onewire/crc8.h"
#include "onewire/result.h"
#include "onewire/thermometer_family.h"
#include "runtime/clock.h"

namespace kv {
namespace {

constexpr int RomCrcLength = 7;

// Sends one function command byte on a resolved, addressed bus.
int32_t SendCommand(uint8_t command, int32_t port) {
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return -1;
    if (!OneWireWriteBytes(command, 1, port)) return -1;
    return port;
}

}  // namespace

int OneWireConvert(int32_t waitMs, int32_t port) {
    if (SendCommand(ConvertTCommand, port) < 0) return 0;
    if (waitMs > 0) DelayMs(waitMs);
    return 1;
}

int OneWireReadScratchpad(uint8_t* buffer9, int32_t port) {
    if (!buffer9) {  // refuse before the command goes out, not halfway through it
        OneWireSetResult(BadArgument);
        return 0;
    }
    int32_t resolved = SendCommand(ReadScratchpadCommand, port);
    if (resolved < 0) return 0;
    return OneWireReadBytes(buffer9, ScratchpadSize, resolved);
}

int OneWireReadPowerSupply(int32_t port) {
    int32_t resolved = SendCommand(ReadPowerSupplyCommand, port);
    if (resolved < 0) return 0;
    // A failed slot returns 1 with ExchangeError; callers must look at the result code.
    return OneWireReadBit(resolved, SlotComplete);
}

int OneWireCopyScratchpad(int32_t port) {
    if (SendCommand(CopyScratchpadCommand, port) < 0) return 0;
    DelayMs(CopyScratchpadMs);
    return 1;
}

bool IsThermometerFamily(uint8_t family) {
    return FindThermometerFamily(family) != nullptr;
}

float DecodeTemperature(const uint8_t* scratchpad, uint8_t family) {
    if (!scratchpad) return 0.0f;
    auto raw = static_cast<int16_t>(static_cast<uint16_t>(scratchpad[1] << 8 | scratchpad[0]));
    return static_cast<float>(raw) / TemperatureSteps(family);
}

bool IsPlausibleTemperature(float celsius) {
    return celsius >= PlausibleMin && celsius <= PlausibleMax;
}

bool ScratchpadCrcOk(const uint8_t* scratchpad) {
    if (!scratchpad) return false;
    return OneWireCrc8(scratchpad, ScratchpadSize - 1) == scratchpad[ScratchpadSize - 1];
}

bool RomCrcOk(const uint8_t* rom) {
    if (!rom) return false;
    return OneWireCrc8(rom, RomCrcLength) == rom[RomCrcLength];
}

}  // namespace kv
