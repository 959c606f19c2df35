#include <unistd.h>

#include <string>

#include "runtime/file_access.h"
#include "runtime/utf.h"

namespace kv::native {

bool SetCurrentFolder(std::u16string_view path) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return false;
    return ::chdir(PathBytesFromUtf16(path).c_str()) == 0;
}

std::u16string ProgramFilePath() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return Utf16FromPathBytes(buffer);
        }
        if (buffer.size() >= (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace kv::native
