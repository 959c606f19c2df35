// How long a thermometer takes to convert, measured on the bus. After Convert T a part with
// its own supply answers read slots with 0 while it converts and with 1 once it is done; a
// part on parasite power lives off the line meanwhile and is waited for, never polled.
#pragma once
#include <cstdint>

#include "onewire/measuring.h"
#include "onewire/search.h"

namespace kv {

// No thermometer converts for this long; a part still busy then is given up on.
inline constexpr int32_t ConversionPollLimitMs = 1500;
// The pause between two read slots; each slot's round trip comes on top of it.
inline constexpr int32_t ConversionPollSpacingMs = 1;
// A part that has not answered a slot with 0 this long after the command never will: it
// does not signal its conversion at all.
inline constexpr int32_t BusySignalGraceMs = 5;

struct ConversionTime {
    bool ended = false;         // a slot saw the part done after it had signalled busy
    bool cutShort = false;      // the caller's wait said stop before that
    bool busyAtOnce = false;    // the slot right after the command found it converting
    bool sawBusy = false;       // some slot found it converting
    bool noBusySignal = false;  // no slot did, for BusySignalGraceMs after the command
    // The conversion took longer than busyMs and was done by doneMs (0 until ended).
    int32_t busyMs = 0;
    int32_t doneMs = 0;
};

// Convert T for this device alone with one read slot right behind it, then read slots until
// one reads 1 after the part signalled busy. The bounds hold whatever the echoes' delay:
// a slot that found it busy counts from its write and the command from its echo, a slot
// that found it done from its echo and the command from its earliest time on the wire, so
// that a converter's latency widens the span instead of shifting it. `wait` makes the pauses
// and can cut the polling short. 0 with the thread's result code when the bus failed.
int OneWireTimeConversion(const RomCode& rom, int32_t port, const MeasureWait& wait,
                          ConversionTime& time);

}  // namespace kv
