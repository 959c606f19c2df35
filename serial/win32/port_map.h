// Where the Windows port list comes from: the registry's serial device map, in which each
// serial driver enters the COM ports it serves while they are there.
#pragma once
#include <string_view>

namespace kv {

// Reads the map from a key of the caller's own under HKEY_CURRENT_USER instead (tests: a
// list of ports of their choosing); an empty text restores the system's map.
void SerialSetPortMapKey(std::u16string_view key);

}  // namespace kv
