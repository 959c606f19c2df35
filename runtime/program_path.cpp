// The path operations that make bare file names resolve in the program's own folder.
#include <unistd.h>

#include <string>

#include "runtime/posix/file_access.h"
#include "runtime/text_file.h"
#include "runtime/utf.h"

namespace kv {

int SetCurrentFolder(std::u16string_view path) {
    const std::string native = posix::NativePath(path);
    if (native.empty()) return 0;
    return ::chdir(native.c_str()) == 0 ? 1 : 0;
}

std::u16string PathFolderPart(std::u16string_view path) {
    // A path taken from a command line may come quoted, or followed by "|" and more.
    size_t start = !path.empty() && path.front() == u'"' ? 1 : 0;
    size_t end = start;  // one past the last separator seen
    for (size_t i = start; i < path.size() && path[i] != u'|'; ++i) {
        if (path[i] == u'\\' || path[i] == u'/') end = i + 1;
    }
    if (end == start) return {};
    return std::u16string(path.substr(start, end - start));
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

}  // namespace kv
