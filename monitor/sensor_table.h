// The rows of the sensor table built after a search: one per listed device, with its type,
// ROM code (and CRC warning), power mode asked of the device, and the initial texts.
#pragma once
#include "onewire/search.h"
#include "session/sensor_list.h"

namespace kv {

// Rebuilds every row of SensorTable from the list; uses the bus for the power mode.
void FillSensorList(SensorList& list);

}  // namespace kv
