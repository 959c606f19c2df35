// What one bounded enumeration of the devices on a bus gives: the codes it found and how it
// ended, so that a caller can tell a complete list from a spoiled one, and the guards a real
// line needs (a repeated code, the all-zero code of a line held low, a limit of devices).
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "onewire/rom_code.h"

namespace kv {

// A 1-Wire segment carries a few hundred devices at most; a bus that keeps answering past
// this is not believed.
inline constexpr int32_t EnumerationDeviceLimit = 256;

enum class EnumerationEnd : int32_t {
    Complete,      // the search delivered its last device: the list is the whole bus
    NoDevices,     // nobody answered the first reset: an empty bus
    BusError,      // a pass failed (result says how); the list holds what came before
    RepeatedCode,  // a code came twice: the bus is not telling the truth
    LineHeldLow,   // the all-zero code: the line is held low, not a device
    Limit,         // more devices than the limit
    Interrupted,   // the caller's keepGoing said no
};

// Pass retries that let an enumeration ride out a flipped bit on a real line.
inline constexpr int32_t EnumerationPassRetries = 3;

struct EnumerationOptions {
    int32_t limit = EnumerationDeviceLimit;
    // A failed pass is repeated from the state before it this many times before the
    // enumeration gives up; one flipped bit then costs a pass, not the whole list.
    int32_t passRetries = 0;
    // Asked before every pass after the first; false ends the enumeration (Interrupted).
    std::function<bool()> keepGoing;
};

struct Enumeration {
    std::vector<RomCode> codes;  // in search order, each at most once, never all zeros
    EnumerationEnd end = EnumerationEnd::Complete;
    int32_t result = 0;          // the 1-Wire result code of the call that ended it
    int32_t repeatedPasses = 0;  // failed passes that were tried again
};

// True when the list is known to be the whole bus (Complete or NoDevices).
bool EnumerationIsWhole(const Enumeration& enumeration);

// A line held low (a short, or an unpowered adapter) reads every bit as 0: a search then
// delivers the all-zero ROM code and a scratchpad nine zero bytes, both with a CRC-8 of 0,
// so both pass their CRC. No device carries family 0x00 and no thermometer's configuration
// byte is 0, so either is the line, not a device or a reading.
bool OneWireReadsAsLineHeldLow(std::span<const uint8_t> bytes);

}  // namespace kv
