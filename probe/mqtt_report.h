// What the probe tells an MQTT broker pass by pass. A thermometer is announced (its
// discovery config) with its first sound reading, so a code that a noisy search made up
// never becomes a sensor in Home Assistant. Each announced thermometer has an availability:
// online with a sound reading, offline once it has gone UnavailableAfterPasses passes without
// one or the port is gone; going offline also withdraws its retained temperature, so no value
// outlives the reading it came from.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "monitor/sensor_names.h"
#include "probe/mqtt_publisher.h"
#include "probe/mqtt_topics.h"
#include "probe/pass_readings.h"

namespace kv::probe {

// A lone failed reading (the engine has already read it twice) does not make a sensor
// unavailable; a second pass without a sound reading does.
inline constexpr int32_t UnavailableAfterPasses = 2;
// expire_after in the discovery configs: this many intervals, and a margin for a slow pass.
inline constexpr int32_t ExpireAfterIntervals = 3;
inline constexpr int32_t ExpireMarginSeconds = 10;

class MqttReport {
  public:
    MqttReport(MqttPublisher& publisher, MqttNaming naming);

    void pass(const Pass& pass, const SensorNames& names);
    // The names file changed: the configs of the sensors whose name changed go out again.
    void renamed(const SensorNames& names);
    void portLost();
    const MqttNaming& naming() const { return naming_; }
    // Whether an output of the probe failed its last write; said when it changes.
    void outputs(bool failing);

  private:
    struct Sensor {
        std::string name;
        int32_t missedPasses = 0;
        bool available = false;
    };
    void announce(const RomCode& rom, Sensor& sensor);
    void setAvailable(const RomCode& rom, Sensor& sensor, bool available);

    MqttPublisher& publisher_;
    MqttNaming naming_;
    std::map<RomCode, Sensor> sensors_;  // the announced thermometers
    int outputsFailing_ = -1;            // as last said: 0 or 1, -1 before the first time
};

}  // namespace kv::probe
