#include "sim/sim_bus.h"

#include <algorithm>
#include <bit>

#include "runtime/clock.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

// Line timing of the devices, in microseconds from the falling edge that opens a slot.
constexpr double ResetLowUs = 480.0;      // a low pulse at least this long resets the bus
constexpr double SampleUs = 30.0;         // where a device samples the master's write slot
constexpr double ZeroHoldUs = 32.0;       // how long a device holds a read slot low for a 0
constexpr double PresenceDelayUs = 30.0;  // after the reset pulse ends
constexpr double PresenceUs = 120.0;

class SimSerialDevice final : public SerialDevice {
  public:
    explicit SimSerialDevice(std::shared_ptr<SimBus> bus) : bus_(std::move(bus)) {}
    ~SimSerialDevice() override { bus_->detach(); }
    bool configure(int baud, int dataBits, int parity, double stopBits) override {
        // The model knows 8N1 only, which is all a 1-Wire adapter is driven with.
        if (baud <= 0 || dataBits != 8 || parity != 0 || stopBits != 1.0) return false;
        bus_->configure(baud);
        return true;
    }
    bool setLine(int line, bool level) override {
        if (line != SerialLineDtr && line != SerialLineRts && line != SerialLineBreak) return false;
        bus_->setLine(line, level);
        return true;
    }
    int write(const uint8_t* data, int count) override { return bus_->write(data, count); }
    int read(uint8_t* data, int count) override { return bus_->read(data, count); }
    int inputCount() override { return bus_->inputCount(); }
    int waitInput(int count, int timeoutMs) override { return bus_->waitInput(count, timeoutMs); }

  private:
    std::shared_ptr<SimBus> bus_;
};

// Bits of an echoed byte whose sampling point (the middle of the bit) falls in [from, to).
uint8_t SampledBits(double bitUs, double from, double to) {
    uint8_t mask = 0;
    for (int k = 0; k < 8; ++k) {
        const double sample = (1.5 + k) * bitUs;
        if (sample >= from && sample < to) mask |= static_cast<uint8_t>(1u << k);
    }
    return mask;
}

// How long the line stays low from the start bit on: the start bit plus the low data bits
// that follow it (least significant first). This is what the devices take as the slot.
double LowMicroseconds(uint8_t sent, int baud) {
    const int leadingZeros = sent == 0 ? 8 : std::countr_zero(sent);
    return (1 + leadingZeros) * 1e6 / baud;
}

}  // namespace

int64_t SimByteMicroseconds(int baud) {
    return baud > 0 ? (10'000'000 + baud / 2) / baud : 0;
}

SimBus::SimBus(uint64_t seed) : random_(seed) {}

std::shared_ptr<SimDevice> SimBus::addDevice(const RomCode& rom) {
    auto device = std::make_shared<SimDevice>(rom);
    plug(device);
    return device;
}

std::shared_ptr<SimDevice> SimBus::addThermometer(const RomCode& rom, double celsius,
                                                  bool parasite) {
    auto device = std::make_shared<SimDevice>(rom);
    device->setTemperature(celsius);
    device->setParasite(parasite);
    plug(device);
    return device;
}

void SimBus::plug(std::shared_ptr<SimDevice> device) {
    if (!device) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(devices_.begin(), devices_.end(), device) != devices_.end()) return;
    device->powerOn();  // a part plugged in starts from scratch, whatever it did before
    devices_.push_back(std::move(device));
}

bool SimBus::unplug(const RomCode& rom) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = std::find_if(devices_.begin(), devices_.end(),
                                 [&](const auto& d) { return d->rom() == rom; });
    if (it == devices_.end()) return false;
    devices_.erase(it);
    return true;
}

void SimBus::clearDevices() {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.clear();
}

std::vector<std::shared_ptr<SimDevice>> SimBus::devices() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return devices_;
}

std::shared_ptr<SimDevice> SimBus::device(const RomCode& rom) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& d : devices_)
        if (d->rom() == rom) return d;
    return nullptr;
}

void SimBus::setAdapterPresent(bool present) {
    std::lock_guard<std::mutex> lock(mutex_);
    adapterPresent_ = present;
}

void SimBus::setStuckLow(bool stuck) {
    std::lock_guard<std::mutex> lock(mutex_);
    stuckLow_ = stuck;
}

void SimBus::setNoise(double flipProbability) {
    std::lock_guard<std::mutex> lock(mutex_);
    noise_ = std::clamp(flipProbability, 0.0, 1.0);
}

void SimBus::setSeed(uint64_t seed) {
    std::lock_guard<std::mutex> lock(mutex_);
    random_.seed(seed);
}

