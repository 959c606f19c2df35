#include "onewire/transaction.h"

#include "onewire/bits.h"
#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "onewire/rom_code.h"
#include "onewire/search.h"

namespace kv {
namespace {

// The ROM command and the function command around the code, before the answer.
constexpr int CommandBytes = 2;
constexpr int32_t MaxPayloadBits = (MaxBlockBytes - CommandBytes - RomBytes) * BitsPerByte;

}  // namespace

int OneWireTransaction(const uint8_t* rom, uint8_t command, uint8_t* reply, int32_t replyBits,
                       int32_t port) {
    return OneWireTransaction(rom, command, nullptr, 0, reply, replyBits, port);
}

int OneWireTransaction(const uint8_t* rom, uint8_t command, const uint8_t* data, int32_t dataBytes,
                       uint8_t* reply, int32_t replyBits, int32_t port) {
    if (replyBits < 0 || dataBytes < 0 || (replyBits > 0 && !reply) || (dataBytes > 0 && !data) ||
        int64_t{dataBytes} * BitsPerByte + replyBits > MaxPayloadBits) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    if (!OneWireReset(port)) return 0;

    BitRun bits;
    bits.reserve(
        static_cast<size_t>((CommandBytes + RomBytes + dataBytes) * BitsPerByte + replyBits));
    AppendByteBits(bits, rom ? MatchRomCommand : SkipRomCommand);
    if (rom)
        for (int i = 0; i < RomBytes; ++i) AppendByteBits(bits, rom[i]);
    AppendByteBits(bits, command);
    for (int32_t i = 0; i < dataBytes; ++i) AppendByteBits(bits, data[i]);
    const size_t answer = bits.size();
    bits.insert(bits.end(), static_cast<size_t>(replyBits), 1);  // read slots
    if (!OneWireTouchBits(bits, port)) return 0;

    // What the devices did to the slots before the answer is not looked at, as the byte
    // forms do not look at it: a written 1 read back as 0 is a device talking.
    const std::span<uint8_t> replyBytes(
        reply, static_cast<size_t>(replyBits + BitsPerByte - 1) / BitsPerByte);
    for (int32_t i = 0; i < replyBits; ++i)
        SetBitAt(replyBytes, i, bits[answer + static_cast<size_t>(i)] != 0);
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
    return OneWireTransaction(rom, ReadScratchpadCommand, buffer9, ScratchpadSize * BitsPerByte,
                              port);
}

int OneWireReadDevicePowerSupply(const uint8_t* rom, int32_t port) {
    if (!rom) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    uint8_t answer = 0;
    if (!OneWireTransaction(rom, ReadPowerSupplyCommand, &answer, 1, port)) return 0;
    return BitAt(std::span<const uint8_t>(&answer, 1), 0) ? 1 : 0;  // 1: powered externally
}

int OneWireWriteDeviceScratchpad(const uint8_t* rom, const uint8_t* bytes, int32_t count,
                                 int32_t port) {
    if (!rom || !bytes || count < 1) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    return OneWireTransaction(rom, WriteScratchpadCommand, bytes, count, nullptr, 0, port);
}

int OneWireRecallDeviceEeprom(const uint8_t* rom, int32_t port) {
    if (!rom) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    return OneWireTransaction(rom, RecallEepromCommand, nullptr, 0, port);
}

}  // namespace kv
