#include "probe/mqtt_topics.h"

#include <utility>
#include <vector>

#include "onewire/reading_verdict.h"
#include "onewire/thermometer_family.h"
#include "probe/device_words.h"
#include "probe/json_text.h"

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
    return ObjectId(naming.prefix + "_" + naming.port);
}

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

std::string StatusTopic(const std::string& prefix) {
    return prefix + "/status";
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

std::string DiscoveryConfig(const MqttNaming& naming, const RomCode& rom, const std::string& name) {
    const std::string hex = RomCodeHex(rom);
    const ThermometerFamily* family = FindThermometerFamily(rom[0]);
    const std::string model = family ? family->name : FamilyName(rom[0]);
    const std::string maker = family ? family->maker : "";
    const std::string device = Object({
        {"identifiers", "[" + JsonString(ObjectPrefix + hex) + "]"},
        {"name", JsonString(name.empty() ? model + " " + hex : name)},
        {"model", JsonString(model)},
        {"manufacturer", JsonString(maker)},
        {"serial_number", JsonString(hex)},
        {"via_device", JsonString(AdapterId(naming))},
    });
    const std::string availability =
        "[" + Object({{"topic", JsonString(StatusTopic(naming.prefix))}}) + "," +
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
        {"state_topic", JsonString(StatusTopic(naming.prefix))},
        {"value_template",
         JsonString("{{ 'ON' if value == '" + std::string(StatusOnline) + "' else 'OFF' }}")},
        {"device_class", JsonString("connectivity")},
        {"entity_category", JsonString("diagnostic")},
        {"device", Object({
                       {"identifiers", "[" + JsonString(id) + "]"},
                       {"name", JsonString("Kalorivox " + naming.port)},
                       {"model", JsonString(AdapterModel)},
                   })},
    });
}

}  // namespace kv::probe
