// How a port name given by the user becomes the path of a device of this system, refusing
// names that would reach outside the system's device namespace.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

inline constexpr size_t SerialNameLimit = 59;  // characters of a port name that count
// The device path (UTF-8) of a port name; false for a name that cannot be a port here.
// POSIX: "ttyUSB0" -> "/dev/ttyUSB0", "/dev/pts/5" stays as it is; refused are an empty
// name, one containing "..", a NUL or a control character, or a bare name containing "/".
// Windows: "COM3" -> "\\.\COM3"; refused are an empty name, control characters and
// separators or colons that would leave the device namespace.
// The caller has already cut the name to SerialNameLimit characters.
bool SerialDevicePath(std::u16string_view name, std::string& path);

}  // namespace kv
