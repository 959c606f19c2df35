#include "probe/mqtt_topics.h"

#include <utility>
#include <vector>

#include "onewire/reading_verdict.h"
#include "onewire/rom_code_text.h"
#include "onewire/thermometer_family.h"
#include "probe/device_words.h"
#include "runtime/json_text.h"

namespace kv::probe {
namespace {

constexpr char DiscoveryPrefix[] = "homeassistant/";
constexpr char ObjectPrefix[] = "kalorivox_";
constexpr char AdapterModel[] = "1-Wire adapter";

// Object ids in discovery topics and device identifiers hold letters, digits, _ and -.
std::string ObjectId(const std::string& text) {
    std::string id = text;
    for (char& c : id) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!plain) c = '_';
    }
    return id;
}

std::string AdapterId(const MqttNaming& naming) {
    return ObjectId(naming.prefix + "_" + naming.node);
}

constexpr char DevicePrefix[] = "/dev/";

// Members of a JSON object in their order, values already in their JSON form.
using Members = std::vector<std::pair<std::string, std::string>>;

std::string Object(const Members& members) {
    std::string text = "{";
    for (const auto& [key, value] : members) {
        if (text.size() > 1) text += ",";
        text += JsonString(key) + ":" + value;
    }
    return text + "}";
}

}  // namespace

std::string DefaultNode(const std::string& host, const std::string& identity,
                        const std::string& port) {
    std::string adapter = identity;
    if (adapter.empty()) {
        adapter = port;
        if (adapter.rfind(DevicePrefix, 0) == 0) adapter.erase(0, sizeof DevicePrefix - 1);
    }
    return ObjectId(host.empty() ? adapter : host + "_" + adapter);
}

bool NodeUsable(const std::string& node) {
    if (node.empty()) return false;
    for (const char c : node)
        if (c == '/' || c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

std::string StatusTopic(const MqttNaming& naming) {
    return naming.prefix + "/" + naming.node + "/status";
}

std::string OutputTopic(const MqttNaming& naming) {
    return naming.prefix + "/" + naming.node + "/output";
}

std::string TemperatureTopic(const std::string& prefix, const RomCode& rom) {
    return prefix + "/" + RomCodeHex(rom) + "/temperature";
}

std::string AvailabilityTopic(const std::string& prefix, const RomCode& rom) {
    return prefix + "/" + RomCodeHex(rom) + "/availability";
}

std::string DiscoveryTopic(const RomCode& rom) {
    return DiscoveryPrefix + std::string("sensor/") + ObjectPrefix + RomCodeHex(rom) + "/config";
}

// Topics, object ids and the unique id keep the 16 hex digits that Home Assistant and
// subscribers know the sensors by; what a person reads (the device's name, its serial number)
// is the ROM code as the window writes it.
std::string DiscoveryConfig(const MqttNaming& naming, const RomCode& rom, const std::string& name) {
    const std::string hex = RomCodeHex(rom), text = RomCodeText(rom);
    const ThermometerFamily* family = FindThermometerFamily(rom[0]);
    const std::string model = family ? family->name : FamilyName(rom[0]);
    const std::string maker = family ? family->maker : "";
    const std::string device = Object({
        {"identifiers", "[" + JsonString(ObjectPrefix + hex) + "]"},
        {"name", JsonString(name.empty() ? model + " " + text : name)},
        {"model", JsonString(model)},
        {"manufacturer", JsonString(maker)},
        {"serial_number", JsonString(text)},
        {"via_device", JsonString(AdapterId(naming))},
    });
    const std::string availability =
        "[" + Object({{"topic", JsonString(StatusTopic(naming))}}) + "," +
        Object({{"topic", JsonString(AvailabilityTopic(naming.prefix, rom))}}) + "]";
    Members config = {
        // The entity takes its device's name.
        {"name", "null"},
        {"unique_id", JsonString(ObjectPrefix + hex)},
        {"state_topic", JsonString(TemperatureTopic(naming.prefix, rom))},
        {"device_class", JsonString("temperature")},
        {"state_class", JsonString("measurement")},
        {"unit_of_measurement", JsonString("°C")},
        {"availability_mode", JsonString("all")},
        {"availability", availability},
        {"device", device},
    };
    if (naming.expireAfterSeconds > 0)
        config.emplace_back("expire_after", std::to_string(naming.expireAfterSeconds));
    return Object(config);
}

std::string AdapterDiscoveryTopic(const MqttNaming& naming) {
    return DiscoveryPrefix + std::string("binary_sensor/") + AdapterId(naming) + "/config";
}

std::string AdapterDiscoveryConfig(const MqttNaming& naming) {
    const std::string id = AdapterId(naming);
    return Object({
        {"name", "null"},
        {"unique_id", JsonString(id)},
        {"state_topic", JsonString(StatusTopic(naming))},
        {"value_template",
         JsonString("{{ 'ON' if value == '" + std::string(StatusOnline) + "' else 'OFF' }}")},
        {"device_class", JsonString("connectivity")},
        {"entity_category", JsonString("diagnostic")},
        {"device", Object({
                       {"identifiers", "[" + JsonString(id) + "]"},
                       {"name", JsonString("Kalorivox " + naming.node)},
                       {"model", JsonString(AdapterModel)},
                   })},
    });
}

}  // namespace kv::probe
