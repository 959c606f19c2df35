#include "runtime/program_path.h"

#include "runtime/file_access.h"

namespace kv {

int SetCurrentFolder(std::u16string_view path) {
    return native::SetCurrentFolder(path) ? 1 : 0;
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
    return native::ProgramFilePath();
}

std::u16string ProgramFolder() {
    return PathFolderPart(ProgramFilePath());
}

}  // namespace kv
