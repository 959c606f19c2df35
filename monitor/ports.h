// Port discovery (window thread, once) and opening and searching the chosen port
// (worker thread only, so every bus transaction stays there).
#pragma once
#include <cstdint>
#include <string_view>

#include "monitor/sensor_list.h"

namespace kv {

// A 1-Wire segment carries a few hundred devices at most; a bus that keeps answering
// past this (a line stuck low answers every bit as a discrepancy) is not believed.
inline constexpr int32_t MaxSearchDevices = 256;

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
// Closes the current port, opens the one shown in PortSelector and searches it.
void OpenSelectedPort(SensorList& list);
// Enumerates the devices of the current port into the list, builds the rows and reports.
// Returns early (keeping what was found) when a stop or a port change is requested.
void SearchDevices(SensorList& list, std::u16string_view portName);

}  // namespace kv
