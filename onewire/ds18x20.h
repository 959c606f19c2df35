// DS18B20 / DS18S20 function commands and temperature decoding.
#pragma once
#include <cstdint>

namespace kv {

inline constexpr uint8_t FamilyDs18s20 = 0x10;
inline constexpr uint8_t FamilyDs18b20 = 0x28;
inline constexpr uint8_t ConvertTCommand = 0x44;
inline constexpr uint8_t ReadScratchpadCommand = 0xBE;
inline constexpr uint8_t ReadPowerSupplyCommand = 0xB4;
inline constexpr int ScratchpadSize = 9;
inline constexpr float PlausibleMin = -55.0f;
inline constexpr float PlausibleMax = 127.0f;

int OneWireConvert(int32_t waitMs, int32_t port);
int OneWireReadScratchpad(uint8_t* buffer9, int32_t port);
int OneWireReadPowerSupply(int32_t port);  // 1 external, 0 parasite

bool IsThermometerFamily(uint8_t family);
// raw / 16 for 0x28, raw / 2 for any other family.
float DecodeTemperature(const uint8_t* scratchpad, uint8_t family);
bool IsPlausibleTemperature(float celsius);
bool ScratchpadCrcOk(const uint8_t* scratchpad);

}  // namespace kv
