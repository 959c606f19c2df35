// 1-Wire bus primitives over the UART: a reset is 0xF0 at 9600 baud, a bit is one
// slot byte at 115200 baud read back from the echo, DTR and RTS power the adapter.
#pragma once
#include <cstdint>
#include <string_view>

namespace kv {

inline constexpr int DataBaud = 115200;
inline constexpr int ResetBaud = 9600;
inline constexpr uint8_t ResetByte = 0xF0;
inline constexpr uint8_t SlotOne = 0xFF;
inline constexpr uint8_t SlotZero = 0x00;
inline constexpr int32_t MaxBlockBytes = 999999;
inline constexpr int SlotBytesPerDataByte = 8;

// Time limits of the echo waits, in milliseconds. The waits sleep in the serial device
// until the echoes are there or the limit has passed.
inline constexpr int PowerSettleMs = 20;  // after raising the power lines
inline constexpr int ResetEchoLimitMs = 32;
inline constexpr int SlotEchoLimitMs = 36;
inline constexpr int BlockEchoPerByteMs = 2;  // per data byte, plus the constant below
inline constexpr int BlockEchoConstantMs = 36;

// Step flags of the single-slot operations.
inline constexpr int SlotWait = 1;
inline constexpr int SlotDrain = 2;  // OneWireWriteSlot
inline constexpr int SlotPurge = 2;  // OneWireReadBit
inline constexpr int SlotSend = 4;   // OneWireReadBit
inline constexpr int SlotComplete = SlotWait | SlotPurge | SlotSend;

int OneWireOpen(std::u16string_view name, int32_t port);
int OneWireClose(int32_t port);
int OneWireReset(int32_t port);
int OneWireWriteSlot(int bit, int32_t port, int flags);
int OneWireReadBit(int32_t port, int flags);
uint8_t OneWireTouchByte(uint8_t value, int32_t port);
// Single-byte form: count 1 and a value 0..255.
int OneWireWriteBytes(int value, int32_t count, int32_t port);
// Block form: count 1..999,999 bytes.
int OneWireWriteBytes(const uint8_t* data, int32_t count, int32_t port);
int OneWireReadBytes(uint8_t* buffer, int32_t count, int32_t port);

// Block form of a run of slots (0xFF to write a 1 or to read, 0x00 to write a 0): all are
// written at once and `slots` receives their echoes. For transactions in which no slot
// depends on a read before it; one round trip however long. Takes a resolved port; sets
// Ok, BadArgument (count outside 1 to 7,999,992) or ExchangeError, as the byte forms do.
// Time limit: a single slot's 36 ms plus 2 ms per whole eight slots, which for whole bytes
// is the limit of the byte forms.
int OneWireExchangeSlots(uint8_t* slots, int32_t count, int32_t port);

}  // namespace kv
