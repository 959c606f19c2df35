// The 1-Wire module's view of the serial layer: the current port, the option word,
// port resolution with input purging, and the speed switch used by the bus reset.
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
int32_t OneWireResolvePort(int32_t port);  // Ok and purged input, or NoOpenPort
void OneWirePurge(int32_t port);
int SerialSetBaud(int32_t port, int baud);  // 1 or 0 (BaudChangeError)

// The level of DTR and RTS that powers the adapter under the current option word:
// true for high (the usual wiring), false under OptInvertPower.
bool PoweredLevel();

}  // namespace kv
