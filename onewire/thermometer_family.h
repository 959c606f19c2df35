// What the program knows of each thermometer family it reads: how a scratchpad turns into
// degrees, what the part holds right after power-on, how long a conversion takes, and
// whether its resolution can be chosen. Every reader of thermometers asks here rather than
// testing family codes itself.
#pragma once
#include <cstdint>

#include "onewire/scratchpad.h"

namespace kv {

inline constexpr uint8_t FamilyDs18s20 = 0x10;
inline constexpr uint8_t FamilyDs18b20 = 0x28;

// What the monitor waits after a Convert T: a DS18B20 at 12 bits needs 750 ms, a DS18S20
// always 750 ms.
inline constexpr int32_t FullConversionWaitMs = 800;

// Scratchpad bytes 6 and 7. A DS18B20 starts with 0x0C in COUNT_REMAIN and leaves 0x10 minus
// the register's sixteenths there after every conversion, so a measured 85.0 °C holds 0x10. A
// DS18S20 measuring 85.0 °C leaves 0x0C as well: its power-on scratchpad is a possible reading.
inline constexpr int ScratchpadCountRemain = 6;
inline constexpr int ScratchpadCountPerC = 7;
inline constexpr uint8_t PowerOnCountRemain = 0x0C;

struct ThermometerFamily {
    uint8_t code;
    const char* name;         // "DS18B20", "DS18S20"
    const char* maker;        // who makes the parts
    float stepsPerDegree;     // 16 (1/16 °C) or 2 (1/2 °C)
    uint16_t powerOnRaw;      // the temperature register at power-on: 85.0 °C
    bool powerOnTellable;     // COUNT_REMAIN tells the power-on value from a measured 85.0
    bool resolutionSettable;  // the configuration byte chooses 9 to 12 bits
    int32_t writableBytes;    // what Write Scratchpad takes: TH, TL (and the configuration)
};

// nullptr for a family that is no thermometer.
const ThermometerFamily* FindThermometerFamily(uint8_t code);
// Steps per degree of the temperature register: the family's, and halves for a family that
// is no thermometer (never read, should one be).
float TemperatureSteps(uint8_t code);

// The wait a conversion needs at the given resolution (0: not known, the longest).
int32_t ConversionWaitMs(const ThermometerFamily& family, int resolutionBits);
// The resolution the scratchpad's configuration byte selects; 0 for a family without one.
int ScratchpadResolution(const ThermometerFamily& family, const Scratchpad& pad);
// Temperature register and COUNT_REMAIN as the part powers up with them (85.0 °C, 0x0C).
bool HoldsPowerOnValue(const ThermometerFamily& family, const Scratchpad& pad);

}  // namespace kv
