// The bus master's face: what the protocol asks of whatever drives the line, in 1-Wire
// terms: a port opened as a bus and powered, a reset with its presence pulse, slots that
// write a bit or read one, and blocks of them. A read slot is a slot that writes a 1: the
// line stays high unless a device pulls it low, so what the line did in a slot is a bit.
// How the slots are made is the master's: the passive adapter's UART master (onewire/uart/)
// is the one behind this face, and nothing above it sees a slot's encoding.
//
// Every operation reports how it ended through the calling thread's result code. Those that
// take a port accept a fixed identifier, an assigned one or PortCurrent, and resolve it
// first (NoOpenPort when it names no open port); the single slots, OneWirePurge and
// OneWireTouchBits take a resolved one.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

namespace kv {

inline constexpr int32_t MaxBlockBytes = 999999;

// Opens the named serial device as a bus (0 to 999, PortDynamic or PortCurrent) and powers
// the adapter; 0 on failure, else nonzero: the new identifier for PortDynamic and
// PortCurrent.
int OneWireOpen(std::u16string_view name, int32_t port);
// Unpowers the adapter and closes the port; 1 or 0 (NoOpenPort).
int OneWireClose(int32_t port);

// The identifier to use for `port` (PortCurrent mapped), with Ok and nothing left over from
// earlier slots, or NoOpenPort.
int32_t OneWireResolvePort(int32_t port);
// Forgets what the line did in slots nobody collected.
void OneWirePurge(int32_t port);

// A reset: 1 when a presence pulse answered it, else 0 (NoResponse, or the failure's code).
int OneWireReset(int32_t port);

// Steps of the single slots.
inline constexpr int SlotWait = 1;   // wait until the slot has ended
inline constexpr int SlotDrain = 2;  // OneWireWriteSlot: collect what the line did and drop it
inline constexpr int SlotPurge = 2;  // OneWireReadBit: forget uncollected slots first
inline constexpr int SlotSend = 4;   // OneWireReadBit: make the slot (else collect one made)
inline constexpr int SlotComplete = SlotWait | SlotPurge | SlotSend;  // one whole read slot
inline constexpr int SlotCollected = SlotWait | SlotDrain;            // one whole write slot

// A slot writing the lowest bit of `bit`. Whether the slot ended is not checked: it is
// never an error, and the result code is left alone. Returns 0.
int OneWireWriteSlot(int bit, int32_t port, int flags);
// A read slot: the bit the line carried, 1 only when it stayed high. A failed slot returns
// 1 with ExchangeError.
int OneWireReadBit(int32_t port, int flags);

// A block of slots, one per element of `bits` (1: write a 1, which is also a read slot; 0:
// write a 0), all made at once: one round trip however long. Afterwards every element holds
// what the line did in its slot, 1 only where it stayed high; on failure they stay as they
// were. For transactions in which no slot depends on one read before it. Takes a resolved
// port; Ok, BadArgument (none, or more than 7,999,992) or ExchangeError.
int OneWireTouchBits(std::span<uint8_t> bits, int32_t port);

// The byte as eight slots made one at a time, and the byte the line made of them; 0xFF after
// a failure on the way, 0 when the port is not open.
uint8_t OneWireTouchByte(uint8_t value, int32_t port);
// The least time the line takes for `resets` resets and `slots` slots after them, in
// microseconds: what a timing of the bus cannot have ended sooner than.
int64_t OneWireWireMicroseconds(int32_t resets, int32_t slots);
// Single-byte form: count 1 and a value 0..255.
int OneWireWriteBytes(int value, int32_t count, int32_t port);
// Block form: count 1..999,999 bytes, as one block.
int OneWireWriteBytes(const uint8_t* data, int32_t count, int32_t port);
// count 1..999,999 bytes of read slots, as one block.
int OneWireReadBytes(uint8_t* buffer, int32_t count, int32_t port);

}  // namespace kv
