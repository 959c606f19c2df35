// Port discovery for the chooser. Runs on the window thread only; nothing here touches a
// bus.
#pragma once

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

}  // namespace kv
