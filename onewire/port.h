// The 1-Wire module's process-wide settings: the current port and the option word.
#pragma once
#include <atomic>
#include <cstdint>

#include "serial/serial_port.h"

namespace kv {

inline constexpr uint32_t OptLowCpu = 1;       // polling loops sleep between polls
inline constexpr uint32_t OptInvertPower = 2;  // adapter powered with DTR and RTS low

extern std::atomic<int32_t> currentPort;  // PortNone while no current port is open

int OneWireSetOptions(uint32_t options);  // returns 0; never touches the result code
uint32_t OneWireGetOptions();

}  // namespace kv
