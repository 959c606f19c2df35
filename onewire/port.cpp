#include "onewire/port.h"

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

}  // namespace kv
