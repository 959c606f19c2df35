// Selection of serial port candidates from the kernel's terminal devices.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace kv {

// Keeps the names of serial device families (ttyS*, ttyUSB*, ttyACM*, ttyAMA*, rfcomm*)
// that `usable` accepts, in natural order.
std::vector<std::string> SelectSerialCandidates(
    std::vector<std::string> names, const std::function<bool(const std::string&)>& usable);

}  // namespace kv
