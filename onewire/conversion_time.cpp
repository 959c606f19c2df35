#include "onewire/conversion_time.h"

#include <algorithm>

#include "onewire/bits.h"
#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "onewire/transaction.h"
#include "runtime/clock.h"

namespace kv {
namespace {

constexpr int64_t MicrosecondsPerMs = 1000;
// The reset, then Match ROM, the code and Convert T, a slot per bit: the command cannot have
// ended sooner than the line takes for them after it was handed over.
constexpr int32_t CommandSlots = (2 + RomBytes) * BitsPerByte;

int32_t FloorMs(int64_t us) {
    return static_cast<int32_t>(std::max<int64_t>(0, us) / MicrosecondsPerMs);
}
int32_t CeilMs(int64_t us) {
    return static_cast<int32_t>((std::max<int64_t>(0, us) + MicrosecondsPerMs - 1) /
                                MicrosecondsPerMs);
}

}  // namespace

int OneWireTimeConversion(const RomCode& rom, int32_t port, const MeasureWait& wait,
                          ConversionTime& time) {
    time = ConversionTime{};
    const int64_t handedOver = MicrosecondClock();
    uint8_t first = 0;
    if (!OneWireTransaction(rom.data(), ConvertTCommand, &first, 1, port)) return 0;
    const int64_t latest = MicrosecondClock();  // the command ended by its echo
    const int64_t earliest =
        std::min(handedOver + OneWireWireMicroseconds(1, CommandSlots), latest);
    time.busyAtOnce = (first & 1) == 0;
    time.sawBusy = time.busyAtOnce;
    const int32_t resolved = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    int64_t busyUs = 0;
    for (;;) {
        if (!wait(ConversionPollSpacingMs)) {
            time.cutShort = true;
            break;
        }
        const int64_t written = MicrosecondClock();
        const int done = OneWireReadBit(resolved, SlotComplete);
        if (OneWireLastResult() != Ok) return 0;
        const int64_t echoed = MicrosecondClock();
        if (!done) {
            time.sawBusy = true;
            busyUs = std::max(busyUs, written - latest);
        } else if (time.sawBusy) {
            time.ended = true;
            time.doneMs = CeilMs(echoed - earliest);
            break;
        } else if (written - latest >= int64_t{BusySignalGraceMs} * MicrosecondsPerMs) {
            time.noBusySignal = true;
            break;
        }
        if (written - latest >= int64_t{ConversionPollLimitMs} * MicrosecondsPerMs) break;
    }
    time.busyMs = FloorMs(busyUs);
    return 1;
}

}  // namespace kv
