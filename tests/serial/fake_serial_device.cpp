#include "tests/serial/fake_serial_device.h"

#include "runtime/clock.h"
#include "serial/serial_port.h"

namespace kv::test {

FakeSerialDevice::FakeSerialDevice(std::shared_ptr<FakeDeviceState> state)
    : state_(std::move(state)) {
    std::lock_guard guard(state_->lock);
    ++state_->opens;
    ++state_->liveDevices;
}

FakeSerialDevice::~FakeSerialDevice() {
    std::lock_guard guard(state_->lock);
    --state_->liveDevices;
}

bool FakeSerialDevice::configure(int baud, int, int, double) {
    std::lock_guard guard(state_->lock);
    if (state_->refusedBauds.contains(baud)) return false;
    state_->baud = baud;
    state_->configuredBauds.push_back(baud);
    return true;
}

bool FakeSerialDevice::setLine(int line, bool level) {
    std::lock_guard guard(state_->lock);
    state_->lineEvents.emplace_back(line, level);
    if (line == SerialLineDtr) state_->dtr = level;
    if (line == SerialLineRts) state_->rts = level;
    return true;
}

int FakeSerialDevice::write(const uint8_t* data, int count) {
    std::unique_lock guard(state_->lock);
    int accepted = state_->acceptPerWrite < 0 ? count : std::min(count, state_->acceptPerWrite);
    for (int i = 0; i < accepted; ++i) {
        state_->written.push_back(data[i]);
        state_->writtenBaud.push_back(state_->baud);
        std::vector<uint8_t> echo;
        if (!state_->scripted.empty()) {
            echo = std::move(state_->scripted.front());
            state_->scripted.pop_front();
        } else if (state_->responder) {
            echo = state_->responder(data[i], state_->baud);
        } else {
            echo = {data[i]};
        }
        state_->input.insert(state_->input.end(), echo.begin(), echo.end());
    }
    return accepted;
}

int FakeSerialDevice::read(uint8_t* data, int count) {
    std::lock_guard guard(state_->lock);
    if (state_->failReads) return 0;
    int got = 0;
    while (got < count && !state_->input.empty()) {
        data[got++] = state_->input.front();
        state_->input.pop_front();
    }
    return got;
}

int FakeSerialDevice::inputCount() {
    std::lock_guard guard(state_->lock);
    return state_->failCount ? -1 : static_cast<int>(state_->input.size());
}

int FakeSerialDevice::waitInput(int count, int timeoutMs) {
    {
        std::lock_guard guard(state_->lock);
        if (state_->failCount) return -1;
        if (static_cast<int>(state_->input.size()) >= count)
            return static_cast<int>(state_->input.size());
        state_->waits.push_back(timeoutMs);
    }
    DelayMicroseconds(int64_t{timeoutMs} * 1000);
    return inputCount();
}

FakePort::FakePort(std::u16string name)
    : name_(std::move(name)), state_(std::make_shared<FakeDeviceState>()) {
    auto state = state_;
    SerialRegisterVirtualPort(name_, [state] { return std::make_unique<FakeSerialDevice>(state); });
}

FakePort::~FakePort() {
    SerialCloseAll();
    SerialUnregisterVirtualPort(name_);
}

}  // namespace kv::test
