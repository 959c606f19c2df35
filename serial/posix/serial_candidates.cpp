// Port names this system offers: the serial device nodes of the device folder, bare, in natural
// order. Nothing is opened here except, where sysfs is missing, a legacy 8250 node to ask
// whether any hardware stands behind it.
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <string_view>

#include "serial/natural_order.h"
#include "serial/port_names.h"
#include "serial/posix/device_folders.h"
#include "serial/posix/serial_candidates.h"
#include "serial/serial_device.h"

namespace kv {
namespace {

constexpr std::array<std::string_view, 5> CandidatePrefixes = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA",
                                                               "rfcomm"};
constexpr std::string_view SysTtyFolder = "/sys/class/tty/";

bool HasCandidatePrefix(std::string_view name) {
    return std::any_of(CandidatePrefixes.begin(), CandidatePrefixes.end(), [&](auto prefix) {
        return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix;
    });
}

std::string KernelName(const std::string& path, const std::string& name) {
    char target[256];
    ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return name;
    std::string_view t(target, static_cast<size_t>(n));
    auto slash = t.rfind('/');
    return std::string(slash == std::string_view::npos ? t : t.substr(slash + 1));
}

// A legacy UART placeholder (ttyS* without a chip behind it) reports type 0.
bool IsPlaceholderUart(const std::string& path, const std::string& kernelName) {
    std::ifstream type(std::string(SysTtyFolder) + kernelName + "/type");
    int value = -1;
    if (type >> value) return value == 0;
    if (kernelName.rfind("ttyS", 0) != 0) return false;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    bool unknown = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
    ::close(fd);
    return unknown;
}

}  // namespace

std::vector<std::string> SelectSerialCandidates(
    std::vector<std::string> names, const std::function<bool(const std::string&)>& usable) {
    std::erase_if(
        names, [&](const std::string& name) { return !HasCandidatePrefix(name) || !usable(name); });
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

std::vector<std::string> PlatformSerialCandidates() {
    const std::string folder = SerialDeviceFolderPath();
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
    return SelectSerialCandidates(std::move(names), [&](const std::string& name) {
        std::string path = folder + name;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;  // follows links
        return !IsPlaceholderUart(path, KernelName(path, name));
    });
}

}  // namespace kv
