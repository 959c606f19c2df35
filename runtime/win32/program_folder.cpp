#include <windows.h>

#include <string>

#include "runtime/file_access.h"

namespace kv::native {

bool SetCurrentFolder(std::u16string_view path) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return false;
    const std::wstring wide(path.begin(), path.end());
    return SetCurrentDirectoryW(wide.c_str()) != 0;
}

std::u16string ProgramFilePath() {
    // The classic limit is MAX_PATH, but a program may live deeper than that.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::u16string(buffer.begin(), buffer.begin() + n);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace kv::native
