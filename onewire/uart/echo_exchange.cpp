#include "onewire/uart/echo_exchange.h"

#include <algorithm>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/uart/echo_ledger.h"
#include "onewire/uart/encoding.h"
#include "runtime/clock.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

constexpr int64_t MicrosecondsPerSecond = 1'000'000;
constexpr int64_t MicrosecondsPerMillisecond = 1'000;
constexpr int UartBitsPerByte = 10;  // start bit, eight data bits, stop bit

// Waits until `wanted` echoes wait in the input or the MicrosecondClock reaches `end`,
// sleeping in the serial device until bytes arrive. Under OptLowCpu it first sleeps through
// the wire time the echoes need at least (`wireUs`), so that a long block wakes the thread
// about once rather than at every packet. The options are read afresh at each wait because
// the window thread may change them meanwhile. True when the echoes are there.
bool WaitForInput(int32_t port, int wanted, int64_t end, int64_t wireUs) {
    bool wireSlept = (OneWireGetOptions() & OptLowCpu) == 0;
    for (;;) {
        if (SerialInputCount(port) >= wanted) return true;
        const int64_t left = end - MicrosecondClock();
        if (left <= 0) return false;
        if (!wireSlept) {
            DelayMicroseconds(std::min(left, wireUs));
            wireSlept = true;
            continue;
        }
        // Whole milliseconds, rounded up: a limit is never cut short.
        const int64_t leftMs = (left + MicrosecondsPerMillisecond - 1) / MicrosecondsPerMillisecond;
        if (SerialWaitInput(port, wanted, static_cast<int>(leftMs)) < 0) return false;
    }
}

}  // namespace

// Rounded to the nearest microsecond.
int64_t ByteMicroseconds(int baud) {
    return (UartBitsPerByte * MicrosecondsPerSecond + baud / 2) / baud;
}

int64_t SlotsWireUs(int slots) {
    return int64_t{slots} * ByteMicroseconds(DataBaud);
}

// How late the echoes came after their wire time is noted for the port.
void EchoWait(int32_t port, int wanted, int64_t start, int64_t limitMs, int64_t wireUs) {
    if (WaitForInput(port, wanted, start + limitMs * MicrosecondsPerMillisecond, wireUs))
        EchoLedgerArrived(port, MicrosecondClock() - start - wireUs);
}

// The echoes an exchange that gave up left on their way are awaited for the port's
// straggler time and discarded with whatever else came.
void DrainStragglers(int32_t port) {
    EchoDrain drain;
    if (!EchoLedgerDrainDue(port, drain)) return;
    if (drain.owed > 0) WaitForInput(port, drain.owed, drain.untilMicroseconds, 0);
    OneWirePurge(port);
}

int EchoSend(int32_t port, const uint8_t* data, int count) {
    DrainStragglers(port);
    const int written = SerialWrite(port, data, count);
    EchoLedgerSent(port, written);
    return written;
}

int EchoTake(int32_t port, uint8_t* data, int count) {
    const int read = SerialRead(port, data, count);
    EchoLedgerTaken(port, read);
    return read;
}

void EchoGiveUp(int32_t port) {
    OneWirePurge(port);
    EchoLedgerGaveUp(port);
}

bool ExchangeSlots(int32_t port, uint8_t* slots, int count, int64_t limitMs, int64_t start,
                   bool clockAfterWrite) {
    if (EchoSend(port, slots, count) != count) {
        EchoGiveUp(port);
        OneWireSetResult(ExchangeError);
        return false;
    }
    if (clockAfterWrite) start = MicrosecondClock();
    EchoWait(port, count, start, limitMs, SlotsWireUs(count));
    if (SerialInputCount(port) != count) {
        EchoGiveUp(port);
        OneWireSetResult(ExchangeError);
        return false;
    }
    if (EchoTake(port, slots, count) != count) {
        EchoLedgerGaveUp(port);
        OneWireSetResult(ExchangeError);
        return false;
    }
    return true;
}

}  // namespace kv
