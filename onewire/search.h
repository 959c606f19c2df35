// ROM search, Match ROM and Skip ROM.
#pragma once
#include <cstdint>
#include <span>

#include "onewire/rom_code.h"
#include "onewire/search_state.h"

namespace kv {

inline constexpr uint8_t SearchRomCommand = 0xF0;
inline constexpr uint8_t MatchRomCommand = 0x55;
inline constexpr uint8_t SkipRomCommand = 0xCC;
inline constexpr uint8_t ReadRomCommand = 0x33;

// Clears the calling thread's search state: the next OneWireSearchNext starts a new search.
int OneWireSearchReset();
// One pass of the search from the calling thread's search state. Bits whose direction the
// previous pass fixed go out as one block with the command; from its last discrepancy on,
// each round trip carries one bit's direction and the next bit's two read slots.
int OneWireSearchNext(uint8_t* romOut, int32_t port);
// The same pass from a search state of the caller's own, which the pass moves on (a failed
// pass leaves its last discrepancy and last-device flag as they were). Given `expected`, the
// devices a previous search found (in any order), the pass is a reset and one block when the
// device it would deliver from that list is on the bus: command and all 64 bits with that
// device's directions, checked afterwards against the answers. Where the answers lead
// elsewhere (a device came or went), the block is tried again, up to three times, as a
// flipped bit spoils one; then the path agreed so far is walked again and followed from there
// one round trip per bit. Results and codes as OneWireSearchNext's.
int OneWireSearchNext(SearchState& state, uint8_t* romOut, int32_t port,
                      std::span<const RomCode> expected = {});
// Whether a pass from this search state has one of `expected` to expect (or, after the last
// device, nothing to do): the pass is then a reset and one block on an unchanged bus.
bool OneWireSearchExpects(const SearchState& state, std::span<const RomCode> expected);
// The same pass one slot per round trip (three per bit): the same slots on the wire, the
// same results and codes, at about three times the round trips. (When the devices change
// between passes so that none is left on the previous pass's path, the block form notices
// it only after its block, and walks the path again from a reset to follow them.)
int OneWireSearchNextBySlots(uint8_t* romOut, int32_t port);
int OneWireMatchRom(const uint8_t* rom, int32_t port);
int OneWireSkipRom(int32_t port);

}  // namespace kv
