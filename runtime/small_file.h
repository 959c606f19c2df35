// Small text files the user names on the command line (a password, the sensors' names),
// read without trusting them: only a regular file is read, never a pipe or a device, whose
// open or read could block or never end, and only up to a size no such file needs.
#pragma once
#include <cstddef>
#include <string>

namespace kv {

// false with a reason when the file is missing, not a regular file or larger than `limit`.
bool ReadSmallFile(const std::string& path, size_t limit, std::string& text, std::string& error);

}  // namespace kv
