#include "tools/probe/mqtt_topics.h"

#include "tools/probe/bus_pass.h"
#include "tools/probe/json_text.h"

namespace kv::probe {
namespace {

constexpr char DiscoveryPrefix[] = "homeassistant/sensor/";
constexpr char ObjectPrefix[] = "kalorivox_";

}  // namespace

std::string StatusTopic(const std::string& prefix) {
    return prefix + "/status";
}

std::string TemperatureTopic(const std::string& prefix, const RomCode& rom) {
    return prefix + "/" + RomCodeHex(rom) + "/temperature";
}

std::string DiscoveryTopic(const RomCode& rom) {
    return DiscoveryPrefix + std::string(ObjectPrefix) + RomCodeHex(rom) + "/config";
}

std::string DiscoveryConfig(const std::string& prefix, const RomCode& rom) {
    const std::string id = ObjectPrefix + RomCodeHex(rom);
    const std::string name = std::string(FamilyName(rom[0])) + " " + RomCodeHex(rom);
    return "{\"name\":" + JsonString(name) + ",\"unique_id\":" + JsonString(id) +
           ",\"state_topic\":" + JsonString(TemperatureTopic(prefix, rom)) +
           ",\"device_class\":\"temperature\",\"state_class\":\"measurement\","
           "\"unit_of_measurement\":\"°C\",\"availability_topic\":" +
           JsonString(StatusTopic(prefix)) + "}";
}

}  // namespace kv::probe
