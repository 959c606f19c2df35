// One bounded enumeration of the devices on a bus in one go: the ROM search repeated until
// the bus says the last device was delivered, with the guards of onewire/enumeration.h and
// a way to cut it short.
#pragma once
#include <cstdint>

#include "onewire/enumeration.h"

namespace kv {

// A search of its own from a clear state, pass after pass on port until one of the ends of
// EnumerationEnd; the calling thread's search state is left alone. The calling thread's
// result code is left as the call that ended it left it.
Enumeration OneWireEnumerate(int32_t port, const EnumerationOptions& options = {});

}  // namespace kv
