// One open serial device as the port table sees it. The platform backends and the
// simulated buses implement it; the port table owns the instances.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class SerialDevice {
  public:
    virtual ~SerialDevice() = default;
    // Line settings for the next byte written; false when the device refuses them.
    virtual bool configure(int baud, int dataBits, int parity, double stopBits) = 0;
    virtual bool setLine(int line, bool level) = 0;
    // Writes all bytes or reports how many went out before the write time limit.
    virtual int write(const uint8_t* data, int count) = 0;
    // Never blocks for longer than it takes to collect bytes already announced by inputCount.
    virtual int read(uint8_t* data, int count) = 0;
    virtual int inputCount() = 0;  // -1 when the query fails
    // Sleeps until inputCount() reaches `count` or `timeoutMs` milliseconds have passed,
    // whichever comes first, and returns inputCount() then; -1 when the device failed. A
    // device may move received bytes from its driver into a buffer of its own meanwhile;
    // inputCount() and read() include them. The default cannot sleep and only looks once:
    // callers keep their own deadline and call again.
    virtual int waitInput(int count, int timeoutMs) {
        (void)count;
        (void)timeoutMs;
        return inputCount();
    }
    // True once the device itself has gone (unplugged, hung up), not just a transfer failed.
    virtual bool gone() { return false; }
};

// Opens a device node of the operating system; nullptr when it is missing or busy.
std::unique_ptr<SerialDevice> OpenPlatformSerialDevice(const std::string& path);
// Candidate port names of this system, bare, in natural order (ports not probed).
std::vector<std::string> PlatformSerialCandidates();

// Virtual ports: names that open a device made in-process (the simulated buses).
using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;
void SerialRegisterVirtualPort(std::u16string_view name, SerialDeviceFactory factory);
void SerialUnregisterVirtualPort(std::u16string_view name);
std::vector<std::u16string> SerialVirtualPortNames();  // in order of registration
bool SerialIsVirtualPort(std::u16string_view name);
// A fresh device of the virtual port registered under exactly this name, else nullptr.
std::unique_ptr<SerialDevice> OpenVirtualSerialDevice(std::u16string_view name);

}  // namespace kv
