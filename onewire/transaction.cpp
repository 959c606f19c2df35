#include "onewire/transaction.h"

#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"

namespace kv {
namespace {

constexpr int RomBytes = 8;
// Room for the ROM command, the code and the function command before the answer.
constexpr int32_t MaxReplyBits = (MaxBlockBytes - 2 - RomBytes) * SlotBytesPerDataByte;

void AppendByte(std::vector<uint8_t>& slots, uint8_t byte) {
    for (int bit = 0; bit < SlotBytesPerDataByte; ++bit)
        slots.push_back(((byte >> bit) & 1) != 0 ? SlotOne : SlotZero);
}

}  // namespace

int OneWireTransaction(const uint8_t* rom, uint8_t command, uint8_t* reply, int32_t replyBits,
                       int32_t port) {
    if (replyBits < 0 || replyBits > MaxReplyBits || (replyBits > 0 && !reply)) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    if (!OneWireReset(port)) return 0;

    std::vector<uint8_t> slots;
    slots.reserve(static_cast<size_t>((2 + RomBytes) * SlotBytesPerDataByte + replyBits));
    AppendByte(slots, rom ? MatchRomCommand : SkipRomCommand);
    if (rom)
        for (int i = 0; i < RomBytes; ++i) AppendByte(slots, rom[i]);
    AppendByte(slots, command);
    const size_t answer = slots.size();
    slots.insert(slots.end(), static_cast<size_t>(replyBits), SlotOne);
    if (!OneWireExchangeSlots(slots.data(), static_cast<int32_t>(slots.size()), port)) return 0;

    // What the devices did to the slots before the answer is not looked at, as the byte
    // forms do not look at it: a written 1 read back as 0 is a device talking.
    for (int32_t i = 0; i < replyBits; ++i) {
        uint8_t& byte = reply[i / 8];
        const uint8_t mask = static_cast<uint8_t>(1u << (i % 8));
        byte = static_cast<uint8_t>(
            slots[answer + static_cast<size_t>(i)] == SlotOne ? byte | mask : byte & ~mask);
    }
    return 1;
}

int OneWireStartConversion(const uint8_t* rom, int32_t port) {
    return OneWireTransaction(rom, ConvertTCommand, nullptr, 0, port);
}

int OneWireReadDeviceScratchpad(const uint8_t* rom, uint8_t* buffer9, int32_t port) {
    if (!rom || !buffer9) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    return OneWireTransaction(rom, ReadScratchpadCommand, buffer9,
                              ScratchpadSize * SlotBytesPerDataByte, port);
}

int OneWireReadDevicePowerSupply(const uint8_t* rom, int32_t port) {
    if (!rom) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    uint8_t answer = 0;
    if (!OneWireTransaction(rom, ReadPowerSupplyCommand, &answer, 1, port)) return 0;
    return answer & 1;
}

}  // namespace kv
