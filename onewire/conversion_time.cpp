#include "onewire/conversion_time.h"

#include "onewire/bus.h"
#include "onewire/result.h"
#include "onewire/transaction.h"
#include "runtime/clock.h"

namespace kv {
namespace {

constexpr int64_t MicrosecondsPerMs = 1000;

}  // namespace

int OneWireTimeConversion(const RomCode& rom, int32_t port, const MeasureWait& wait,
                          ConversionTime& time) {
    time = ConversionTime{};
    if (!OneWireStartConversion(rom.data(), port)) return 0;
    const int64_t start = MicrosecondClock();
    const int32_t resolved = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    for (;;) {
        const int done = OneWireReadBit(resolved, SlotComplete);
        if (OneWireLastResult() != Ok) return 0;
        const int64_t at = MicrosecondClock() - start;
        if (done) {
            time.ended = true;
            time.doneMs = static_cast<int32_t>((at + MicrosecondsPerMs - 1) / MicrosecondsPerMs);
            return 1;
        }
        time.busyMs = static_cast<int32_t>(at / MicrosecondsPerMs);
        if (at >= int64_t{ConversionPollLimitMs} * MicrosecondsPerMs) return 1;
        if (!wait(ConversionPollSpacingMs)) {
            time.cutShort = true;
            return 1;
        }
    }
}

}  // namespace kv