void SimBus::setStrayProbability(double probability) {
    std::lock_guard<std::mutex> lock(mutex_);
    stray_ = std::clamp(probability, 0.0, 1.0);
}

void SimBus::injectStray(std::span<const uint8_t> bytes) {
    const int64_t now = MicrosecondClock();
    std::lock_guard<std::mutex> lock(mutex_);
    for (uint8_t b : bytes) queueEchoLocked(b, now);
}

void SimBus::setEchoLatencyMicroseconds(int64_t latency) {
    std::lock_guard<std::mutex> lock(mutex_);
    latency_ = std::max<int64_t>(0, latency);
}

void SimBus::setEchoBudget(int64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    echoBudget_ = bytes < 0 ? -1 : bytes;
}

void SimBus::holdEcho(int64_t afterEchoes, int64_t heldMicroseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    holdCountdown_ = afterEchoes < 0 ? -1 : afterEchoes;
    holdUs_ = std::max<int64_t>(0, heldMicroseconds);
}

void SimBus::setWireTime(bool emulate) {
    std::lock_guard<std::mutex> lock(mutex_);
    wireTime_ = emulate;
}

void SimBus::setPoweredLevel(bool high) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool was = poweredLocked();
    poweredLevel_ = high;
    if (was && !poweredLocked())
        for (auto& d : devices_) d->powerLost();
}

void SimBus::setPowerSensing(bool sensing) {
    std::lock_guard<std::mutex> lock(mutex_);
    powerSensing_ = sensing;
}

std::unique_ptr<SerialDevice> SimBus::attach() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (attached_) return nullptr;
    attached_ = true;
    baud_ = 9600;
    break_ = false;
    lineFree_ = 0;
    input_.clear();
    packetFill_ = 0;
    return std::make_unique<SimSerialDevice>(shared_from_this());
}

bool SimBus::attached() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return attached_;
}

void SimBus::detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    // The modem lines keep their levels: a port closed without hang-up on close leaves
    // them where its user put them.
    break_ = false;
    input_.clear();
    packetFill_ = 0;
    attached_ = false;
}

void SimBus::configure(int baud) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (baud > 0) baud_ = baud;
}

void SimBus::setLine(int line, bool level) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (line == SerialLineDtr)
        applyLines(level, rts_);
    else if (line == SerialLineRts)
        applyLines(dtr_, level);
    else if (line == SerialLineBreak)
        break_ = level;
}

void SimBus::applyLines(bool dtr, bool rts) {
    const bool was = poweredLocked();
    dtr_ = dtr;
    rts_ = rts;
    if (was && !poweredLocked())
        for (auto& d : devices_) d->powerLost();
}

bool SimBus::poweredLocked() const {
    return !powerSensing_ || (dtr_ == poweredLevel_ && rts_ == poweredLevel_);
}

uint8_t SimBus::lineEcho(uint8_t sent, int64_t start) {
    if (stuckLow_ || break_ || !poweredLocked()) return 0x00;
    const double bitUs = 1e6 / baud_;
    const double lowUs = LowMicroseconds(sent, baud_);
    uint8_t echo = sent;
    if (lowUs >= ResetLowUs) {
        for (auto& d : devices_) d->busReset();
        if (!devices_.empty()) {
            const double from = lowUs + PresenceDelayUs;
            echo &= static_cast<uint8_t>(~SampledBits(bitUs, from, from + PresenceUs));
        }
    } else {
        const bool masterReleases = lowUs < SampleUs;
        bool pulled = false;
        for (auto& d : devices_) pulled = d->pullsSlotLow(start) || pulled;
        const bool level = masterReleases && !pulled;
        for (auto& d : devices_) d->slotDone(level, start);
        if (pulled) echo &= static_cast<uint8_t>(~SampledBits(bitUs, 0.0, ZeroHoldUs));
    }
    if (noise_ > 0.0) {
        std::bernoulli_distribution flip(noise_);
        for (int k = 0; k < 8; ++k)
            if (flip(random_)) echo ^= static_cast<uint8_t>(1u << k);
    }
    return echo;
}

