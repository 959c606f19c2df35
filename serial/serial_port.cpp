// The open-port table. One lock guards the table itself; reading and writing a port
// happen outside it on a shared reference, so a slow write never blocks a lookup and a
// port closed by another thread stays alive until the transfer on it has ended.
#include "serial/serial_port.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "runtime/handle_table.h"
#include "runtime/utf.h"
#include "serial/device_path.h"
#include "serial/port_presence.h"
#include "serial/serial_device.h"

namespace kv {
namespace {

constexpr int32_t FirstAssignedId = PortFixedLast + 1;
constexpr int32_t LastAssignedId = INT32_MAX;

struct OpenPort {
    std::unique_ptr<SerialDevice> device;
    std::string key;  // what names the device: its path, or the virtual port's name
    int dataBits = 8;
    int parity = 0;
    double stopBits = 1.0;
};

HandleTable<OpenPort>& openPorts() {
    // Never destroyed: a transfer racing the process exit still finds its table.
    static auto* table = new HandleTable<OpenPort>(FirstAssignedId, LastAssignedId, true);
    return *table;
}

std::shared_ptr<OpenPort> Find(int32_t id) {
    return openPorts().Find(id);
}

std::u16string_view Significant(std::u16string_view name) {
    return name.substr(0, std::min<size_t>(name.size(), SerialNameLimit));
}

// A virtual port goes by its name; a device node by its path, so that "ttyUSB0" and
// "/dev/ttyUSB0" are one port. Empty for a name that names nothing.
std::string DeviceKey(std::u16string_view name) {
    if (SerialIsVirtualPort(name)) return "virtual:" + Utf8FromUtf16(name);
    std::string path;
    return SerialDevicePath(name, path) ? path : std::string();
}

std::unique_ptr<SerialDevice> OpenDevice(std::u16string_view name) {
    if (auto device = OpenVirtualSerialDevice(name)) return device;
    std::string path;
    if (!SerialDevicePath(name, path)) return nullptr;
    return OpenPlatformSerialDevice(path);
}

std::shared_ptr<OpenPort> FindByKey(const std::string& key) {
    return openPorts().FindIf([&](const OpenPort& port) { return port.key == key; });
}

}  // namespace

int SerialOpen(int32_t id, std::u16string_view name, int baud, int parity, int dataBits,
               double stopBits, int handshake, int inQueue, int outQueue) {
    (void)inQueue;  // the kernel sizes its own tty buffers; the sizes are only a hint
    (void)outQueue;
    if (name.empty()) return 0;
    if (id != PortDynamic && (id < 0 || id > PortFixedLast)) return 0;
    if (handshake != 0) return 0;                 // only "no handshake" is supported
    if (id != PortDynamic && Find(id)) return 0;  // never shadow a port that is still open
    name = Significant(name);

    auto port = std::make_shared<OpenPort>();
    port->device = OpenDevice(name);
    port->key = DeviceKey(name);
    if (!port->device) return 0;
    if (!port->device->configure(baud, dataBits, parity, stopBits)) return 0;
    // Without handshake RTS is a plain output, and it starts low as after a fresh open.
    port->device->setLine(SerialLineRts, false);
    port->dataBits = dataBits;
    port->parity = parity;
    port->stopBits = stopBits;

    if (id == PortDynamic) return openPorts().Add(std::move(port));  // 0 when all are taken
    // Fails when another thread won the race for this identifier.
    return openPorts().Insert(id, std::move(port)) ? 1 : 0;
}

int SerialClose(int32_t id) {
    // A device closes when the last transfer on it lets go.
    if (id == PortDynamic) return openPorts().TakeAll().empty() ? 0 : 1;
    return openPorts().Take(id) != nullptr ? 1 : 0;
}

void SerialCloseAll() {
    SerialClose(PortDynamic);
}

int SerialIsOpen(int32_t id) {
    return Find(id) ? 1 : 0;
}

intptr_t SerialHandle(int32_t id) {
    auto port = Find(id);
    return port ? reinterpret_cast<intptr_t>(port->device.get()) : 0;
}

int SerialWrite(int32_t id, const uint8_t* data, int count) {
    if (!data || count <= 0) return 0;
    auto port = Find(id);
    if (!port) return 0;
    int written = port->device->write(data, count);
    return written > 0 ? written : 0;
}

int SerialRead(int32_t id, uint8_t* data, int count) {
    if (!data || count <= 0) return 0;
    auto port = Find(id);
    if (!port) return 0;
    int got = port->device->read(data, count);
    return got > 0 ? got : 0;
}

int SerialInputCount(int32_t id) {
    auto port = Find(id);
    if (!port) return 0;
    int count = port->device->inputCount();
    return count > 0 ? count : 0;
}

int SerialWaitInput(int32_t id, int count, int timeoutMs) {
    auto port = Find(id);
    if (!port) return -1;
    int waiting = port->device->waitInput(count, timeoutMs < 0 ? 0 : timeoutMs);
    return waiting < 0 ? -1 : waiting;
}

int SerialSetLine(int32_t id, int line, int level) {
    if (line != SerialLineDtr && line != SerialLineRts && line != SerialLineBreak) return 0;
    auto port = Find(id);
    if (!port) return 0;
    return port->device->setLine(line, level != 0) ? 1 : 0;
}

int SerialCanOffer(std::u16string_view name) {
    name = Significant(name);
    const std::string key = DeviceKey(name);
    if (key.empty()) return 0;
    if (auto held = FindByKey(key)) return held->device->gone() ? 0 : 1;
    if (SerialIsVirtualPort(name)) return OpenVirtualSerialDevice(name) ? 1 : 0;
    return PlatformSerialCanOffer(key) ? 1 : 0;
}

int SerialPortExists(std::u16string_view name) {
    name = Significant(name);
    const std::string key = DeviceKey(name);
    if (key.empty()) return 0;
    if (SerialIsVirtualPort(name) || FindByKey(key)) return 1;
    return PlatformSerialExists(key) ? 1 : 0;
}

int SerialDeviceGone(int32_t id) {
    auto port = Find(id);
    return port && port->device->gone() ? 1 : 0;
}

std::u16string SerialStableIdentity(std::u16string_view name) {
    name = Significant(name);
    if (SerialIsVirtualPort(name)) return {};
    std::string path;
    if (!SerialDevicePath(name, path)) return {};
    return Utf16FromUtf8(PlatformStableIdentity(path));
}

std::u16string SerialNameOfIdentity(std::u16string_view identity) {
    return Utf16FromUtf8(PlatformNameOfIdentity(Utf8FromUtf16(identity)));
}

int SerialApplyState(int32_t id, int baud, int dtrLevel, int rtsLevel) {
    auto port = Find(id);
    if (!port) return 0;
    if (!port->device->configure(baud, port->dataBits, port->parity, port->stopBits)) return 0;
    bool dtr = port->device->setLine(SerialLineDtr, dtrLevel != 0);
    bool rts = port->device->setLine(SerialLineRts, rtsLevel != 0);
    return dtr && rts ? 1 : 0;
}

}  // namespace kv
