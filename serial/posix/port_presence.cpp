// Looking at device nodes without disturbing whoever else uses them. The descriptor is
// never configured and never flushed; the advisory lock taken to see whether another
// holder has one goes with the close.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <vector>

#include "serial/device_path.h"
#include "serial/port_presence.h"
#include "serial/posix/device_folders.h"
#include "serial/posix/exclusive_use.h"
#include "serial/serial_device.h"

namespace kv {
namespace {

// The character device a path leads to, following links; false when there is none.
bool DeviceNumber(const std::string& path, dev_t& device) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    device = st.st_rdev;
    return true;
}

std::string LastPart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool PlatformSerialCanOffer(const std::string& path) {
    // A holder that asked for exclusive use makes this open fail (EBUSY), except for the
    // superuser, who must ask the terminal.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    termios settings{};
    const bool usable = isatty(fd) && tcgetattr(fd, &settings) == 0 && !SerialHeldExclusively(fd) &&
                        flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return usable;
}

bool PlatformSerialExists(const std::string& path) {
    dev_t device{};
    return DeviceNumber(path, device);
}

std::string PlatformStableIdentity(const std::string& path) {
    dev_t device{};
    if (!DeviceNumber(path, device)) return {};
    const std::string folder = SerialStableFolderPath();
    for (const std::string& name : SerialFolderEntries(folder)) {
        dev_t other{};
        if (DeviceNumber(folder + name, other) && other == device) return name;
    }
    return {};
}

std::string PlatformNameOfIdentity(const std::string& identity) {
    if (identity.empty() || identity.find('/') != std::string::npos) return {};
    const std::string link = SerialStableFolderPath() + identity;
    dev_t device{};
    if (!DeviceNumber(link, device)) return {};
    const std::string folder = SerialDeviceFolderPath();
    // The system's links point at the node by name ("../../ttyUSB1"); look there first.
    char target[256];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0) {
        const std::string named = LastPart(std::string(target, static_cast<size_t>(n)));
        dev_t other{};
        if (DeviceNumber(folder + named, other) && other == device) return named;
    }
    for (const std::string& name : PlatformSerialCandidates()) {
        dev_t other{};
        if (DeviceNumber(folder + name, other) && other == device) return name;
    }
    return {};
}

}  // namespace kv
