// The bus master: every operation writes slot bytes and then waits for their echo with a
// fixed time limit. A limit reached is not an error in itself; the echo count decides. An
// exchange that ended without its echoes leaves the line to be drained before the next one
// writes (onewire/echo_ledger.h), so a late echo is never read as the next exchange's.
#include "onewire/bus.h"

#include <algorithm>
#include <memory>
#include <new>

#include "onewire/bit_slots.h"
#include "onewire/echo_ledger.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "runtime/clock.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

constexpr int OpenBaud = DataBaud;
constexpr int OpenParity = 0;
constexpr int OpenDataBits = 8;
constexpr double OpenStopBits = 1.0;
constexpr int OpenHandshake = 0;
constexpr int OpenQueueSize = 255;

constexpr int64_t MicrosecondsPerSecond = 1'000'000;
constexpr int64_t MicrosecondsPerMillisecond = 1'000;
constexpr int UartBitsPerByte = 10;  // start bit, eight data bits, stop bit

// Time one byte takes on the wire, rounded to the nearest microsecond.
int64_t ByteMicroseconds(int baud) {
    return (UartBitsPerByte * MicrosecondsPerSecond + baud / 2) / baud;
}

// Waits until `wanted` echoes wait in the input or the MicrosecondClock reaches `end`,
// sleeping in the serial device until bytes arrive. Under OptLowCpu it first sleeps through
// the wire time the echoes need at least (`wireUs`), so that a long block wakes the thread
// about once rather than at every packet. The options are read afresh at each wait because
// the window thread may change them meanwhile. True when the echoes are there.
bool WaitForInput(int32_t port, int wanted, int64_t end, int64_t wireUs) {
    bool wireSlept = (OneWireGetOptions() & OptLowCpu) == 0;
    for (;;) {
        if (SerialInputCount(port) >= wanted) return true;
        const int64_t left = end - MicrosecondClock();
        if (left <= 0) return false;
        if (!wireSlept) {
            DelayMicroseconds(std::min(left, wireUs));
            wireSlept = true;
            continue;
        }
        // Whole milliseconds, rounded up: a limit is never cut short.
        const int64_t leftMs = (left + MicrosecondsPerMillisecond - 1) / MicrosecondsPerMillisecond;
        if (SerialWaitInput(port, wanted, static_cast<int>(leftMs)) < 0) return false;
    }
}

// The echo wait of an exchange: `limitMs` from `start` (a MicrosecondClock reading). How late
// the echoes came after their wire time is noted for the port.
void WaitForEcho(int32_t port, int wanted, int64_t start, int64_t limitMs, int64_t wireUs) {
    if (WaitForInput(port, wanted, start + limitMs * MicrosecondsPerMillisecond, wireUs))
        EchoLedgerArrived(port, MicrosecondClock() - start - wireUs);
}

// After an exchange that gave up, the echoes it left on their way are awaited for the
// port's straggler time and discarded with whatever else came.
void Drain(int32_t port) {
    EchoDrain drain;
    if (!EchoLedgerDrainDue(port, drain)) return;
    if (drain.owed > 0) WaitForInput(port, drain.owed, drain.untilMicroseconds, 0);
    OneWirePurge(port);
}

// Every write of the bus: the line is drained first when an exchange left it out of step.
int Send(int32_t port, const uint8_t* data, int count) {
    Drain(port);
    const int written = SerialWrite(port, data, count);
    EchoLedgerSent(port, written);
    return written;
}

int Take(int32_t port, uint8_t* data, int count) {
    const int read = SerialRead(port, data, count);
    EchoLedgerTaken(port, read);
    return read;
}

// An exchange ends without its echoes: what came is discarded now, the rest before the next.
void GiveUp(int32_t port) {
    OneWirePurge(port);
    EchoLedgerGaveUp(port);
}

int64_t SlotsWireUs(int slots) {
    return int64_t{slots} * ByteMicroseconds(DataBaud);
}

void SetPowerLines(int32_t port, bool powered) {
    int level = (powered ? PoweredLevel() : !PoweredLevel()) ? 1 : 0;
    SerialSetLine(port, SerialLineDtr, level);
    SerialSetLine(port, SerialLineRts, level);
}

bool ValidCount(int32_t count) {
    return count >= 1 && count <= MaxBlockBytes;
}

