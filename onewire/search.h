// ROM search, Match ROM, Skip ROM and the Dallas/Maxim CRC-8.
#pragma once
#include <array>
#include <cstdint>
#include <span>

namespace kv {

inline constexpr int RomBytes = 8;
using RomCode = std::array<uint8_t, RomBytes>;  // family, serial (LSB first), CRC-8

inline constexpr uint8_t SearchRomCommand = 0xF0;
inline constexpr uint8_t MatchRomCommand = 0x55;
inline constexpr uint8_t SkipRomCommand = 0xCC;
inline constexpr uint8_t ReadRomCommand = 0x33;

int OneWireSearchReset();
// One pass of the search. Bits whose direction the previous pass fixed go out as one block
// with the command; from its last discrepancy on, each round trip carries one bit's
// direction and the next bit's two read slots.
int OneWireSearchNext(uint8_t* romOut, int32_t port);
// The same pass on a bus expected to hold the devices of `expected` (in any order), as a
// previous search found them. When the device the pass would deliver from that list is on
// the bus, the pass is a reset and one block: command and all 64 bits with that device's
// directions, checked afterwards against the answers. Where the answers lead elsewhere (a
// device came or went), a second block is tried, as a flipped bit spoils one; then the path
// agreed so far is walked again and followed from there one round trip per bit. Results,
// codes and search state as OneWireSearchNext's.
int OneWireSearchNextExpecting(uint8_t* romOut, std::span<const RomCode> expected, int32_t port);
// The same pass one slot per round trip (three per bit): the same slots on the wire, the
// same results and codes, at about three times the round trips. (When the devices change
// between passes so that none is left on the previous pass's path, the block form notices
// it only after its block, and walks the path again from a reset to follow them.)
int OneWireSearchNextBySlots(uint8_t* romOut, int32_t port);
int OneWireMatchRom(const uint8_t* rom, int32_t port);
int OneWireSkipRom(int32_t port);
int OneWireCrc8(const uint8_t* data, int32_t length);  // 0..255, or 0 with BadArgument

}  // namespace kv
