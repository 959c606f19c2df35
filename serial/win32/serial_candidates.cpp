// Port names this system offers: COM1 to COM255, the names Windows gives serial ports,
// in ascending order. Which of them exist is found out by opening them.
#include <string>

#include "serial/serial_device.h"

namespace kv {
namespace {

constexpr int FirstComPort = 1;
constexpr int LastComPort = 255;

}  // namespace

std::vector<std::string> PlatformSerialCandidates() {
    std::vector<std::string> names;
    names.reserve(LastComPort - FirstComPort + 1);
    for (int n = FirstComPort; n <= LastComPort; ++n) names.push_back("COM" + std::to_string(n));
    return names;
}

}  // namespace kv
