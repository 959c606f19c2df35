// Bits in the order the bus carries them. The bus sends every byte least significant bit
// first, one slot per bit; a ROM code's bits are counted the same way through its eight
// bytes, so bit k of a byte array is bit k % 8 of byte k / 8. A run of slots is a BitRun:
// one element per slot, 0 or 1, in the order the slots go out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kv {

inline constexpr int BitsPerByte = 8;

using BitRun = std::vector<uint8_t>;

inline bool BitAt(std::span<const uint8_t> bytes, int bit) {
    return ((bytes[static_cast<size_t>(bit / BitsPerByte)] >> (bit % BitsPerByte)) & 1) != 0;
}

inline void SetBitAt(std::span<uint8_t> bytes, int bit, bool value) {
    uint8_t& byte = bytes[static_cast<size_t>(bit / BitsPerByte)];
    const auto mask = static_cast<uint8_t>(1u << (bit % BitsPerByte));
    byte = static_cast<uint8_t>(value ? byte | mask : byte & ~mask);
}

// The bits of `byte`, least significant first.
inline void AppendByteBits(BitRun& bits, uint8_t byte) {
    for (int bit = 0; bit < BitsPerByte; ++bit) bits.push_back((byte >> bit) & 1);
}

}  // namespace kv
