// Opening the chosen port and searching its bus: worker thread only, so every bus
// transaction stays there.
#pragma once
#include <cstdint>
#include <string_view>

#include "session/sensor_list.h"

namespace kv {

// Closes the current port, opens the one shown in PortSelector (or, with no selection, the
// kept choice of a port not offered when the list was made) and searches it.
void OpenSelectedPort(SensorList& list);

}  // namespace kv
