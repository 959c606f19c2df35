#include "runtime/small_file.h"

#include "runtime/file_access.h"
#include "runtime/utf.h"

namespace kv {

bool ReadSmallFile(const std::string& path, size_t limit, std::string& text, std::string& error) {
    const native::FileHandle file =
        native::OpenRegularFile(Utf16FromPathBytes(path), false, false, native::FileLock::None);
    if (file == native::NoFile) {
        error = "cannot read " + path + " (missing, unreadable or not a regular file)";
        return false;
    }
    // One byte more than allowed tells a file that is too large without reading all of it.
    text = native::ReadUpTo(file, limit + 1);
    native::CloseFile(file);
    if (text.size() > limit) {
        error = path + " is larger than " + std::to_string(limit) + " bytes";
        text.clear();
        return false;
    }
    return true;
}

}  // namespace kv
