// What the probe publishes over MQTT, as topics and payloads; the publisher only sends them.
#pragma once
#include <string>

#include "onewire/search.h"

namespace kv::probe {

// PREFIX/NODE/status: one logger's status, online while the probe reads its port, port-lost while
// the port is gone and tried again, offline once the probe has ended (also as its last will).
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
    std::string node;            // this logger among those that share the broker
    int expireAfterSeconds = 0;  // 0: the readings do not expire
};

// The node a logger is when none is chosen: its host and its adapter's stable identity (the
// port's name where the system gives none), e.g.
// boilerpi_usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0.
std::string DefaultNode(const std::string& host, const std::string& identity,
                        const std::string& port);
// A node chosen with --node is one topic level: no '/', '+', '#' or control character.
bool NodeUsable(const std::string& node);

// Each logger's status speaks for its own sensors only; the sensors' topics are their own.
std::string StatusTopic(const MqttNaming& naming);
// Whether the logger's outputs are written, beside its status.
std::string OutputTopic(const MqttNaming& naming);
std::string TemperatureTopic(const std::string& prefix, const RomCode& rom);
std::string AvailabilityTopic(const std::string& prefix, const RomCode& rom);

// Home Assistant's MQTT discovery: one retained config per thermometer, each its own device
// connected through its logger's adapter device, which shows whether the port is there; a
// thermometer is available while its own logger and its own readings are.
std::string DiscoveryTopic(const RomCode& rom);
// `name`: the user's name for the sensor, empty for none.
std::string DiscoveryConfig(const MqttNaming& naming, const RomCode& rom, const std::string& name);
std::string AdapterDiscoveryTopic(const MqttNaming& naming);
std::string AdapterDiscoveryConfig(const MqttNaming& naming);

}  // namespace kv::probe
