// What the probe publishes over MQTT, as topics and payloads; the publisher only sends them.
#pragma once
#include <string>

#include "onewire/search.h"

namespace kv::probe {

inline constexpr char StatusOnline[] = "online";
inline constexpr char StatusOffline[] = "offline";

std::string StatusTopic(const std::string& prefix);
std::string TemperatureTopic(const std::string& prefix, const RomCode& rom);
// Home Assistant's MQTT discovery: one retained config per thermometer.
std::string DiscoveryTopic(const RomCode& rom);
std::string DiscoveryConfig(const std::string& prefix, const RomCode& rom);

}  // namespace kv::probe
