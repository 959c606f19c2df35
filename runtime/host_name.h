// The name of this machine on the network, as its system knows it.
#pragma once
#include <string>

namespace kv {

// Empty when the system cannot tell.
std::u16string HostName();

}  // namespace kv
