#include "onewire/search.h"

#include <vector>

#include "onewire/bit_slots.h"
#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"

namespace kv {
namespace {

constexpr int RomBits = RomBytes * BitsPerByte;
// Per bit of the ROM: the id bit and its complement are read, then the direction written.
constexpr int SlotsPerRomBit = 3;
// The Dallas/Maxim CRC-8, x^8 + x^5 + x^4 + 1, with its bits reversed for the
// least-significant-first order of the bus.
constexpr uint8_t Crc8Polynomial = 0x8C;

// The search numbers the bits of the path from 1 to RomBits.
int PathBit(const OneWireThreadState& state, int bitNumber) {
    return BitAt(state.romCode, bitNumber - 1) ? 1 : 0;
}

void SetPathBit(OneWireThreadState& state, int bitNumber, int direction) {
    SetBitAt(state.romCode, bitNumber - 1, direction != 0);
}

// The direction taken at a bit whose id and complement bits were read (not both 1).
int Direction(const OneWireThreadState& state, int bitNumber, int idBit, int complementBit) {
    if (idBit != complementBit) return idBit;  // every answering device agrees
    if (bitNumber < state.lastDiscrepancy) return PathBit(state, bitNumber);
    return bitNumber == state.lastDiscrepancy ? 1 : 0;
}

// Ends a pass that decided all 64 bits.
int FinishPass(OneWireThreadState& state, int lastZero, uint8_t* romOut) {
    state.lastDiscrepancy = lastZero;
    if (lastZero == 0) state.lastDeviceFlag = 1;
    for (int i = 0; i < RomBytes; ++i) romOut[i] = state.romCode[i];
    return 1;
}

// One pass of the ROM search on a resolved port, one slot per round trip: three round
// trips per bit.
int SearchPassBySlots(uint8_t command, uint8_t* romOut, int32_t port) {
    OneWireThreadState& state = OneWireState();
    if (state.lastDeviceFlag != 0) {
        OneWireSetResult(NoData);
        return 0;
    }
    OneWirePurge(port);
    int lastZero = 0;

    if (!OneWireReset(port)) return 0;
    OneWireWriteBytes(command, 1, port);
    if (OneWireLastResult() != Ok) return 0;

    for (int bitNumber = 1; bitNumber <= RomBits; ++bitNumber) {
        int idBit = OneWireReadBit(port, SlotComplete);
        if (OneWireLastResult() != Ok) return 0;
        int complementBit = OneWireReadBit(port, SlotComplete);
        if (OneWireLastResult() != Ok) return 0;
        if (idBit == 1 && complementBit == 1) {
            // Nobody answered this bit: a device left the bus during the pass.
            OneWireSetResult(SearchError);
            return 0;
        }
        int direction = Direction(state, bitNumber, idBit, complementBit);
        if (idBit == complementBit && direction == 0) lastZero = bitNumber;
        SetPathBit(state, bitNumber, direction);
        OneWireWriteSlot(direction, port, SlotWait | SlotDrain);
    }
    return FinishPass(state, lastZero, romOut);
}

// How a walk along the ROM tree ended.
constexpr int WalkDone = 1;
constexpr int WalkFailed = 0;  // the result code says why
// Below: the negated bit number at which every device answering left the path sent.

// Sends the command and walks the bits of one pass after a reset. Up to bit `fixed` the
// directions are those of the previous pass's path, known before anything is read, so the
// command, those bits' three slots each and the two read slots of bit `fixed` go out as one
// block and are checked afterwards. From there each round trip carries the direction of one
// bit and the read slots of the next, as a direction depends on the bit read just before.
int Walk(uint8_t command, int fixed, int32_t port, int& lastZero) {
    OneWireThreadState& state = OneWireState();
    lastZero = 0;
    std::vector<uint8_t> slots;
    AppendByteSlots(slots, command);
    for (int bitNumber = 1; bitNumber < fixed; ++bitNumber) {
        slots.insert(slots.end(), {SlotOne, SlotOne});
        slots.push_back(SlotFor(PathBit(state, bitNumber) != 0));
    }
    slots.insert(slots.end(), {SlotOne, SlotOne});
    if (!OneWireExchangeSlots(slots.data(), static_cast<int32_t>(slots.size()), port))
        return WalkFailed;

    size_t at = BitsPerByte;  // past the command's slots
    for (int bitNumber = 1; bitNumber < fixed; ++bitNumber, at += SlotsPerRomBit) {
        int idBit = slots[at] == SlotOne, complementBit = slots[at + 1] == SlotOne;
        if (idBit == 1 && complementBit == 1) {
            OneWireSetResult(SearchError);
            return WalkFailed;
        }
        int direction = Direction(state, bitNumber, idBit, complementBit);
        if (direction != PathBit(state, bitNumber)) return -bitNumber;
        if (idBit == complementBit && direction == 0) lastZero = bitNumber;
    }
    int idBit = slots[at] == SlotOne, complementBit = slots[at + 1] == SlotOne;
    for (int bitNumber = fixed;; ++bitNumber) {
        if (idBit == 1 && complementBit == 1) {
            OneWireSetResult(SearchError);
            return WalkFailed;
        }
        int direction = Direction(state, bitNumber, idBit, complementBit);
        if (idBit == complementBit && direction == 0) lastZero = bitNumber;
        SetPathBit(state, bitNumber, direction);
        if (bitNumber == RomBits) {
            // Alone, as in the slot-by-slot pass: its echo is collected, not required.
            OneWireWriteSlot(direction, port, SlotWait | SlotDrain);
            return WalkDone;
        }
        uint8_t next[SlotsPerRomBit] = {SlotFor(direction != 0), SlotOne, SlotOne};
        if (!OneWireExchangeSlots(next, SlotsPerRomBit, port)) return WalkFailed;
        idBit = next[1] == SlotOne;
        complementBit = next[2] == SlotOne;
    }
}

// Walks from a reset with the path fixed below bit `fixed`, again from a reset as long as
// the devices turn out to have left the path below the bit reached.
int WalkFrom(uint8_t command, int fixed, uint8_t* romOut, int32_t port) {
    OneWireThreadState& state = OneWireState();
    for (;;) {
        if (!OneWireReset(port)) return 0;
        int lastZero = 0;
        int walked = Walk(command, fixed, port, lastZero);
        if (walked == WalkDone) return FinishPass(state, lastZero, romOut);
        if (walked == WalkFailed) return 0;
        // The devices changed since the previous pass and all of those still answering
        // left its path at this bit, where the slot-by-slot pass would have followed
        // them. The path up to there still holds: walk it again and follow them.
        fixed = -walked;
    }
}

// The same pass as SearchPassBySlots, in blocks: one round trip per bit from the previous
// pass's last discrepancy on, one for everything before it.
int SearchPassInBlocks(uint8_t command, uint8_t* romOut, int32_t port) {
    OneWireThreadState& state = OneWireState();
    if (state.lastDeviceFlag != 0) {
        OneWireSetResult(NoData);
        return 0;
    }
    OneWirePurge(port);
    return WalkFrom(command, state.lastDiscrepancy > 1 ? state.lastDiscrepancy : 1, romOut, port);
}

// Whether a code comes before another in the order the search delivers them: the first bit
// in which they differ is 0 in it.
bool SearchesBefore(const RomCode& a, const RomCode& b) {
    for (int bit = 0; bit < RomBits; ++bit) {
        if (BitAt(a, bit) != BitAt(b, bit)) return !BitAt(a, bit);
    }
    return false;
}

// Whether the pass would deliver `rom` were it on the bus: it follows the previous pass's
// path below that pass's last discrepancy and takes 1 there.
bool FollowsPath(const OneWireThreadState& state, const RomCode& rom) {
    for (int bitNumber = 1; bitNumber < state.lastDiscrepancy; ++bitNumber) {
        if (BitAt(rom, bitNumber - 1) != (PathBit(state, bitNumber) != 0)) return false;
    }
    return state.lastDiscrepancy == 0 || BitAt(rom, state.lastDiscrepancy - 1);
}

// The code the pass delivers if the bus holds exactly the expected devices; nullptr when
// none of them is left on its way.
const RomCode* NextExpected(const OneWireThreadState& state, std::span<const RomCode> expected) {
    const RomCode* next = nullptr;
    for (const RomCode& rom : expected) {
        if (FollowsPath(state, rom) && (!next || SearchesBefore(rom, *next))) next = &rom;
    }
    return next;
}

// A bus that answers otherwise than expected is given this many whole blocks (one flipped
// bit costs one more block) before the pass follows it bit by bit.
constexpr int ExpectedBlocks = 2;
constexpr int WalkAsExpected = RomBits + 1;

// The command and all 64 bits after a reset as one block, each bit's direction taken from
// `expected`. WalkAsExpected when every answer leads there; else the number of the first bit
// whose answers lead elsewhere (or nowhere), or WalkFailed with the exchange's code.
int WalkExpected(uint8_t command, const RomCode& expected, int32_t port, int& lastZero) {
    const OneWireThreadState& state = OneWireState();
    lastZero = 0;
    std::vector<uint8_t> slots;
    AppendByteSlots(slots, command);
    for (int bit = 0; bit < RomBits; ++bit) {
        slots.insert(slots.end(), {SlotOne, SlotOne, SlotFor(BitAt(expected, bit))});
    }
    if (!OneWireExchangeSlots(slots.data(), static_cast<int32_t>(slots.size()), port))
        return WalkFailed;
    size_t at = BitsPerByte;
    for (int bitNumber = 1; bitNumber <= RomBits; ++bitNumber, at += SlotsPerRomBit) {
        int idBit = slots[at] == SlotOne, complementBit = slots[at + 1] == SlotOne;
        if (idBit == 1 && complementBit == 1) return bitNumber;
        int direction = Direction(state, bitNumber, idBit, complementBit);
        if ((direction != 0) != BitAt(expected, bitNumber - 1)) return bitNumber;
        if (idBit == complementBit && direction == 0) lastZero = bitNumber;
    }
    return WalkAsExpected;
}

// A pass that expects the devices of `expected`: when one of them is next on its way, the
// whole pass is one block after the reset; where the bus answers otherwise, the pass walks
// the agreed path again and follows the answers from there as SearchPassInBlocks does.
int SearchPassExpecting(uint8_t command, uint8_t* romOut, std::span<const RomCode> expected,
                        int32_t port) {
    OneWireThreadState& state = OneWireState();
    if (state.lastDeviceFlag != 0) {
        OneWireSetResult(NoData);
        return 0;
    }
    OneWirePurge(port);
    const RomCode* next = NextExpected(state, expected);
    if (!next)
        return WalkFrom(command, state.lastDiscrepancy > 1 ? state.lastDiscrepancy : 1, romOut,
                        port);
    int differsAt = 0;
    for (int block = 0; block < ExpectedBlocks; ++block) {
        if (!OneWireReset(port)) return 0;
        int lastZero = 0;
        differsAt = WalkExpected(command, *next, port, lastZero);
        if (differsAt == WalkFailed) return 0;
        if (differsAt == WalkAsExpected) {
            state.romCode = *next;
            return FinishPass(state, lastZero, romOut);
        }
    }
    for (int bitNumber = 1; bitNumber < differsAt; ++bitNumber)
        SetPathBit(state, bitNumber, BitAt(*next, bitNumber - 1) ? 1 : 0);
    return WalkFrom(command, differsAt, romOut, port);
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
    return SearchPassInBlocks(SearchRomCommand, romOut, port);
}

int OneWireSearchNextExpecting(uint8_t* romOut, std::span<const RomCode> expected, int32_t port) {
    if (!romOut) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    return SearchPassExpecting(SearchRomCommand, romOut, expected, port);
}

int OneWireSearchNextBySlots(uint8_t* romOut, int32_t port) {
    if (!romOut) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    return SearchPassBySlots(SearchRomCommand, romOut, port);
}

int OneWireMatchRom(const uint8_t* rom, int32_t port) {
    if (!rom) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    int32_t resolved = AddressBus(port);
    if (resolved < 0) return 0;
    if (!OneWireWriteBytes(MatchRomCommand, 1, resolved)) return 0;
    return OneWireWriteBytes(rom, RomBytes, resolved);
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
        for (int bit = 0; bit < BitsPerByte; ++bit) {
            bool mix = ((crc ^ byte) & 1) != 0;
            crc = static_cast<uint8_t>(crc >> 1);
            if (mix) crc ^= Crc8Polynomial;
            byte = static_cast<uint8_t>(byte >> 1);
        }
    }
    return crc;
}

}  // namespace kv
