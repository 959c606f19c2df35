#include "probe/outputs.h"

#include "probe/messages.h"
#include "runtime/host_name.h"
#include "runtime/small_file.h"
#include "runtime/utf.h"
#include "serial/port_presence.h"

namespace kv::probe {

ProbeOutputs::ProbeOutputs(const Options& options, std::FILE* records)
    : options_(options),
      names_(options.namesFile),
      writer_(options.format, records, !options.namesFile.empty(), options.quiet) {}

namespace {

// A secret is the first line of a small file.
bool ReadSecret(const std::string& path, std::string& secret, std::string& error) {
    std::string text;
    if (!ReadSmallFile(path, MaxPasswordFileBytes, text, error)) return false;
    secret = text.substr(0, text.find('\n'));
    if (!secret.empty() && secret.back() == '\r') secret.pop_back();
    return true;
}

}  // namespace

bool ProbeOutputs::prepare(std::string& error) {
    if (names_.active() && !names_.load(error)) return false;
    if (!options_.mqttPasswordFile.empty() &&
        !ReadSecret(options_.mqttPasswordFile, password_, error))
        return false;
    if (options_.httpTokenFile.empty()) return true;
    if (!ReadSecret(options_.httpTokenFile, httpToken_, error)) return false;
    if (!httpToken_.empty()) return true;
    error = options_.httpTokenFile + " holds no token on its first line";
    return false;
}

bool ProbeOutputs::start(bool portThere, std::string& error) {
    if (!options_.prometheusFile.empty()) prometheus_.emplace(options_.prometheusFile);
    if (!options_.httpAddress.empty()) {
        web_.emplace(options_);
        if (!web_->start(httpToken_, error)) return false;
    }
    if (!options_.mqttHost.empty()) {
        mqtt_.emplace();
        const std::string node =
            options_.node.empty()
                ? DefaultNode(
                      Utf8FromUtf16(HostName()),
                      Utf8FromUtf16(SerialStableIdentity(Utf16FromPathBytes(options_.port))),
                      options_.port)
                : options_.node;
        MqttNaming naming{options_.topicPrefix, options_.port, node, 0};
        if (options_.repeats())
            naming.expireAfterSeconds =
                ExpireAfterIntervals * options_.everySeconds + ExpireMarginSeconds;
        report_.emplace(*mqtt_, naming);
    }
    // Said before the broker hears anything, so that it never hears online first.
    if (!portThere) portLost();
    if (!mqtt_) return true;
    const MqttSettings settings{options_.mqttHost, options_.mqttPort, options_.mqttUser, password_,
                                StatusTopic(report_->naming())};
    return mqtt_->start(settings, error);
}

void ProbeOutputs::pass(const SensorList& devices, Pass pass) {
    std::string trouble;
    if (names_.refresh(&trouble) && report_) report_->renamed(names_);
    if (!trouble.empty()) Message(trouble);
    for (Reading& r : pass.readings) r.name = names_.nameOf(r.rom);
    writer_.write(devices, pass);
    if (report_) report_->pass(pass, names_);
    if (prometheus_) {
        prometheus_->records(writer_.queue());
        prometheus_->update(pass);
    }
    if (web_) web_->pass(devices, pass, names_);
    outputsWritten();
}

void ProbeOutputs::portLost() {
    if (report_) report_->portLost();
    Pass none;
    none.sound = false;
    if (prometheus_) {
        prometheus_->records(writer_.queue());
        prometheus_->update(none);
    }
    if (web_) web_->portLost();
    outputsWritten();
}

void ProbeOutputs::outputsWritten() {
    if (report_)
        report_->outputs(writer_.queue().failing() || (prometheus_ && prometheus_->failing()));
}

void ProbeOutputs::stop() {
    if (mqtt_) mqtt_->stop();
    if (web_) web_->stop();
}

bool ProbeOutputs::finish() {
    const bool records = writer_.finish();
    return records && !(prometheus_ && prometheus_->failing());
}

}  // namespace kv::probe
