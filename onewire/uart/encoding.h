// How the passive adapter's UART makes the bus's signals. The adapter ties the UART's
// transmit and receive lines to the data line, so every byte sent comes back as an echo
// shaped by what the devices did: a reset is 0xF0 at 9600 baud, answered by presence when it
// comes back changed; a slot is one byte at 115200 baud, 0xFF for a 1 (and for a read slot),
// 0x00 for a 0, and reads 1 only when it comes back exactly 0xFF. DTR and RTS power it.
#pragma once
#include <cstdint>

namespace kv {

inline constexpr int DataBaud = 115200;
inline constexpr int ResetBaud = 9600;
inline constexpr uint8_t ResetByte = 0xF0;
inline constexpr uint8_t SlotOne = 0xFF;
inline constexpr uint8_t SlotZero = 0x00;

// Time limits of the echo waits, in milliseconds. The waits sleep in the serial device
// until the echoes are there or the limit has passed.
inline constexpr int PowerSettleMs = 20;  // after raising the power lines
inline constexpr int ResetEchoLimitMs = 32;
inline constexpr int SlotEchoLimitMs = 36;
inline constexpr int BlockEchoPerByteMs = 2;  // per data byte, plus the constant below
inline constexpr int BlockEchoConstantMs = 36;

constexpr uint8_t SlotFor(bool bit) {
    return bit ? SlotOne : SlotZero;
}

constexpr bool BitOfEcho(uint8_t echo) {
    return echo == SlotOne;
}

}  // namespace kv
