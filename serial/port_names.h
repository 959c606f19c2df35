// How a port name given by the user becomes a device path, refusing names that would
// reach outside the device folder, and where device nodes and their stable identities are
// looked for.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

inline constexpr size_t SerialNameLimit = 59;  // characters of a port name that count
inline constexpr std::string_view SerialDeviceFolder = "/dev/";
// Links named after the adapter itself (maker, model, serial number), which keep their
// name when the adapter comes back under another ttyUSBn.
inline constexpr std::string_view SerialStableFolder = "/dev/serial/by-id/";

// Points discovery and the naming of bare port names at other folders (tests use links in
// a temporary folder). Each ends with a slash; an empty text restores the system folder.
void SerialSetDeviceFolders(std::string_view deviceFolder, std::string_view stableFolder);
std::string SerialDeviceFolderPath();
std::string SerialStableFolderPath();

// "ttyUSB0" -> "/dev/ttyUSB0"; "/dev/pts/5" stays as it is. False for an empty name, a
// name containing "..", a NUL or a control character, or a bare name containing "/".
// The caller has already cut the name to SerialNameLimit characters.
bool SerialDevicePath(std::u16string_view name, std::string& path);

}  // namespace kv
