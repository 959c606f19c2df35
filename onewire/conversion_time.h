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

struct ConversionTime {
    bool ended = false;     // a read slot saw the part done within the limit
    bool cutShort = false;  // the caller's wait said stop before that
    int32_t busyMs = 0;     // the last slot that saw it converting (0: none did)
    int32_t doneMs = 0;     // the first slot that saw it done
};

// Convert T for this device alone, then read slots until one reads 1. The command and every
// slot are timed at their echoes, so a converter's latency falls out of the differences and
// the polls' spacing is what is left: the conversion took more than busyMs and at most
// doneMs. `wait` makes the pauses and can cut the polling short. 0 with the thread's result
// code when the bus failed.
int OneWireTimeConversion(const RomCode& rom, int32_t port, const MeasureWait& wait,
                          ConversionTime& time);

}  // namespace kv
