// A scripted serial device for tests, registered as a virtual port. Every byte written is
// answered by a responder (a loopback by default, or a fake 1-Wire bus); the test reads
// back what was written, at which speed, and how the modem lines moved.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/clock.h"
#include "serial/serial_device.h"

namespace kv::test {

struct FakeDeviceState {
    std::mutex lock;
    // Behaviour.
    std::function<std::vector<uint8_t>(uint8_t byte, int baud)> responder;  // nullptr: loopback
    std::deque<std::vector<uint8_t>> scripted;  // answers for the next bytes, before the responder
    int acceptPerWrite = -1;                    // bytes a write takes at most; -1: all
    std::set<int> refusedBauds;
    bool failReads = false;
    bool failCount = false;
    // Observations.
    std::vector<uint8_t> written;
    std::vector<int> writtenBaud;
    std::vector<std::pair<int, bool>> lineEvents;  // (line, level) in order
    std::vector<int> configuredBauds;
    std::vector<int> waits;  // time-outs of the waits that found too few bytes
    std::deque<uint8_t> input;
    int baud = 0;
    bool dtr = true;  // a fresh port has both lines up, as a kernel tty does
    bool rts = true;
    int opens = 0;
    int liveDevices = 0;

    void inject(std::vector<uint8_t> bytes) {
        std::lock_guard guard(lock);
        input.insert(input.end(), bytes.begin(), bytes.end());
    }
};

class FakeSerialDevice final : public SerialDevice {
  public:
    explicit FakeSerialDevice(std::shared_ptr<FakeDeviceState> state);
    ~FakeSerialDevice() override;
    bool configure(int baud, int dataBits, int parity, double stopBits) override;
    bool setLine(int line, bool level) override;
    int write(const uint8_t* data, int count) override;
    int read(uint8_t* data, int count) override;
    int inputCount() override;
    // Everything a write answers arrives at once, so a wait that finds too little sleeps
    // its whole time on the installed clock.
    int waitInput(int count, int timeoutMs) override;

  private:
    std::shared_ptr<FakeDeviceState> state_;
};

// Registers a fake device under a name for the lifetime of the object.
class FakePort {
  public:
    explicit FakePort(std::u16string name = u"FAKE");
    ~FakePort();
    FakePort(const FakePort&) = delete;
    FakePort& operator=(const FakePort&) = delete;
    FakeDeviceState& state() { return *state_; }
    const std::u16string& name() const { return name_; }

  private:
    std::u16string name_;
    std::shared_ptr<FakeDeviceState> state_;
};

// Simulated time: sleeping moves it on, and so does every reading (a little), so that the
// bus's busy polls reach their limits.
class FakeClock final : public TimeSource {
  public:
    int64_t nowMicroseconds() override { return now += stepMicroseconds; }
    void sleepMilliseconds(int32_t milliseconds) override {
        now += int64_t{milliseconds} * 1000;
        sleeps.push_back(milliseconds);
    }
    void sleepMicroseconds(int64_t microseconds) override {
        now += microseconds;
        fineSleeps.push_back(microseconds);
    }
    int64_t now = 0;
    int64_t stepMicroseconds = 10;
    std::vector<int32_t> sleeps;
    std::vector<int64_t> fineSleeps;
};

class ScopedClock {
  public:
    ScopedClock() { SetTimeSource(&clock); }
    ~ScopedClock() { SetTimeSource(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
    FakeClock clock;
};

}  // namespace kv::test
