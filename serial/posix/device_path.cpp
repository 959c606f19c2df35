#include "serial/device_path.h"

#include <mutex>

#include "runtime/utf.h"
#include "serial/posix/device_folders.h"

namespace kv {
namespace {

std::mutex foldersLock;
std::string deviceFolder(SerialDeviceFolder);
std::string stableFolder(SerialStableFolder);
std::string ttyClassFolder(SerialTtyClassFolder);

std::string WithSlash(std::string_view folder, std::string_view fallback) {
    if (folder.empty()) return std::string(fallback);
    std::string path(folder);
    if (path.back() != '/') path += '/';
    return path;
}

}  // namespace

void SerialSetDeviceFolders(std::string_view devices, std::string_view stable,
                            std::string_view ttyClass) {
    std::lock_guard lock(foldersLock);
    deviceFolder = WithSlash(devices, SerialDeviceFolder);
    stableFolder = WithSlash(stable, SerialStableFolder);
    ttyClassFolder = WithSlash(ttyClass, SerialTtyClassFolder);
}

std::string SerialDeviceFolderPath() {
    std::lock_guard lock(foldersLock);
    return deviceFolder;
}

std::string SerialStableFolderPath() {
    std::lock_guard lock(foldersLock);
    return stableFolder;
}

std::string SerialTtyClassFolderPath() {
    std::lock_guard lock(foldersLock);
    return ttyClassFolder;
}

bool SerialDevicePath(std::u16string_view name, std::string& path) {
    if (name.empty()) return false;
    for (char16_t c : name) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    if (name.find(u"..") != std::u16string_view::npos) return false;
    bool absolute = name.front() == u'/';
    if (!absolute && name.find(u'/') != std::u16string_view::npos) return false;
    std::string utf8 = Utf8FromUtf16(name);
    path = absolute ? utf8 : SerialDeviceFolderPath() + utf8;
    return true;
}

}  // namespace kv
