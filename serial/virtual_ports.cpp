// Registry of in-process serial devices (simulated buses) reachable by a port name.
// Unregistering a name is unplugging it: a device still open under it fails from then on
// and reports that it has gone, as a real adapter pulled out of its socket does.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

#include "serial/serial_device.h"

namespace kv {
namespace {

struct Entry {
    std::u16string name;
    SerialDeviceFactory factory;
    std::shared_ptr<std::atomic<bool>> present;
};

class VirtualDevice final : public SerialDevice {
  public:
    VirtualDevice(std::unique_ptr<SerialDevice> inner, std::shared_ptr<std::atomic<bool>> present)
        : inner_(std::move(inner)), present_(std::move(present)) {}
    bool configure(int baud, int dataBits, int parity, double stopBits) override {
        return here() && inner_->configure(baud, dataBits, parity, stopBits);
    }
    bool setLine(int line, bool level) override { return here() && inner_->setLine(line, level); }
    int write(const uint8_t* data, int count) override {
        return here() ? inner_->write(data, count) : 0;
    }
    int read(uint8_t* data, int count) override { return here() ? inner_->read(data, count) : 0; }
    int inputCount() override { return here() ? inner_->inputCount() : -1; }
    int waitInput(int count, int timeoutMs) override {
        return here() ? inner_->waitInput(count, timeoutMs) : -1;
    }
    bool gone() override { return !here() || inner_->gone(); }

  private:
    bool here() const { return present_->load(); }
    std::unique_ptr<SerialDevice> inner_;
    std::shared_ptr<std::atomic<bool>> present_;
};

std::mutex registryLock;
std::vector<Entry>& Registry() {
    static std::vector<Entry> registry;
    return registry;
}

}  // namespace

void SerialRegisterVirtualPort(std::u16string_view name, SerialDeviceFactory factory) {
    if (name.empty() || !factory) return;
    std::lock_guard lock(registryLock);
    auto& registry = Registry();
    auto it = std::find_if(registry.begin(), registry.end(),
                           [&](const Entry& entry) { return entry.name == name; });
    if (it != registry.end()) {
        it->factory = std::move(factory);  // re-registering replaces, keeps its place
    } else {
        registry.push_back(Entry{std::u16string(name), std::move(factory),
                                 std::make_shared<std::atomic<bool>>(true)});
    }
}

void SerialUnregisterVirtualPort(std::u16string_view name) {
    std::lock_guard lock(registryLock);
    std::erase_if(Registry(), [&](const Entry& entry) {
        if (entry.name != name) return false;
        entry.present->store(false);
        return true;
    });
}

std::vector<std::u16string> SerialVirtualPortNames() {
    std::lock_guard lock(registryLock);
    std::vector<std::u16string> names;
    for (const auto& entry : Registry()) names.push_back(entry.name);
    return names;
}

bool SerialIsVirtualPort(std::u16string_view name) {
    std::lock_guard lock(registryLock);
    const auto& registry = Registry();
    return std::any_of(registry.begin(), registry.end(),
                       [&](const Entry& entry) { return entry.name == name; });
}

std::unique_ptr<SerialDevice> OpenVirtualSerialDevice(std::u16string_view name) {
    SerialDeviceFactory factory;
    std::shared_ptr<std::atomic<bool>> present;
    {
        std::lock_guard lock(registryLock);
        for (const auto& entry : Registry()) {
            if (entry.name == name) {
                factory = entry.factory;
                present = entry.present;
            }
        }
    }
    // The factory runs outside the lock: it may itself look at the registry.
    if (!factory) return nullptr;
    auto device = factory();
    if (!device) return nullptr;
    return std::make_unique<VirtualDevice>(std::move(device), std::move(present));
}

}  // namespace kv
