// kalorivox-probe [options] PORT: what is on this 1-Wire bus and how warm is it, once or at
// an interval, on standard output and, when asked, to an MQTT broker and a Prometheus file.
// Messages go to stderr; see --help for the output and the exit status.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "runtime/clock.h"
#include "runtime/utf.h"
#include "sim/demo_bus.h"
#include "tools/probe/bus_pass.h"
#include "tools/probe/inspect_run.h"
#include "tools/probe/mqtt_publisher.h"
#include "tools/probe/options.h"
#include "tools/probe/prometheus_file.h"
#include "tools/probe/record_format.h"
#include "tools/probe/stop_signal.h"

namespace {

using namespace kv::probe;

bool ReadPassword(const std::string& path, std::string& password) {
    std::ifstream file(path, std::ios::binary);
    if (!file || !std::getline(file, password)) return false;
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

// The outputs other than standard output, each present only when asked for.
struct Outputs {
    std::optional<MqttPublisher> mqtt;
    std::optional<PrometheusFile> prometheus;

    void take(const Pass& pass) {
        if (mqtt) {
            for (const Reading& r : pass.readings)
                if (r.passed()) mqtt->publish(r.rom, DecimalText(r.celsius));
        }
        if (prometheus) prometheus->update(pass);
    }
};

bool StartMqtt(const Options& options, Outputs& outputs) {
    if (options.mqttHost.empty()) return true;
    MqttSettings settings{
        options.mqttHost, options.mqttPort, options.mqttUser, {}, options.topicPrefix};
    if (!options.mqttPasswordFile.empty() &&
        !ReadPassword(options.mqttPasswordFile, settings.password)) {
        Message("cannot read the password file " + options.mqttPasswordFile);
        return false;
    }
    std::string error;
    outputs.mqtt.emplace();
    if (!outputs.mqtt->start(settings, error)) {
        Message(error);
        return false;
    }
    return true;
}

// Thermometers with a sound ROM code are announced; readings of the others never go out.
void Announce(const BusSession& bus, Outputs& outputs) {
    if (!outputs.mqtt) return;
    for (const Device& d : bus.devices())
        if (kv::IsThermometerFamily(d.rom[0]) && kv::RomCrcOk(d.rom.data()))
            outputs.mqtt->announce(d.rom);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (argc < 2) {
        std::fputs(Usage, stderr);
        return 1;
    }
    if (!ParseOptions(argc, argv, options, error)) {
        Message(error);
        return 1;
    }
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (!options.mqttHost.empty() && !MqttAvailable()) {
        Message("this build of kalorivox-probe has no MQTT client");
        return 1;
    }

    kv::SimRegisterDemoPort();
    kv::OneWireSetOptions(options.invert ? kv::OptInvertPower : 0);
    const int32_t port = kv::OneWireOpen(kv::U16(options.port), kv::PortDynamic);
    if (!port) {
        Message("cannot open " + options.port + " (" +
                kv::OneWireResultLabel(kv::OneWireLastResult()) +
                "): missing, busy or not a serial port");
        return 1;
    }
    CatchStopSignals();
    if (options.inspect) {
        const int status = RunInspection(options, port, stdout);
        kv::OneWireClose(port);
        return status;
    }
    Outputs outputs;
    if (!options.prometheusFile.empty()) outputs.prometheus.emplace(options.prometheusFile);
    if (!StartMqtt(options, outputs)) {
        kv::OneWireClose(port);
        return 1;
    }

    BusSession bus(port, options.port);
    RecordWriter writer(options.format, stdout);
    bool search = true, sound = false;
    int64_t nextPass = kv::MillisecondClock();
    for (int64_t done = 0; options.count == 0 || done < options.count; ++done) {
        if (done > 0 && (StopRequested() || !SleepUntil(nextPass))) break;
        // A pass that overran its period is followed at once, but late passes are not
        // made up in a burst.
        nextPass =
            std::max(nextPass, kv::MillisecondClock()) + int64_t{options.everySeconds} * 1000;
        // The bus is searched again after a pass that failed or found no thermometer: the
        // adapter may be back, or the sensors rewired.
        bool searched = true;
        if (search) {
            searched = bus.find();
            if (options.resolution) bus.setResolution(options.resolution, options.saveResolution);
            Announce(bus, outputs);
        }
        const Pass pass = bus.measure();
        if (pass.interrupted) break;  // stopped while the thermometers converted
        if (!bus.devices().empty()) writer.write(bus.devices(), pass);
        outputs.take(pass);
        sound = searched && pass.sound;
        search = !sound || !bus.anyThermometer();
    }
    if (outputs.mqtt) outputs.mqtt->stop();
    kv::OneWireClose(port);
    // Stopping a service is its clean end, whatever the bus did in the pass before.
    return sound || StopRequested() ? 0 : 1;
}