// Spare room after the slots of a block; no exchange reads or writes it.
constexpr size_t SlotBufferSpare = 2;

std::unique_ptr<uint8_t[]> SlotBuffer(int32_t count) {
    size_t size = static_cast<size_t>(count) * SlotBytesPerDataByte + SlotBufferSpare;
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

int64_t BlockLimitMs(int32_t count) {
    return int64_t{count} * BlockEchoPerByteMs + BlockEchoConstantMs;
}

// Sends `slotCount` prepared slot bytes and collects exactly as many echoes into `slots`.
bool ExchangeSlots(int32_t port, uint8_t* slots, int slotCount, int64_t limitMs, int64_t start,
                   bool clockAfterWrite) {
    if (Send(port, slots, slotCount) != slotCount) {
        GiveUp(port);
        OneWireSetResult(ExchangeError);
        return false;
    }
    if (clockAfterWrite) start = MicrosecondClock();
    WaitForEcho(port, slotCount, start, limitMs, SlotsWireUs(slotCount));
    if (SerialInputCount(port) != slotCount) {
        GiveUp(port);
        OneWireSetResult(ExchangeError);
        return false;
    }
    if (Take(port, slots, slotCount) != slotCount) {
        EchoLedgerGaveUp(port);
        OneWireSetResult(ExchangeError);
        return false;
    }
    return true;
}

bool ExchangeBytes(int32_t port, uint8_t* slots, int32_t count, int64_t start,
                   bool clockAfterWrite) {
    return ExchangeSlots(port, slots, count * SlotBytesPerDataByte, BlockLimitMs(count), start,
                         clockAfterWrite);
}

int WriteBlock(const uint8_t* data, int32_t count, int32_t port) {
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    auto slots = SlotBuffer(count);
    if (!slots) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    const std::span<const uint8_t> bytes(data, static_cast<size_t>(count));
    for (int32_t i = 0; i < count * BitsPerByte; ++i) slots[i] = SlotFor(BitAt(bytes, i));
    // The echoes are not compared with what was sent: a written 1 read back as 0 is a
    // device talking, which only reads care about.
    return ExchangeBytes(port, slots.get(), count, 0, true) ? 1 : 0;
}

}  // namespace

int OneWireOpen(std::u16string_view name, int32_t port) {
    int32_t openAs;
    if (port >= 0 && port <= PortFixedLast) {
        OneWireClose(port);
        openAs = port;
    } else if (port == PortCurrent) {
        OneWireClose(PortCurrent);
        openAs = PortDynamic;
    } else if (port == PortDynamic) {
        openAs = PortDynamic;
    } else {
        OneWireSetResult(BadArgument);
        return 0;
    }
    int opened = SerialOpen(openAs, name, OpenBaud, OpenParity, OpenDataBits, OpenStopBits,
                            OpenHandshake, OpenQueueSize, OpenQueueSize);
    if (opened == 0) {
        OneWireSetResult(NoOpenPort);
        return 0;
    }
    int32_t id = openAs == PortDynamic ? opened : port;
    if (port == PortCurrent) currentPort.store(id);
    EchoLedgerForget(id);

    SetPowerLines(id, true);
    DelayMs(PowerSettleMs);
    OneWireTouchByte(SlotOne, id);  // eight idle slots settle the line; the answer is noise
    OneWirePurge(id);
    OneWireSetResult(Ok);
    return opened;
}

int OneWireClose(int32_t port) {
    int32_t id = port == PortCurrent ? currentPort.load() : port;
    if (!SerialIsOpen(id)) {
        OneWireSetResult(NoOpenPort);
        return 0;
    }
    SetPowerLines(id, false);
    SerialClose(id);
    EchoLedgerForget(id);
    if (port == PortCurrent) currentPort.store(PortNone);
    OneWireSetResult(Ok);
    return 1;
}

