// Finding the devices of the current port (worker thread only): the search that fills the
// list after a port was opened, and the later searches that keep the list true to the bus.
#pragma once
#include <string_view>

#include "session/find_devices.h"
#include "session/sensor_list.h"

namespace kv {

// Enumerates the current port (stopping early for a stop or port change request), repeating
// a spoiled enumeration; the best attempt's codes in search order and how it ended.
Enumeration FindDevices();

// Enumerates the devices of the current port into the list, builds the rows and reports.
// A list that is not known to be the whole bus is reported as such. After a complete search
// the list is brought in line with it as UpdateDevices does; otherwise it holds what the
// search found, in search order. Returns how the search
// ended; the worker thread's last search end is kept for LastSearchEnd as well.
EnumerationEnd SearchDevices(SensorList& list, std::u16string_view portName);
EnumerationEnd LastSearchEnd();

// Brings the list in line with a search made while monitoring; the records keep their order
// and state, newcomers come behind them in search order. After a whole search a device it
// did not find goes, unless it is a thermometer that has answered: that one stays, marked
// NotAnswering, until it answers again. A spoiled search only adds newcomers whose ROM code
// passes its CRC. When the devices changed, the rows are rebuilt and the cursor stands
// before the first record; returns whether they changed.
bool UpdateDevices(SensorList& list, const Enumeration& found);

}  // namespace kv
