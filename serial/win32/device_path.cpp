#include "serial/device_path.h"

#include "runtime/utf.h"

namespace kv {
namespace {

// Ports are opened through the device namespace, which also reaches names above 9 (COM10).
constexpr std::string_view SerialDeviceNamespace = "\\\\.\\";

// Characters that would lead out of the device namespace to a drive, a share or a file.
bool LeavesNamespace(char16_t c) {
    return c == u'\\' || c == u'/' || c == u':';
}

}  // namespace

bool SerialDevicePath(std::u16string_view name, std::string& path) {
    if (name.empty()) return false;
    for (char16_t c : name) {
        if (c < 0x20 || c == 0x7F || LeavesNamespace(c)) return false;
    }
    path = std::string(SerialDeviceNamespace) + Utf8FromUtf16(name);
    return true;
}

}  // namespace kv
