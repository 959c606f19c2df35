// DS18B20 / DS18S20 function commands and temperature decoding.
#pragma once
#include <cstdint>

#include "onewire/scratchpad.h"
#include "onewire/thermometer_family.h"

namespace kv {

inline constexpr uint8_t ConvertTCommand = 0x44;
inline constexpr uint8_t ReadScratchpadCommand = 0xBE;
inline constexpr uint8_t ReadPowerSupplyCommand = 0xB4;
inline constexpr uint8_t WriteScratchpadCommand = 0x4E;
inline constexpr uint8_t CopyScratchpadCommand = 0x48;
inline constexpr uint8_t RecallEepromCommand = 0xB8;
inline constexpr float PlausibleMin = -55.0f;
inline constexpr float PlausibleMax = 127.0f;
// The EEPROM write that Copy Scratchpad starts takes at most this long.
inline constexpr int32_t CopyScratchpadMs = 10;

int OneWireConvert(int32_t waitMs, int32_t port);
int OneWireReadScratchpad(uint8_t* buffer9, int32_t port);
int OneWireReadPowerSupply(int32_t port);  // 1 external, 0 parasite
// The scratchpad's TH, TL and configuration into the EEPROM; waits for the write.
int OneWireCopyScratchpad(int32_t port);

bool IsThermometerFamily(uint8_t family);
// raw / 16 for 0x28, raw / 2 for any other family.
float DecodeTemperature(const uint8_t* scratchpad, uint8_t family);
bool IsPlausibleTemperature(float celsius);
bool ScratchpadCrcOk(const uint8_t* scratchpad);
// A ROM code is sound when byte 7 is the CRC-8 of bytes 0 to 6.
bool RomCrcOk(const uint8_t* rom);

}  // namespace kv
