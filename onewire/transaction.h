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
// The same with data bytes written after the command, before the read slots.
int OneWireTransaction(const uint8_t* rom, uint8_t command, const uint8_t* data, int32_t dataBytes,
                       uint8_t* reply, int32_t replyBits, int32_t port);

// Convert T, to every device (rom nullptr) or to one.
int OneWireStartConversion(const uint8_t* rom, int32_t port);
// Match ROM + Read Scratchpad: the nine bytes of one device.
int OneWireReadDeviceScratchpad(const uint8_t* rom, uint8_t* buffer9, int32_t port);
// Match ROM + Read Power Supply: 1 external, 0 parasite; 0 with the code set on failure.
int OneWireReadDevicePowerSupply(const uint8_t* rom, int32_t port);
// Match ROM + Write Scratchpad: TH, TL and, for a DS18B20, the configuration byte (the
// family's writable bytes); the EEPROM keeps its values.
int OneWireWriteDeviceScratchpad(const uint8_t* rom, const uint8_t* bytes, int32_t count,
                                 int32_t port);
// Match ROM + Recall E2: the EEPROM's TH, TL and configuration back into the scratchpad.
int OneWireRecallDeviceEeprom(const uint8_t* rom, int32_t port);

}  // namespace kv
