// Port discovery (window thread, once) and opening and searching the chosen port
// (worker thread only, so every bus transaction stays there).
#pragma once
#include <cstdint>
#include <string_view>

#include "monitor/sensor_list.h"

namespace kv {

// Probe settings of a candidate port.
inline constexpr int ProbeBaud = 9600;
inline constexpr int ProbeDataBits = 8;
inline constexpr int ProbeParity = 0;
inline constexpr double ProbeStopBits = 1.0;
inline constexpr int ProbeHandshake = 0;
inline constexpr int ProbeQueueBytes = 255;

// Fills the chooser with the ports that can be opened now: the system's serial devices in
// natural order, then the registered virtual ports.
void ListComPorts(int chooser);
// Closes the current port, opens the one shown in PortSelector and searches it
// (SearchDevices).
void OpenSelectedPort(SensorList& list);

}  // namespace kv
