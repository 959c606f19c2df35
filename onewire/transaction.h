// Whole transactions in two round trips: the reset, then the ROM command, the function
// command and the read slots of the answer as one block of slots. The slots on the wire are
// those of the one-operation-at-a-time sequence (OneWireMatchRom or OneWireSkipRom, the
// command byte, OneWireReadBytes or OneWireReadBit), and so are the result codes; what
// changes is that a USB converter's latency is paid twice, not five times.
#pragma once
#include <cstdint>

namespace kv {

// rom: the 8-byte ROM code to address with Match ROM, or nullptr for Skip ROM (every
// device). replyBits read slots follow the command; their bits go into reply, least
// significant bit first, (replyBits + 7) / 8 bytes. Returns 1 when the reset saw a presence
// pulse and every echo came back, else 0 with the result code of the failing step.
int OneWireTransaction(const uint8_t* rom, uint8_t command, uint8_t* reply, int32_t replyBits,
                       int32_t port);

// Convert T, to every device (rom nullptr) or to one.
int OneWireStartConversion(const uint8_t* rom, int32_t port);
// Match ROM + Read Scratchpad: the nine bytes of one device.
int OneWireReadDeviceScratchpad(const uint8_t* rom, uint8_t* buffer9, int32_t port);
// Match ROM + Read Power Supply: 1 external, 0 parasite; 0 with the code set on failure.
int OneWireReadDevicePowerSupply(const uint8_t* rom, int32_t port);

}  // namespace kv
