#include "onewire/port.h"

#include <memory>
#include <new>

#include "onewire/echo_ledger.h"
#include "onewire/result.h"

namespace kv {
namespace {

// Written by the window thread, read by the bus between two polls: one whole word.
std::atomic<uint32_t> OneWireOptions{0};

}  // namespace

std::atomic<int32_t> currentPort{PortNone};

int OneWireSetOptions(uint32_t options) {
    OneWireOptions.store(options);
    return 0;
}

uint32_t OneWireGetOptions() {
    return OneWireOptions.load();
}

bool PoweredLevel() {
    return (OneWireGetOptions() & OptInvertPower) == 0;
}

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

}  // namespace kv
