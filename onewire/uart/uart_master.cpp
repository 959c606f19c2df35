// The passive adapter's UART master behind the bus's face (onewire/bus.h): every slot is a
// byte at the data speed read back from its echo, a reset is a byte at the reset speed, and
// the power lines stay at their powered level from opening to closing.
#include <algorithm>
#include <memory>
#include <new>

#include "onewire/bits.h"
#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/uart/echo_exchange.h"
#include "onewire/uart/echo_ledger.h"
#include "onewire/uart/encoding.h"
#include "onewire/uart/serial_line.h"
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

constexpr int32_t MaxBlockSlots = MaxBlockBytes * BitsPerByte;
constexpr uint8_t AllOnes = 0xFF;  // eight read slots, or what a line nobody pulls low reads

bool ValidCount(int32_t count) {
    return count >= 1 && count <= MaxBlockBytes;
}

// Spare room after the slots of a block; no exchange reads or writes it.
constexpr size_t SlotBufferSpare = 2;

std::unique_ptr<uint8_t[]> SlotBuffer(int32_t slots) {
    size_t size = static_cast<size_t>(slots) + SlotBufferSpare;
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

// 2 ms per whole eight slots plus 36 ms: for whole bytes, 2 ms per byte plus 36.
int64_t BlockLimitMs(int32_t slots) {
    return BlockEchoConstantMs + int64_t{slots / BitsPerByte} * BlockEchoPerByteMs;
}

bool ExchangeBlock(int32_t port, uint8_t* slots, int32_t count, int64_t start,
                   bool clockAfterWrite) {
    return ExchangeSlots(port, slots, count, BlockLimitMs(count), start, clockAfterWrite);
}

int WriteBlock(const uint8_t* data, int32_t count, int32_t port) {
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    const int32_t slotCount = count * BitsPerByte;
    auto slots = SlotBuffer(slotCount);
    if (!slots) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    const std::span<const uint8_t> bytes(data, static_cast<size_t>(count));
    for (int32_t i = 0; i < slotCount; ++i) slots[i] = SlotFor(BitAt(bytes, i));
    // The echoes are not compared with what was sent: a written 1 read back as 0 is a
    // device talking, which only reads care about.
    return ExchangeBlock(port, slots.get(), slotCount, 0, true) ? 1 : 0;
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
    OneWireTouchByte(AllOnes, id);  // eight idle slots settle the line; the answer is noise
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

int64_t OneWireWireMicroseconds(int32_t resets, int32_t slots) {
    return int64_t{resets} * ByteMicroseconds(ResetBaud) + SlotsWireUs(slots);
}

int OneWireReset(int32_t port) {
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    DrainStragglers(port);  // stragglers of the data speed are awaited before the speed changes
    if (!SerialSetBaud(port, ResetBaud)) return 0;
    OneWirePurge(port);

    int presence = 0;
    if (EchoSend(port, &ResetByte, 1) != 1) {
        OneWireSetResult(ExchangeError);
        EchoLedgerGaveUp(port);
    } else {
        EchoWait(port, 1, MicrosecondClock(), ResetEchoLimitMs, ByteMicroseconds(ResetBaud));
        uint8_t echo = 0;
        if (SerialInputCount(port) == 1 && EchoTake(port, &echo, 1) == 1) {
            presence = echo != ResetByte ? 1 : 0;
            if (!presence) OneWireSetResult(NoResponse);
        } else {
            OneWireSetResult(ExchangeError);
            EchoGiveUp(port);
        }
    }
    // Presence seen at 9600 baud is worthless when the port cannot return to the data
    // speed: every slot would go out at the wrong rate, so the reset reports failure.
    if (!SerialSetBaud(port, DataBaud)) return 0;
    return presence;
}

int OneWireWriteSlot(int bit, int32_t port, int flags) {
    uint8_t slot = SlotFor((bit & 1) != 0);
    EchoSend(port, &slot, 1);
    if ((flags & SlotWait) == 0) return 0;
    EchoWait(port, 1, MicrosecondClock(), SlotEchoLimitMs, SlotsWireUs(1));
    if (SerialInputCount(port) < 1) {
        EchoLedgerGaveUp(port);  // not an error of the slot; the echo must not pass for another
    } else if ((flags & SlotDrain) != 0) {
        uint8_t echo;
        EchoTake(port, &echo, 1);
    }
    return 0;
}

int OneWireReadBit(int32_t port, int flags) {
    OneWireSetResult(Ok);
    if ((flags & SlotPurge) != 0) OneWirePurge(port);
    if ((flags & SlotSend) != 0 && EchoSend(port, &SlotOne, 1) != 1) {
        OneWireSetResult(ExchangeError);
        EchoLedgerGaveUp(port);
        return 0;
    }
    if ((flags & SlotWait) != 0) {
        EchoWait(port, 1, MicrosecondClock(), SlotEchoLimitMs, SlotsWireUs(1));
    }
    uint8_t echo = 0;
    if (SerialInputCount(port) == 1 && EchoTake(port, &echo, 1) == 1) {
        return BitOfEcho(echo) ? 1 : 0;
    }
    OneWireSetResult(ExchangeError);
    EchoLedgerGaveUp(port);
    return 1;
}

int OneWireTouchBits(std::span<uint8_t> bits, int32_t port) {
    if (bits.empty() || bits.size() > static_cast<size_t>(MaxBlockSlots)) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    const auto count = static_cast<int32_t>(bits.size());
    auto slots = SlotBuffer(count);
    if (!slots) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    for (int32_t i = 0; i < count; ++i) slots[i] = SlotFor(bits[static_cast<size_t>(i)] != 0);
    OneWirePurge(port);  // a stray byte from before would pass for an echo
    if (!ExchangeBlock(port, slots.get(), count, 0, true)) return 0;
    for (int32_t i = 0; i < count; ++i) bits[static_cast<size_t>(i)] = BitOfEcho(slots[i]);
    OneWireSetResult(Ok);
    return 1;
}

uint8_t OneWireTouchByte(uint8_t value, int32_t port) {
    port = OneWireResolvePort(port);
    if (OneWireLastResult() != Ok) return 0;
    uint8_t result = 0;
    for (int i = 0; i < BitsPerByte; ++i) {
        OneWireWriteSlot((value >> i) & 1, port, SlotWait);
        int bit = OneWireReadBit(port, 0);
        if (OneWireLastResult() != Ok) return AllOnes;
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
    const int32_t slotCount = count * BitsPerByte;
    auto slots = SlotBuffer(slotCount);
    if (!slots) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    std::fill_n(slots.get(), slotCount, SlotOne);
    if (!ExchangeBlock(port, slots.get(), slotCount, start, false)) return 0;
    const std::span<uint8_t> bytes(buffer, static_cast<size_t>(count));
    for (int32_t i = 0; i < slotCount; ++i) SetBitAt(bytes, i, BitOfEcho(slots[i]));
    return 1;
}

}  // namespace kv
