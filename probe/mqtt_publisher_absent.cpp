// Builds without the MQTT client library (such as the Windows cross-build): the probe
// still runs, and --mqtt is refused with a reason.
#include "probe/mqtt_publisher.h"

namespace kv::probe {

bool MqttAvailable() {
    return false;
}

struct MqttPublisher::State {};

MqttPublisher::MqttPublisher() = default;
MqttPublisher::~MqttPublisher() = default;

bool MqttPublisher::start(const MqttSettings&, std::string& error) {
    error = "this build of kalorivox-probe has no MQTT client";
    return false;
}

void MqttPublisher::status(const std::string&) {}
void MqttPublisher::keep(const std::string&, const std::string&) {}
void MqttPublisher::publish(const std::string&, const std::string&) {}
void MqttPublisher::stop() {}

}  // namespace kv::probe
