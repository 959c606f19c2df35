#include "onewire/search.h"

#include <algorithm>
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

// After the last device a pass sends nothing and says NoData; otherwise it starts from a
// purged input.
bool StartPass(int32_t port) {
    if (OneWireState().lastDeviceFlag != 0) {
        OneWireSetResult(NoData);
        return false;
    }
    OneWirePurge(port);
    return true;
}

// The first bit whose direction the previous pass did not fix.
int FirstOpenBit(const OneWireThreadState& state) {
    return state.lastDiscrepancy > 1 ? state.lastDiscrepancy : 1;
}

// One pass of the ROM search on a resolved port, one slot per round trip: three round
// trips per bit.
int SearchPassBySlots(uint8_t command, uint8_t* romOut, int32_t port) {
    if (!StartPass(port)) return 0;
    OneWireThreadState& state = OneWireState();
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
    if (!StartPass(port)) return 0;
    OneWireThreadState& state = OneWireState();
    return WalkFrom(command, FirstOpenBit(state), romOut, port);
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

// A bus that answers otherwise than expected is given this many whole blocks before the pass
// follows it bit by bit.
constexpr int ExpectedBlocks = 3;
constexpr int WalkAsExpected = RomBits + 1;

// The answers of the read slots of a pass sent as one block, over one or more blocks: a slot
// counts as read 1 when any block read it so. A device pulls a read slot low for a 0; a line
// disturbed now and then spoils a 1 far more often than it could make a 0 look like one, so
// two blocks spoiled at different bits still give the true answers together.
struct BlockAnswers {
    std::vector<bool> ones;  // by slot of the block
    void add(const std::vector<uint8_t>& slots) {
        ones.resize(slots.size(), false);
        for (size_t i = 0; i < slots.size(); ++i) ones[i] = ones[i] || slots[i] == SlotOne;
    }
};

// The command and all 64 bits, each with the direction `next` takes, as one block of slots.
std::vector<uint8_t> ExpectedBlock(uint8_t command, const RomCode& next) {
    std::vector<uint8_t> slots;
    AppendByteSlots(slots, command);
    for (int bit = 0; bit < RomBits; ++bit) {
        slots.insert(slots.end(), {SlotOne, SlotOne, SlotFor(BitAt(next, bit))});
    }
    return slots;
}

// Whether the answers lead where `next` goes: WalkAsExpected, with the pass's last zero, or
// the number of the first bit where they do not. They do not where nobody answers, where
// the direction they give differs, and where devices differ that `expected` says all agree
// there (a newcomer, or a disturbed slot).
int CheckExpected(const OneWireThreadState& state, const BlockAnswers& answers, const RomCode& next,
                  std::span<const RomCode> expected, int& lastZero) {
    lastZero = 0;
    std::vector<const RomCode*> answering;  // the expected devices still on the path sent
    for (const RomCode& rom : expected) answering.push_back(&rom);
    size_t at = BitsPerByte;
    for (int bitNumber = 1; bitNumber <= RomBits; ++bitNumber, at += SlotsPerRomBit) {
        const int bit = bitNumber - 1;
        const int idBit = answers.ones[at], complementBit = answers.ones[at + 1];
        if (idBit == 1 && complementBit == 1) return bitNumber;
        const int direction = Direction(state, bitNumber, idBit, complementBit);
        if ((direction != 0) != BitAt(next, bit)) return bitNumber;
        if (idBit == 0 && complementBit == 0) {
            const auto zero = [&](const RomCode* rom) { return !BitAt(*rom, bit); };
            const bool branches = std::any_of(answering.begin(), answering.end(), zero) &&
                                  !std::all_of(answering.begin(), answering.end(), zero);
            if (!branches) return bitNumber;
            if (direction == 0) lastZero = bitNumber;
        }
        std::erase_if(answering,
                      [&](const RomCode* rom) { return BitAt(*rom, bit) != BitAt(next, bit); });
    }
    return WalkAsExpected;
}

// Where the answers of every block led away from `next` at bit `differsAt` to a direction
// that another of `expected` takes there, on the same path before it: that one (the first in
// search order), which the pass then expects. nullptr when the answers lead where none of
// them goes: nobody answered, or a discrepancy none of them explains.
const RomCode* ExpectedInstead(const OneWireThreadState& state, const BlockAnswers& answers,
                               const RomCode& next, int differsAt,
                               std::span<const RomCode> expected) {
    const size_t at = BitsPerByte + static_cast<size_t>(differsAt - 1) * SlotsPerRomBit;
    const int idBit = answers.ones[at], complementBit = answers.ones[at + 1];
    if (idBit == 1 && complementBit == 1) return nullptr;
    const bool direction = Direction(state, differsAt, idBit, complementBit) != 0;
    if (direction == BitAt(next, differsAt - 1)) return nullptr;
    const RomCode* instead = nullptr;
    for (const RomCode& rom : expected) {
        bool samePath = BitAt(rom, differsAt - 1) == direction;
        for (int bit = 0; samePath && bit < differsAt - 1; ++bit)
            samePath = BitAt(rom, bit) == BitAt(next, bit);
        if (samePath && (!instead || SearchesBefore(rom, *instead))) instead = &rom;
    }
    return instead;
}

// A pass that expects the devices of `expected`: when one of them is next on its way, the
// whole pass is one block after the reset (taken again, and read together with the blocks
// before, while the answers do not lead there). Where the answers lead to another expected
// device (the one expected has left), the pass expects that one; where they lead where none
// goes (a newcomer), the pass walks the agreed path again and follows the answers from there
// as SearchPassInBlocks does.
int SearchPassExpecting(uint8_t command, uint8_t* romOut, std::span<const RomCode> expected,
                        int32_t port) {
    if (!StartPass(port)) return 0;
    OneWireThreadState& state = OneWireState();
    const RomCode* next = NextExpected(state, expected);
    if (!next) return WalkFrom(command, FirstOpenBit(state), romOut, port);
    int differsAt = 0;
    for (size_t expecting = 0; expecting <= expected.size(); ++expecting) {
        const std::vector<uint8_t> block = ExpectedBlock(command, *next);
        BlockAnswers answers;
        for (int round = 0; round < ExpectedBlocks; ++round) {
            if (!OneWireReset(port)) return 0;
            std::vector<uint8_t> slots = block;
            if (!OneWireExchangeSlots(slots.data(), static_cast<int32_t>(slots.size()), port))
                return 0;
            answers.add(slots);
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

bool OneWireSearchExpects(const OneWireThreadState& state, std::span<const RomCode> expected) {
    return state.lastDeviceFlag != 0 || NextExpected(state, expected) != nullptr;
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
