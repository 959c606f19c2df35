// Opening the chosen port and searching its bus: worker thread only, so every bus
// transaction stays there.
#pragma once
#include <cstdint>
#include <string_view>

#include "monitor/sensor_list.h"

namespace kv {

// A 1-Wire segment carries a few hundred devices at most; a bus that keeps answering
// past this (a line stuck low answers every bit as a discrepancy) is not believed.
inline constexpr int32_t MaxSearchDevices = 256;

// Closes the current port, opens the one shown in PortSelector and searches it.
void OpenSelectedPort(SensorList& list);
// Enumerates the devices of the current port into the list, builds the rows and reports.
// Returns early (keeping what was found) when a stop or a port change is requested.
void SearchDevices(SensorList& list, std::u16string_view portName);

}  // namespace kv
