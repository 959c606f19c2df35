#include "probe/outputs.h"

#include "probe/small_file.h"

namespace kv::probe {

ProbeOutputs::ProbeOutputs(const Options& options, std::FILE* records)
    : options_(options),
      names_(options.namesFile),
      writer_(options.format, records, !options.namesFile.empty()) {}

bool ProbeOutputs::prepare(std::string& error) {
    if (names_.active() && !names_.load(error)) return false;
    if (options_.mqttPasswordFile.empty()) return true;
    std::string text;
    if (!ReadSmallFile(options_.mqttPasswordFile, MaxPasswordFileBytes, text, error)) return false;
    password_ = text.substr(0, text.find('\n'));
    if (!password_.empty() && password_.back() == '\r') password_.pop_back();
    return true;
}

bool ProbeOutputs::start(bool portThere, std::string& error) {
    if (!options_.prometheusFile.empty()) prometheus_.emplace(options_.prometheusFile);
    if (!options_.mqttHost.empty()) {
        mqtt_.emplace();
        MqttNaming naming{options_.topicPrefix, options_.port, 0};
        if (options_.repeats())
            naming.expireAfterSeconds =
                ExpireAfterIntervals * options_.everySeconds + ExpireMarginSeconds;
        report_.emplace(*mqtt_, naming);
    }
    // Said before the broker hears anything, so that it never hears online first.
    if (!portThere) portLost();
    if (!mqtt_) return true;
    const MqttSettings settings{options_.mqttHost, options_.mqttPort, options_.mqttUser, password_,
                                options_.topicPrefix};
    return mqtt_->start(settings, error);
}

void ProbeOutputs::pass(const SensorList& devices, Pass pass) {
    if (names_.refresh() && report_) report_->renamed(names_);
    for (Reading& r : pass.readings) r.name = names_.nameOf(r.rom);
    if (!devices.empty()) writer_.write(devices, pass);
    if (report_) report_->pass(pass, names_);
    if (prometheus_) prometheus_->update(pass);
}

void ProbeOutputs::portLost() {
    if (report_) report_->portLost();
    Pass none;
    none.sound = false;
    if (prometheus_) prometheus_->update(none);
}

void ProbeOutputs::stop() {
    if (mqtt_) mqtt_->stop();
}

}  // namespace kv::probe
