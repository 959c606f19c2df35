#include "probe/mqtt_report.h"

#include <set>

#include "probe/record_format.h"

namespace kv::probe {

MqttReport::MqttReport(MqttPublisher& publisher, MqttNaming naming)
    : publisher_(publisher), naming_(std::move(naming)) {
    publisher_.keep(AdapterDiscoveryTopic(naming_), AdapterDiscoveryConfig(naming_));
}

void MqttReport::announce(const RomCode& rom, Sensor& sensor) {
    publisher_.keep(DiscoveryTopic(rom), DiscoveryConfig(naming_, rom, sensor.name));
}

void MqttReport::setAvailable(const RomCode& rom, Sensor& sensor, bool available) {
    if (sensor.available == available) return;
    sensor.available = available;
    publisher_.keep(AvailabilityTopic(naming_.prefix, rom),
                    available ? SensorAvailable : SensorUnavailable);
    if (!available) publisher_.keep(TemperatureTopic(naming_.prefix, rom), "");
}

void MqttReport::pass(const Pass& pass, const SensorNames& names) {
    publisher_.status(StatusOnline);
    std::set<RomCode> sound;
    for (const Reading& r : pass.readings) {
        if (!r.passed()) continue;
        sound.insert(r.rom);
        auto [known, added] = sensors_.try_emplace(r.rom);
        Sensor& sensor = known->second;
        if (added) {
            sensor.name = names.nameOf(r.rom);
            announce(r.rom, sensor);
        }
        sensor.missedPasses = 0;
        setAvailable(r.rom, sensor, true);
        publisher_.publish(TemperatureTopic(naming_.prefix, r.rom), DecimalText(r.celsius));
    }
    for (auto& [rom, sensor] : sensors_) {
        if (sound.count(rom) == 0 && ++sensor.missedPasses >= UnavailableAfterPasses)
            setAvailable(rom, sensor, false);
    }
}

void MqttReport::renamed(const SensorNames& names) {
    for (auto& [rom, sensor] : sensors_) {
        std::string name = names.nameOf(rom);
        if (name == sensor.name) continue;
        sensor.name = std::move(name);
        announce(rom, sensor);
    }
}

void MqttReport::portLost() {
    publisher_.status(StatusPortLost);
    for (auto& [rom, sensor] : sensors_) {
        sensor.missedPasses = UnavailableAfterPasses;
        setAvailable(rom, sensor, false);
    }
}

void MqttReport::outputs(bool failing) {
    if (outputsFailing_ == (failing ? 1 : 0)) return;
    outputsFailing_ = failing ? 1 : 0;
    publisher_.keep(OutputTopic(naming_), failing ? OutputWriteFailed : OutputWritten);
}

}  // namespace kv::probe