int SimBus::write(const uint8_t* data, int count) {
    if (data == nullptr || count <= 0) return 0;
    const int64_t now = MicrosecondClock();
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t byteUs = SimByteMicroseconds(baud_);
    ++stats_.writes;
    stats_.bytes += count;
    stats_.wireMicroseconds += byteUs * count;
    int64_t start = wireTime_ ? std::max(now, lineFree_) : now;
    for (int i = 0; i < count; ++i) {
        const uint8_t sent = data[i];
        if (LowMicroseconds(sent, baud_) >= ResetLowUs) ++stats_.resetBytes;
        if (recording_) wire_.push_back({sent, baud_});
        const int64_t end = wireTime_ ? start + byteUs : now;
        const int64_t slotStart = start;
        if (wireTime_) start = end;
        if (echoBudget_ == 0 || !adapterPresent_) continue;  // nothing reaches the bus
        if (echoBudget_ > 0) --echoBudget_;
        const uint8_t echo = lineEcho(sent, slotStart);
        queueEchoLocked(echo, end);
        if (stray_ > 0.0 && std::bernoulli_distribution(stray_)(random_))
            queueEchoLocked(static_cast<uint8_t>(random_()), end);
    }
    if (wireTime_) lineFree_ = start;
    return count;
}

void SimBus::queueEchoLocked(uint8_t byte, int64_t arrived) {
    if (holdCountdown_ >= 0 && holdCountdown_-- == 0) {
        heldUntil_ = arrived + holdUs_;
        input_.push_back({byte, heldUntil_});
        packetFill_ = 0;  // the echoes behind it fill a packet of their own
        return;
    }
    if (latency_ <= 0) {
        input_.push_back({byte, std::max(arrived, heldUntil_)});
        return;
    }
    if (packetFill_ == 0 || arrived >= packetDue_) {
        packetDue_ = arrived + latency_;  // the timer had sent the previous packet
        packetFill_ = 0;
    }
    input_.push_back({byte, std::max(packetDue_, heldUntil_)});
    if (++packetFill_ < UsbPacketBytes) return;
    // Full: the packet goes at once, its earlier echoes with it.
    for (auto it = input_.end() - packetFill_; it != input_.end(); ++it)
        it->visibleAt = std::max(arrived, heldUntil_);
    packetFill_ = 0;
}

int SimBus::visibleCountLocked(int64_t now) const {
    int n = 0;
    for (const Echo& e : input_) {
        if (e.visibleAt > now) break;
        ++n;
    }
    return n;
}

int SimBus::inputCount() {
    const int64_t now = MicrosecondClock();
    std::lock_guard<std::mutex> lock(mutex_);
    return visibleCountLocked(now);
}

int SimBus::waitInput(int count, int timeoutMs) {
    const int64_t deadline = MicrosecondClock() + int64_t{timeoutMs} * 1000;
    for (;;) {
        const int64_t now = MicrosecondClock();
        int visible;
        int64_t due = -1;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            visible = visibleCountLocked(now);
            if (count > 0 && static_cast<size_t>(count) <= input_.size())
                due = input_[static_cast<size_t>(count) - 1].visibleAt;
        }
        if (visible >= count || now >= deadline) return visible;
        // Echoes written later cannot come sooner than those already on their way.
        DelayMicroseconds((due >= 0 && due < deadline ? due : deadline) - now);
    }
}

int SimBus::read(uint8_t* data, int count) {
    if (data == nullptr || count <= 0) return 0;
    const int64_t now = MicrosecondClock();
    std::lock_guard<std::mutex> lock(mutex_);
    const int n = std::min(count, visibleCountLocked(now));
    for (int i = 0; i < n; ++i) {
        data[i] = input_.front().byte;
        input_.pop_front();
    }
    return n;
}

int64_t SimBus::nextEchoDueMicroseconds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return input_.empty() ? -1 : input_.front().visibleAt;
}

int64_t SimBus::lastEchoDueMicroseconds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return input_.empty() ? -1 : input_.back().visibleAt;
}

void SimBus::dropInput() {
    std::lock_guard<std::mutex> lock(mutex_);
    input_.clear();
    packetFill_ = 0;
}

int SimBus::baud() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return baud_;
}

bool SimBus::lineLevel(int line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (line == SerialLineDtr) return dtr_;
    if (line == SerialLineRts) return rts_;
    return break_;
}

bool SimBus::powered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return poweredLocked();
}

SimBus::Stats SimBus::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
}

void SimBus::resetStats() {
    std::lock_guard<std::mutex> lock(mutex_);
    stats_ = Stats{};
}

void SimBus::recordWire(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    recording_ = on;
    if (on) wire_.clear();
}

std::vector<SimBus::WireByte> SimBus::wire() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wire_;
}

void SimRegisterBus(std::u16string_view name, std::shared_ptr<SimBus> bus) {
    SerialRegisterVirtualPort(name,
                              [bus]() -> std::unique_ptr<SerialDevice> { return bus->attach(); });
}

}  // namespace kv
