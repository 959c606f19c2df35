// Registry of in-process serial devices (simulated buses) reachable by a port name.
#include <algorithm>
#include <mutex>
#include <utility>

#include "serial/serial_device.h"

namespace kv {
namespace {

std::mutex registryLock;
std::vector<std::pair<std::u16string, SerialDeviceFactory>>& Registry() {
    static std::vector<std::pair<std::u16string, SerialDeviceFactory>> registry;
    return registry;
}

}  // namespace

void SerialRegisterVirtualPort(std::u16string_view name, SerialDeviceFactory factory) {
    if (name.empty() || !factory) return;
    std::lock_guard lock(registryLock);
    auto& registry = Registry();
    auto it = std::find_if(registry.begin(), registry.end(),
                           [&](const auto& entry) { return entry.first == name; });
    if (it != registry.end()) {
        it->second = std::move(factory);  // re-registering replaces, keeps its place
    } else {
        registry.emplace_back(std::u16string(name), std::move(factory));
    }
}

void SerialUnregisterVirtualPort(std::u16string_view name) {
    std::lock_guard lock(registryLock);
    std::erase_if(Registry(), [&](const auto& entry) { return entry.first == name; });
}

std::vector<std::u16string> SerialVirtualPortNames() {
    std::lock_guard lock(registryLock);
    std::vector<std::u16string> names;
    for (const auto& entry : Registry()) names.push_back(entry.first);
    return names;
}

std::unique_ptr<SerialDevice> OpenVirtualSerialDevice(std::u16string_view name) {
    SerialDeviceFactory factory;
    {
        std::lock_guard lock(registryLock);
        for (const auto& entry : Registry()) {
            if (entry.first == name) factory = entry.second;
        }
    }
    // The factory runs outside the lock: it may itself look at the registry.
    return factory ? factory() : nullptr;
}

}  // namespace kv
