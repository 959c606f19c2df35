// The serial-port layer: a table of open ports addressed by integer identifiers.
// Nothing above this layer sees a native handle. Failures show only as a zero return.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

inline constexpr int32_t PortFixedLast = 999;  // 0..999 are chosen by the caller
inline constexpr int32_t PortDynamic = -1;     // the layer assigns an identifier (> 999)
inline constexpr int32_t PortNone = -2;        // value of currentPort while none is open
inline constexpr int32_t PortCurrent = -10;    // the port held in currentPort

inline constexpr int SerialLineDtr = 1;
inline constexpr int SerialLineRts = 2;
inline constexpr int SerialLineBreak = 3;

// name: a bare device name under /dev ("ttyUSB0"), an absolute path, or a registered
// virtual port ("DEMO"); only its first 59 characters are used.
int SerialOpen(int32_t id, std::u16string_view name, int baud, int parity, int dataBits,
               double stopBits, int handshake, int inQueue, int outQueue);
int SerialClose(int32_t id);  // PortDynamic closes every open port
void SerialCloseAll();
int SerialIsOpen(int32_t id);
intptr_t SerialHandle(int32_t id);  // an opaque nonzero token while open, else 0
int SerialWrite(int32_t id, const uint8_t* data, int count);
int SerialRead(int32_t id, uint8_t* data, int count);
int SerialInputCount(int32_t id);
// Sleeps until at least `count` bytes wait in the input or `timeoutMs` have passed; returns
// how many wait then, or -1 when the identifier names no open port or the device failed.
int SerialWaitInput(int32_t id, int count, int timeoutMs);
int SerialSetLine(int32_t id, int line, int level);
// Sets the speed for the next byte written and, in the same step, the DTR and RTS levels.
int SerialApplyState(int32_t id, int baud, int dtrLevel, int rtsLevel);

}  // namespace kv
