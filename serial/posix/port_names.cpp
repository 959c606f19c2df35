#include "serial/port_names.h"

#include "runtime/utf.h"

namespace kv {
namespace {

constexpr std::string_view SerialDeviceFolder = "/dev/";

}  // namespace

bool SerialDevicePath(std::u16string_view name, std::string& path) {
    if (name.empty()) return false;
    for (char16_t c : name) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    if (name.find(u"..") != std::u16string_view::npos) return false;
    bool absolute = name.front() == u'/';
    if (!absolute && name.find(u'/') != std::u16string_view::npos) return false;
    std::string utf8 = Utf8FromUtf16(name);
    path = absolute ? utf8 : std::string(SerialDeviceFolder) + utf8;
    return true;
}

}  // namespace kv
