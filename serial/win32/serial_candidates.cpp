// Port names this system offers: the COM ports of the registry's serial device map
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, one value per port, its data the port's name), in
// natural order. Nothing is opened here, so a port that is not there is never touched.
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "runtime/utf.h"
#include "serial/natural_order.h"
#include "serial/serial_device.h"
#include "serial/win32/port_map.h"

namespace kv {
namespace {

constexpr wchar_t SystemPortMap[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
// Longer value names or port names than these are no ports of any driver; skipped.
constexpr DWORD ValueNameLimit = 256;
constexpr DWORD PortNameLimit = 256;

std::mutex mapLock;
std::u16string mapKey;  // under HKEY_CURRENT_USER; empty for the system's map

}  // namespace

void SerialSetPortMapKey(std::u16string_view key) {
    std::lock_guard lock(mapLock);
    mapKey = key;
}

std::vector<std::string> PlatformSerialCandidates() {
    HKEY root = HKEY_LOCAL_MACHINE;
    std::u16string path(reinterpret_cast<const char16_t*>(SystemPortMap));
    {
        std::lock_guard lock(mapLock);
        if (!mapKey.empty()) root = HKEY_CURRENT_USER, path = mapKey;
    }
    std::vector<std::string> names;
    HKEY map = nullptr;
    if (RegOpenKeyExW(root, reinterpret_cast<LPCWSTR>(path.c_str()), 0, KEY_QUERY_VALUE, &map) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[ValueNameLimit];
        DWORD valueNameLength = ValueNameLimit;
        wchar_t port[PortNameLimit];
        DWORD portBytes = sizeof port;
        DWORD type = 0;
        const LONG result = RegEnumValueW(map, index, valueName, &valueNameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(port), &portBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        size_t length = portBytes / sizeof(wchar_t);
        while (length > 0 && port[length - 1] == L'\0') --length;
        if (length == 0) continue;
        std::string name =
            Utf8FromUtf16(std::u16string(reinterpret_cast<const char16_t*>(port), length));
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
    RegCloseKey(map);
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

}  // namespace kv
