// kalorivox-probe [options] PORT: what is on this 1-Wire bus and how warm is it, once or at
// an interval, on standard output and, when asked, to an MQTT broker and a Prometheus file.
// Messages go to stderr; see --help for the output and the exit status.
#include <cstdio>
#include <string>

#include "onewire/port.h"
#include "probe/inspect_run.h"
#include "probe/messages.h"
#include "probe/mqtt_publisher.h"
#include "probe/options.h"
#include "probe/outputs.h"
#include "probe/probe_run.h"
#include "probe/stop_signal.h"
#include "sim/demo_bus.h"
#include "web/web_server.h"

namespace {

using namespace kv::probe;

// --inspect looks at the thermometers once, on a port that must be there.
int Inspect(const Options& options) {
    ProbeBus bus(options);
    if (!bus.open()) return 1;
    const int status = RunInspection(options, bus, stdout);
    bus.close();
    return status;
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
    if (!options.httpAddress.empty() && !kv::web::WebServerAvailable()) {
        Message("this build of kalorivox-probe has no web server (--http)");
        return 1;
    }
    ProbeOutputs outputs(options, stdout);
    if (!outputs.prepare(error)) {
        Message(error);
        return 1;
    }
    kv::SimRegisterDemoPort();
    kv::OneWireSetOptions(options.invert ? kv::OptInvertPower : 0);
    CatchStopSignals();
    if (options.inspect) return Inspect(options);
    const int status = RunProbe(options, outputs);
    // Records that never reached the output, or a Prometheus file left unwritten, fail the run.
    return outputs.finish() ? status : 1;
}
