// Bits of data bytes and the slots that carry them. The bus sends every byte least
// significant bit first, one slot per bit; a ROM code's bits are counted the same way
// through its eight bytes, so bit k of a byte array is bit k % 8 of byte k / 8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "onewire/bus.h"

namespace kv {

inline constexpr int BitsPerByte = 8;

constexpr uint8_t SlotFor(bool bit) {
    return bit ? SlotOne : SlotZero;
}

inline bool BitAt(std::span<const uint8_t> bytes, int bit) {
    return ((bytes[static_cast<size_t>(bit / BitsPerByte)] >> (bit % BitsPerByte)) & 1) != 0;
}

inline void SetBitAt(std::span<uint8_t> bytes, int bit, bool value) {
    uint8_t& byte = bytes[static_cast<size_t>(bit / BitsPerByte)];
    const auto mask = static_cast<uint8_t>(1u << (bit % BitsPerByte));
    byte = static_cast<uint8_t>(value ? byte | mask : byte & ~mask);
}

// The slots that write `byte`.
inline void AppendByteSlots(std::vector<uint8_t>& slots, uint8_t byte) {
    for (int bit = 0; bit < BitsPerByte; ++bit) slots.push_back(SlotFor(((byte >> bit) & 1) != 0));
}

}  // namespace kv
