// Finding out about ports without using them: whether one can be offered, whether the
// device behind an open one has gone, and the stable identity that follows an adapter
// from one device name to the next.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// Nonzero when the port could be opened now. Nothing on it changes: no line settings, no
// modem lines beyond what the system itself does on an open and a close, no input
// dropped. A port this program holds open counts as offerable while its device is there.
int SerialCanOffer(std::u16string_view name);
// Nonzero when a port of that name is there, whether or not it could be opened now: another
// program may hold it.
int SerialPortExists(std::u16string_view name);
// Nonzero once the device of an open port has gone (unplugged, hung up): every further
// transfer on it fails, and only closing it and opening the name again can help.
int SerialDeviceGone(int32_t id);
// The stable identity of a port (its link name in the stable folder), empty when the
// system offers none for it.
std::u16string SerialStableIdentity(std::u16string_view name);
// The bare port name the device of this identity has now; empty while it is absent.
std::u16string SerialNameOfIdentity(std::u16string_view identity);

// Platform part.
bool PlatformSerialCanOffer(const std::string& path);
bool PlatformSerialExists(const std::string& path);
std::string PlatformStableIdentity(const std::string& path);
std::string PlatformNameOfIdentity(const std::string& identity);

}  // namespace kv
