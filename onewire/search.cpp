#include "onewire/search.h"

#include <array>

#include "onewire/bits.h"
#include "onewire/bus.h"
#include "onewire/result.h"
#include "onewire/search_path.h"

namespace kv {
namespace {

// After the last device a pass sends nothing and says NoData; otherwise it starts from a
// purged input.
bool StartPass(const SearchState& state, int32_t port) {
    if (state.lastDeviceFlag != 0) {
        OneWireSetResult(NoData);
        return false;
    }
    OneWirePurge(port);
    return true;
}

// One pass of the ROM search on a resolved port, one slot per round trip: three round
// trips per bit.
int SearchPassBySlots(SearchState& state, uint8_t command, uint8_t* romOut, int32_t port) {
    if (!StartPass(state, port)) return 0;
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
        OneWireWriteSlot(direction, port, SlotCollected);
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
int Walk(SearchState& state, uint8_t command, int fixed, int32_t port, int& lastZero) {
    lastZero = 0;
    BitRun bits;
    AppendByteBits(bits, command);
    for (int bitNumber = 1; bitNumber < fixed; ++bitNumber)
        bits.insert(bits.end(), {1, 1, static_cast<uint8_t>(PathBit(state, bitNumber))});
    bits.insert(bits.end(), {1, 1});
    if (!OneWireTouchBits(bits, port)) return WalkFailed;

    size_t at = BitsPerByte;  // past the command's slots
    for (int bitNumber = 1; bitNumber < fixed; ++bitNumber, at += SlotsPerRomBit) {
        int idBit = bits[at], complementBit = bits[at + 1];
        if (idBit == 1 && complementBit == 1) {
            OneWireSetResult(SearchError);
            return WalkFailed;
        }
        int direction = Direction(state, bitNumber, idBit, complementBit);
        if (direction != PathBit(state, bitNumber)) return -bitNumber;
        if (idBit == complementBit && direction == 0) lastZero = bitNumber;
    }
    int idBit = bits[at], complementBit = bits[at + 1];
    for (int bitNumber = fixed;; ++bitNumber) {
        if (idBit == 1 && complementBit == 1) {
            OneWireSetResult(SearchError);
            return WalkFailed;
        }
        int direction = Direction(state, bitNumber, idBit, complementBit);
        if (idBit == complementBit && direction == 0) lastZero = bitNumber;
        SetPathBit(state, bitNumber, direction);
        if (bitNumber == RomBits) {
            // Alone, as in the slot-by-slot pass: whether its slot ended is not required.
            OneWireWriteSlot(direction, port, SlotCollected);
            return WalkDone;
        }
        std::array<uint8_t, SlotsPerRomBit> next = {static_cast<uint8_t>(direction), 1, 1};
        if (!OneWireTouchBits(next, port)) return WalkFailed;
        idBit = next[1];
        complementBit = next[2];
    }
}

// Walks from a reset with the path fixed below bit `fixed`, again from a reset as long as
// the devices turn out to have left the path below the bit reached.
int WalkFrom(SearchState& state, uint8_t command, int fixed, uint8_t* romOut, int32_t port) {
    for (;;) {
        if (!OneWireReset(port)) return 0;
        int lastZero = 0;
        int walked = Walk(state, command, fixed, port, lastZero);
        if (walked == WalkDone) return FinishPass(state, lastZero, romOut);
        if (walked == WalkFailed) return 0;
        // The devices changed since the previous pass and all of those still answering
        // left its path at this bit, where the slot-by-slot pass would have followed
        // them. The path up to there still holds: walk it again and follow them.
        fixed = -walked;
    }
}

// A bus that answers otherwise than expected is given this many whole blocks before the pass
// follows it bit by bit.
constexpr int ExpectedBlocks = 3;

// One pass in blocks: one round trip per bit from the previous pass's last discrepancy on,
// one for everything before it. When the device it would deliver from `expected` is on its
// way, the whole pass is one block after the reset (taken again, and read together with the
// blocks before, while the answers do not lead there). Where the answers lead to another
// expected device (the one expected has left), the pass expects that one; where they lead
// where none goes (a newcomer), the pass walks the agreed path again and follows the answers
// from there.
int SearchPass(SearchState& state, uint8_t command, uint8_t* romOut,
               std::span<const RomCode> expected, int32_t port) {
    if (!StartPass(state, port)) return 0;
    const RomCode* next = NextExpected(state, expected);
    if (!next) return WalkFrom(state, command, FirstOpenBit(state), romOut, port);
    int differsAt = 0;
    for (size_t expecting = 0; expecting <= expected.size(); ++expecting) {
        const BitRun block = ExpectedBlock(command, *next);
        BlockAnswers answers;
        for (int round = 0; round < ExpectedBlocks; ++round) {
            if (!OneWireReset(port)) return 0;
            BitRun bits = block;
            if (!OneWireTouchBits(bits, port)) return 0;
            answers.add(bits);
            int lastZero = 0;
            differsAt = CheckExpected(state, answers, *next, expected, lastZero);
            if (differsAt == WalkAsExpected) {
                state.romCode = *next;
                return FinishPass(state, lastZero, romOut);
            }
        }
        const RomCode* instead = ExpectedInstead(state, answers, *next, differsAt, expected);
        if (!instead) break;
        next = instead;
    }
    for (int bitNumber = 1; bitNumber < differsAt; ++bitNumber)
        SetPathBit(state, bitNumber, BitAt(*next, bitNumber - 1) ? 1 : 0);
    return WalkFrom(state, command, differsAt, romOut, port);
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
    OneWireSetResult(Ok);
    static_cast<SearchState&>(OneWireState()) = SearchState{};
    return 1;
}

int OneWireSearchNext(uint8_t* romOut, int32_t port) {
    return OneWireSearchNext(OneWireState(), romOut, port);
}

int OneWireSearchNext(SearchState& state, uint8_t* romOut, int32_t port,
                      std::span<const RomCode> expected) {
    if (!romOut) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    return SearchPass(state, SearchRomCommand, romOut, expected, port);
}

bool OneWireSearchExpects(const SearchState& state, std::span<const RomCode> expected) {
    return state.lastDeviceFlag != 0 || NextExpected(state, expected) != nullptr;
}

int OneWireSearchNextBySlots(uint8_t* romOut, int32_t port) {
    if (!romOut) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    return SearchPassBySlots(OneWireState(), SearchRomCommand, romOut, port);
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

}  // namespace kv
