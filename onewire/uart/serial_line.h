// The serial port under the UART master, as the master drives it: the speed switch of the
// reset and the adapter's power lines, both at the level the option word asks for. The
// face's OneWireResolvePort and OneWirePurge, which empty the port's input, are made here
// too.
#pragma once
#include <cstdint>

namespace kv {

// Switches the speed of an open port and rewrites DTR and RTS to the powered level with it:
// 1, or 0 with BaudChangeError (a port that is not open leaves the result code alone).
int SerialSetBaud(int32_t port, int baud);

// DTR and RTS to the powered level (both high, or both low under OptInvertPower) or to the
// other one.
void SetPowerLines(int32_t port, bool powered);

}  // namespace kv
