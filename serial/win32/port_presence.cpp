// Looking at COM ports without using them: the open asks for exclusive use, so a port held
// by another program fails at once, and nothing is configured before the close.
#include <windows.h>

#include "runtime/utf.h"
#include "serial/port_presence.h"

namespace kv {

bool PlatformSerialCanOffer(const std::string& path) {
    const std::u16string widePath = Utf16FromUtf8(path);
    HANDLE handle =
        CreateFileW(reinterpret_cast<LPCWSTR>(widePath.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const bool serial = GetCommState(handle, &dcb) != 0;  // a file or another device is no port
    CloseHandle(handle);
    return serial;
}

// Windows keeps an adapter's COM number itself when it comes back, so a port needs no
// identity of its own to be found again.
std::string PlatformStableIdentity(const std::string&) {
    return {};
}

std::string PlatformNameOfIdentity(const std::string&) {
    return {};
}

// A port another program holds refuses the open with "access denied"; one that is not there
// is not found.
bool PlatformSerialExists(const std::string& path) {
    const std::u16string widePath = Utf16FromUtf8(path);
    HANDLE handle =
        CreateFileW(reinterpret_cast<LPCWSTR>(widePath.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

}  // namespace kv
