// Where device nodes, their stable identities and the kernel's list of terminal devices are
// looked for.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kv {

inline constexpr std::string_view SerialDeviceFolder = "/dev/";
// Links named after the adapter itself (maker, model, serial number), which keep their
// name when the adapter comes back under another ttyUSBn.
inline constexpr std::string_view SerialStableFolder = "/dev/serial/by-id/";
// One entry per terminal device the kernel knows; <name>/device/driver is there when a
// driver serves real hardware behind it.
inline constexpr std::string_view SerialTtyClassFolder = "/sys/class/tty/";

// Points discovery and the naming of bare port names at other folders (tests use links and
// folders in a temporary folder). Each ends with a slash; an empty text restores the system
// folder.
void SerialSetDeviceFolders(std::string_view deviceFolder, std::string_view stableFolder,
                            std::string_view ttyClassFolder);
std::string SerialDeviceFolderPath();
std::string SerialStableFolderPath();
std::string SerialTtyClassFolderPath();

// The names in a folder, without "." and "..", sorted; empty when it cannot be read.
std::vector<std::string> SerialFolderEntries(const std::string& folder);

}  // namespace kv
