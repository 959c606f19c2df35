// Port names this system offers: the terminal devices of the kernel's list that a driver
// serves, of the serial device families, with a node in the device folder; bare, in natural
// order. Nothing is opened here, so a port that is not there is never touched.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <string_view>

#include "serial/natural_order.h"
#include "serial/posix/device_folders.h"
#include "serial/posix/serial_candidates.h"
#include "serial/serial_device.h"

namespace kv {
namespace {

constexpr std::array<std::string_view, 5> CandidatePrefixes = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA",
                                                               "rfcomm"};
// The port type a legacy UART slot without a chip behind it reports (PORT_UNKNOWN); its
// driver is there all the same.
constexpr int EmptyUartSlotType = 0;

bool HasCandidatePrefix(std::string_view name) {
    return std::any_of(CandidatePrefixes.begin(), CandidatePrefixes.end(), [&](auto prefix) {
        return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix;
    });
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;  // follows links
}

bool IsEmptyUartSlot(const std::string& classEntry) {
    std::ifstream type(classEntry + "/type");
    int value = -1;
    return (type >> value) && value == EmptyUartSlotType;
}

bool IsDeviceNode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

std::vector<std::string> SerialFolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> SelectSerialCandidates(
    std::vector<std::string> names, const std::function<bool(const std::string&)>& usable) {
    std::erase_if(
        names, [&](const std::string& name) { return !HasCandidatePrefix(name) || !usable(name); });
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

std::vector<std::string> PlatformSerialCandidates() {
    const std::string classFolder = SerialTtyClassFolderPath();
    const std::string deviceFolder = SerialDeviceFolderPath();
    return SelectSerialCandidates(SerialFolderEntries(classFolder), [&](const std::string& name) {
        const std::string entry = classFolder + name;
        return Exists(entry + "/device/driver") && !IsEmptyUartSlot(entry) &&
               IsDeviceNode(deviceFolder + name);
    });
}

}  // namespace kv
