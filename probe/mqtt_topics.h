// What the probe publishes over MQTT, as topics and payloads; the publisher only sends them.
#pragma once
#include <string>

#include "onewire/search.h"

namespace kv::probe {

// PREFIX/status: online while the probe reads its port, port-lost while the port is gone and
// tried again, offline once the probe has ended (also as its last will).
inline constexpr char StatusOnline[] = "online";
inline constexpr char StatusPortLost[] = "port-lost";
inline constexpr char StatusOffline[] = "offline";
// PREFIX/output: whether the probe's own outputs (the records on standard output, the
// Prometheus file) are written; the readings go on either way.
inline constexpr char OutputWritten[] = "ok";
inline constexpr char OutputWriteFailed[] = "write-failed";
// PREFIX/<ROM>/availability.
inline constexpr char SensorAvailable[] = "online";
inline constexpr char SensorUnavailable[] = "offline";

// What the topics and configs of one run are made of.
struct MqttNaming {
    std::string prefix;
    std::string port;            // as given on the command line
    int expireAfterSeconds = 0;  // 0: the readings do not expire
};

std::string StatusTopic(const std::string& prefix);
std::string OutputTopic(const std::string& prefix);
std::string TemperatureTopic(const std::string& prefix, const RomCode& rom);
std::string AvailabilityTopic(const std::string& prefix, const RomCode& rom);

// Home Assistant's MQTT discovery: one retained config per thermometer, each its own device
// connected through the adapter's device, which shows whether the port is there.
std::string DiscoveryTopic(const RomCode& rom);
// `name`: the user's name for the sensor, empty for none.
std::string DiscoveryConfig(const MqttNaming& naming, const RomCode& rom, const std::string& name);
std::string AdapterDiscoveryTopic(const MqttNaming& naming);
std::string AdapterDiscoveryConfig(const MqttNaming& naming);

}  // namespace kv::probe