int OneWireReset(int32_t port) {
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    Drain(port);  // stragglers of the data speed are awaited before the speed changes
    if (!SerialSetBaud(port, ResetBaud)) return 0;
    OneWirePurge(port);

    int presence = 0;
    if (Send(port, &ResetByte, 1) != 1) {
        OneWireSetResult(ExchangeError);
        EchoLedgerGaveUp(port);
    } else {
        WaitForEcho(port, 1, MicrosecondClock(), ResetEchoLimitMs, ByteMicroseconds(ResetBaud));
        uint8_t echo = 0;
        if (SerialInputCount(port) == 1 && Take(port, &echo, 1) == 1) {
            presence = echo != ResetByte ? 1 : 0;
            if (!presence) OneWireSetResult(NoResponse);
        } else {
            OneWireSetResult(ExchangeError);
            GiveUp(port);
        }
    }
    // Presence seen at 9600 baud is worthless when the port cannot return to the data
    // speed: every slot would go out at the wrong rate, so the reset reports failure.
    if (!SerialSetBaud(port, DataBaud)) return 0;
    return presence;
}

int OneWireWriteSlot(int bit, int32_t port, int flags) {
    uint8_t slot = SlotFor((bit & 1) != 0);
    Send(port, &slot, 1);
    if ((flags & SlotWait) == 0) return 0;
    WaitForEcho(port, 1, MicrosecondClock(), SlotEchoLimitMs, SlotsWireUs(1));
    if (SerialInputCount(port) < 1) {
        EchoLedgerGaveUp(port);  // not an error of the slot; the echo must not pass for another
    } else if ((flags & SlotDrain) != 0) {
        uint8_t echo;
        Take(port, &echo, 1);
    }
    return 0;
}

int OneWireReadBit(int32_t port, int flags) {
    OneWireSetResult(Ok);
    if ((flags & SlotPurge) != 0) OneWirePurge(port);
    if ((flags & SlotSend) != 0 && Send(port, &SlotOne, 1) != 1) {
        OneWireSetResult(ExchangeError);
        EchoLedgerGaveUp(port);
        return 0;
    }
    if ((flags & SlotWait) != 0) {
        WaitForEcho(port, 1, MicrosecondClock(), SlotEchoLimitMs, SlotsWireUs(1));
    }
    uint8_t echo = 0;
    if (SerialInputCount(port) == 1 && Take(port, &echo, 1) == 1) {
        return echo == SlotOne ? 1 : 0;
    }
    OneWireSetResult(ExchangeError);
    EchoLedgerGaveUp(port);
    return 1;
}

uint8_t OneWireTouchByte(uint8_t value, int32_t port) {
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    uint8_t result = 0;
    for (int i = 0; i < BitsPerByte; ++i) {
        OneWireWriteSlot((value >> i) & 1, port, SlotWait);
        int bit = OneWireReadBit(port, 0);
        if (OneWireLastResult() != Ok) return SlotOne;
        SetBitAt(std::span<uint8_t>(&result, 1), i, bit != 0);
    }
    return result;
}

int OneWireWriteBytes(int value, int32_t count, int32_t port) {
    if (count != 1 || value < 0 || value > UINT8_MAX) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    uint8_t byte = static_cast<uint8_t>(value);
    return WriteBlock(&byte, 1, port);
}

int OneWireWriteBytes(const uint8_t* data, int32_t count, int32_t port) {
    if (!data || !ValidCount(count)) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    return WriteBlock(data, count, port);
}

int OneWireReadBytes(uint8_t* buffer, int32_t count, int32_t port) {
    if (!buffer || !ValidCount(count)) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    int64_t start = MicrosecondClock();
    auto slots = SlotBuffer(count);
    if (!slots) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    int slotCount = count * SlotBytesPerDataByte;
    std::fill_n(slots.get(), slotCount, SlotOne);
    if (!ExchangeBytes(port, slots.get(), count, start, false)) return 0;
    const std::span<uint8_t> bytes(buffer, static_cast<size_t>(count));
    for (int32_t i = 0; i < slotCount; ++i) SetBitAt(bytes, i, slots[i] == SlotOne);
    return 1;
}

int OneWireExchangeSlots(uint8_t* slots, int32_t count, int32_t port) {
    if (!slots || count < 1 || count > MaxBlockBytes * SlotBytesPerDataByte) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    int64_t limitMs = SlotEchoLimitMs + int64_t{count / SlotBytesPerDataByte} * BlockEchoPerByteMs;
    OneWirePurge(port);  // a stray byte from before would pass for an echo
    if (!ExchangeSlots(port, slots, count, limitMs, 0, true)) return 0;
    OneWireSetResult(Ok);
    return 1;
}

}  // namespace kv
