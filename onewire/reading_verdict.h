// One reading of one thermometer and the verdict on it. The verdict is the one check every
// consumer of readings relies on: the window, the log, the probe and its exports take a
// temperature only from a reading whose verdict is Ok.
#pragma once
#include <cstdint>
#include <string>

#include "onewire/ds18x20.h"
#include "onewire/rom_code.h"

namespace kv {

enum class Verdict : int32_t {
    Ok,             // a measured temperature, sound in every respect
    ScratchpadCrc,  // the scratchpad fails its CRC, or is the all-ones line of a silent device
    RomCrc,         // the device's ROM code fails its CRC: whose reading it is, is not known
    PowerOn,        // the value the part powers up with, not a measurement
    OutOfRange,     // outside -55.0 .. 127.0 °C
    LineHeldLow,    // nine zero bytes: the line held low, not a device
    BusFailure,     // Match ROM or Read Scratchpad failed; the reading's result tells how
    Unfinished,     // a conversion the reading needed was cut short; nothing was read
};

struct Reading {
    RomCode rom{};
    Verdict verdict = Verdict::Unfinished;
    int32_t result = 0;  // the 1-Wire result code of a BusFailure
    bool scratchpadRead = false;
    Scratchpad pad{};          // the last scratchpad read
    float celsius = 0.0f;      // decoded from it whatever the verdict
    int resolution = 0;        // DS18B20 bits from a scratchpad that can be trusted, else 0
    bool answered = false;     // a scratchpad came that passed its CRC: the device is there
    int32_t retries = 0;       // scratchpads read again after a failed or spoiled one
    bool confirmed = false;    // a power-on value was checked with a conversion of its own
    bool reconverted = false;  // the conversion had grown too old and was made again

    bool ok() const { return verdict == Verdict::Ok; }
};

// The verdict on a scratchpad read from the device with this ROM code. `confirming`: the
// scratchpad follows a conversion of this device alone made to check a power-on value; a
// family whose power-on scratchpad can also be a measurement then gives a reading.
Verdict JudgeScratchpad(const RomCode& rom, const Scratchpad& pad, bool confirming);

// Whether the addressed device took part in the reading at all: a scratchpad came back that
// is neither the all-ones line of a device that is not there nor the line held low. One that
// noise spoiled still says the device is on the bus.
bool ReadingHeardDevice(const Reading& reading);

// The reading's state as one word: "ok", "crc", "rom-crc", "power-on", "range", "line-low",
// "unfinished", or the name of the 1-Wire result of a bus failure.
std::string ReadingStateName(const Reading& reading);

}  // namespace kv
