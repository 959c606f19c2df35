// How a port name given by the user becomes a device path, refusing names that would
// reach outside the device folder.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

inline constexpr size_t SerialNameLimit = 59;  // characters of a port name that count
inline constexpr std::string_view SerialDeviceFolder = "/dev/";

// "ttyUSB0" -> "/dev/ttyUSB0"; "/dev/pts/5" stays as it is. False for an empty name, a
// name containing "..", a NUL or a control character, or a bare name containing "/".
// The caller has already cut the name to SerialNameLimit characters.
bool SerialDevicePath(std::u16string_view name, std::string& path);

}  // namespace kv
