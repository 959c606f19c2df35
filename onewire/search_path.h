// The path a ROM search takes through the tree of codes, worked out from the answers of
// the read slots, with no bus work: the direction taken at each bit, where a pass ends, and
// for a search that expects the devices an earlier one found, which of them comes next and
// whether a block's answers lead to it. The search numbers the bits of a code from 1 to 64.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "onewire/bits.h"
#include "onewire/rom_code.h"
#include "onewire/search_state.h"

namespace kv {

inline constexpr int RomBits = RomBytes * BitsPerByte;
// Per bit of the ROM: the id bit and its complement are read, then the direction written.
inline constexpr int SlotsPerRomBit = 3;
// What CheckExpected gives when the answers lead where the expected device goes.
inline constexpr int WalkAsExpected = RomBits + 1;

int PathBit(const SearchState& state, int bitNumber);
void SetPathBit(SearchState& state, int bitNumber, int direction);
// The direction taken at a bit whose id and complement bits were read (not both 1).
int Direction(const SearchState& state, int bitNumber, int idBit, int complementBit);
// Ends a pass that decided all 64 bits: the state moves on and `romOut` gets the code.
int FinishPass(SearchState& state, int lastZero, uint8_t* romOut);
// The first bit whose direction the previous pass did not fix.
int FirstOpenBit(const SearchState& state);

// The code the next pass delivers if the bus holds exactly the expected devices; nullptr when
// none of them is left on its way.
const RomCode* NextExpected(const SearchState& state, std::span<const RomCode> expected);

// The answers of the read slots of a pass sent as one block, over one or more blocks: a slot
// counts as read 1 when any block read it so. A device pulls a read slot low for a 0; a line
// disturbed now and then spoils a 1 far more often than it could make a 0 look like one, so
// two blocks spoiled at different bits still give the true answers together.
struct BlockAnswers {
    std::vector<bool> ones;  // by slot of the block
    void add(const BitRun& bits);
};

// The command and all 64 bits, each with the direction `next` takes, as one block of slots.
BitRun ExpectedBlock(uint8_t command, const RomCode& next);

// Whether the answers lead where `next` goes: WalkAsExpected, with the pass's last zero, or
// the number of the first bit where they do not. They do not where nobody answers, where
// the direction they give differs, and where devices differ that `expected` says all agree
// there (a newcomer, or a disturbed slot).
int CheckExpected(const SearchState& state, const BlockAnswers& answers, const RomCode& next,
                  std::span<const RomCode> expected, int& lastZero);

// Where the answers of every block led away from `next` at bit `differsAt` to a direction
// that another of `expected` takes there, on the same path before it: that one (the first in
// search order), which the pass then expects. nullptr when the answers lead where none of
// them goes: nobody answered, or a discrepancy none of them explains.
const RomCode* ExpectedInstead(const SearchState& state, const BlockAnswers& answers,
                               const RomCode& next, int differsAt,
                               std::span<const RomCode> expected);

}  // namespace kv
