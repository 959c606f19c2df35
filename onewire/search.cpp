#include "onewire/search.h"

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"

namespace kv {
namespace {

constexpr int RomBits = 64;

// One pass of the ROM search on a resolved port with the calling thread's state.
int SearchPass(uint8_t command, uint8_t* romOut, int32_t port) {
    OneWireThreadState& state = OneWireState();
    if (state.lastDeviceFlag != 0) {
        OneWireSetResult(NoData);
        return 0;
    }
    OneWirePurge(port);
    int bitNumber = 1;
    int lastZero = 0;
    int romByte = 0;
    uint8_t mask = 1;

    if (!OneWireReset(port)) return 0;
    OneWireWriteBytes(command, 1, port);
    if (OneWireLastResult() != Ok) return 0;

    while (romByte < 8) {
        int idBit = OneWireReadBit(port, SlotComplete);
        if (OneWireLastResult() != Ok) break;
        int complementBit = OneWireReadBit(port, SlotComplete);
        if (OneWireLastResult() != Ok) break;
        if (idBit == 1 && complementBit == 1) {
            // Nobody answered this bit: a device left the bus during the pass.
            OneWireSetResult(SearchError);
            break;
        }
        int direction;
        if (idBit != complementBit) {
            direction = idBit;
        } else if (bitNumber < state.lastDiscrepancy) {
            direction = (state.romCode[romByte] & mask) != 0 ? 1 : 0;
        } else {
            direction = bitNumber == state.lastDiscrepancy ? 1 : 0;
        }
        if (idBit == complementBit && direction == 0) lastZero = bitNumber;

        if (direction) {
            state.romCode[romByte] |= mask;
        } else {
            state.romCode[romByte] &= static_cast<uint8_t>(~mask);
        }
        OneWireWriteSlot(direction, port, SlotWait | SlotDrain);

        ++bitNumber;
        mask = static_cast<uint8_t>(mask << 1);
        if (mask == 0) {
            ++romByte;
            mask = 1;
        }
    }
    if (bitNumber <= RomBits) return 0;

    state.lastDiscrepancy = lastZero;
    if (lastZero == 0) state.lastDeviceFlag = 1;
    for (int i = 0; i < 8; ++i) romOut[i] = state.romCode[i];
    return 1;
}

// Resets the bus and sends a ROM command; the caller continues with the command's data.
int AddressBus(int32_t port) {
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return -1;
    if (!OneWireReset(port)) return -1;
    return port;
}

}  // namespace

int OneWireSearchReset() {
    OneWireThreadState& state = OneWireState();
    OneWireSetResult(Ok);
    state.lastDiscrepancy = 0;
    state.lastDeviceFlag = 0;
    state.romCode.fill(0);
    return 1;
}

int OneWireSearchNext(uint8_t* romOut, int32_t port) {
    if (!romOut) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    return SearchPass(SearchRomCommand, romOut, port);
}

int OneWireMatchRom(const uint8_t* rom, int32_t port) {
    if (!rom) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    int32_t resolved = AddressBus(port);
    if (resolved < 0) return 0;
    if (!OneWireWriteBytes(MatchRomCommand, 1, resolved)) return 0;
    return OneWireWriteBytes(rom, 8, resolved);
}

int OneWireSkipRom(int32_t port) {
    int32_t resolved = AddressBus(port);
    if (resolved < 0) return 0;
    return OneWireWriteBytes(SkipRomCommand, 1, resolved);
}

int OneWireCrc8(const uint8_t* data, int32_t length) {
    if (!data || length < 1) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    OneWireSetResult(Ok);
    uint8_t crc = 0;
    for (int32_t i = 0; i < length; ++i) {
        uint8_t byte = data[i];
        for (int bit = 0; bit < 8; ++bit) {
            bool mix = ((crc ^ byte) & 1) != 0;
            crc = static_cast<uint8_t>(crc >> 1);
            if (mix) crc ^= 0x8C;
            byte = static_cast<uint8_t>(byte >> 1);
        }
    }
    return crc;
}

}  // namespace kv
