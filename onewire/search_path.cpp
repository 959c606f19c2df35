#include "onewire/search_path.h"

#include <algorithm>

namespace kv {
namespace {

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
bool FollowsPath(const SearchState& state, const RomCode& rom) {
    for (int bitNumber = 1; bitNumber < state.lastDiscrepancy; ++bitNumber) {
        if (BitAt(rom, bitNumber - 1) != (PathBit(state, bitNumber) != 0)) return false;
    }
    return state.lastDiscrepancy == 0 || BitAt(rom, state.lastDiscrepancy - 1);
}

}  // namespace

int PathBit(const SearchState& state, int bitNumber) {
    return BitAt(state.romCode, bitNumber - 1) ? 1 : 0;
}

void SetPathBit(SearchState& state, int bitNumber, int direction) {
    SetBitAt(state.romCode, bitNumber - 1, direction != 0);
}

int Direction(const SearchState& state, int bitNumber, int idBit, int complementBit) {
    if (idBit != complementBit) return idBit;  // every answering device agrees
    if (bitNumber < state.lastDiscrepancy) return PathBit(state, bitNumber);
    return bitNumber == state.lastDiscrepancy ? 1 : 0;
}

int FinishPass(SearchState& state, int lastZero, uint8_t* romOut) {
    state.lastDiscrepancy = lastZero;
    if (lastZero == 0) state.lastDeviceFlag = 1;
    for (int i = 0; i < RomBytes; ++i) romOut[i] = state.romCode[i];
    return 1;
}

int FirstOpenBit(const SearchState& state) {
    return state.lastDiscrepancy > 1 ? state.lastDiscrepancy : 1;
}

const RomCode* NextExpected(const SearchState& state, std::span<const RomCode> expected) {
    const RomCode* next = nullptr;
    for (const RomCode& rom : expected) {
        if (FollowsPath(state, rom) && (!next || SearchesBefore(rom, *next))) next = &rom;
    }
    return next;
}

void BlockAnswers::add(const BitRun& bits) {
    ones.resize(bits.size(), false);
    for (size_t i = 0; i < bits.size(); ++i) ones[i] = ones[i] || bits[i] != 0;
}

BitRun ExpectedBlock(uint8_t command, const RomCode& next) {
    BitRun bits;
    AppendByteBits(bits, command);
    for (int bit = 0; bit < RomBits; ++bit) bits.insert(bits.end(), {1, 1, BitAt(next, bit)});
    return bits;
}

int CheckExpected(const SearchState& state, const BlockAnswers& answers, const RomCode& next,
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

const RomCode* ExpectedInstead(const SearchState& state, const BlockAnswers& answers,
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

}  // namespace kv
