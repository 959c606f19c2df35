// Where device nodes and their stable identities are looked for.
#pragma once
#include <string>
#include <string_view>

namespace kv {

inline constexpr std::string_view SerialDeviceFolder = "/dev/";
// Links named after the adapter itself (maker, model, serial number), which keep their
// name when the adapter comes back under another ttyUSBn.
inline constexpr std::string_view SerialStableFolder = "/dev/serial/by-id/";

// Points discovery and the naming of bare port names at other folders (tests use links in
// a temporary folder). Each ends with a slash; an empty text restores the system folder.
void SerialSetDeviceFolders(std::string_view deviceFolder, std::string_view stableFolder);
std::string SerialDeviceFolderPath();
std::string SerialStableFolderPath();

}  // namespace kv
