// The demonstration bus: three DS18B20 (one of them parasite-powered, two of them clones)
// and one DS18S20 at room temperatures that drift slowly, as a user would see them on a desk.
#pragma once
#include <memory>

#include "sim/sim_bus.h"

namespace kv {

inline constexpr char16_t DemoPortName[] = u"DEMO";

// A fresh bus with the demonstration devices.
std::shared_ptr<SimBus> SimMakeDemoBus();
// Registers the port name "DEMO"; every call registers the same bus again.
void SimRegisterDemoPort();

}  // namespace kv
