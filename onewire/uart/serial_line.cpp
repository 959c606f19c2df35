#include "onewire/uart/serial_line.h"

#include <memory>
#include <new>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/uart/echo_ledger.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

// The level of DTR and RTS that powers the adapter under the current option word: true
// for high (the usual wiring), false under OptInvertPower.
bool PoweredLevel() {
    return (OneWireGetOptions() & OptInvertPower) == 0;
}

}  // namespace

int32_t OneWireResolvePort(int32_t port) {
    if (port == PortCurrent) port = currentPort.load();
    if (SerialIsOpen(port)) {
        OneWireSetResult(Ok);
        OneWirePurge(port);
    } else {
        OneWireSetResult(NoOpenPort);
    }
    return port;
}

void OneWirePurge(int32_t port) {
    int waiting = SerialInputCount(port);
    if (waiting <= 0) return;
    std::unique_ptr<uint8_t[]> sink(new (std::nothrow) uint8_t[static_cast<size_t>(waiting) + 2]);
    if (!sink) return;
    EchoLedgerTaken(port, SerialRead(port, sink.get(), waiting));
}

int SerialSetBaud(int32_t port, int baud) {
    if (!SerialIsOpen(port)) return 0;
    if (SerialHandle(port) == 0) {
        OneWireSetResult(BaudChangeError);
        return 0;
    }
    // The state is applied whole, so the power lines are rewritten with the speed.
    int level = PoweredLevel() ? 1 : 0;
    if (!SerialApplyState(port, baud, level, level)) {
        OneWireSetResult(BaudChangeError);
        return 0;
    }
    return 1;
}

void SetPowerLines(int32_t port, bool powered) {
    int level = (powered ? PoweredLevel() : !PoweredLevel()) ? 1 : 0;
    SerialSetLine(port, SerialLineDtr, level);
    SerialSetLine(port, SerialLineRts, level);
}

}  // namespace kv
