#include "runtime/host_name.h"

#include <windows.h>

namespace kv {

std::u16string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(name), size);
}

}  // namespace kv
