#include "probe/inspect_run.h"

#include "onewire/result.h"
#include "onewire/rom_code_text.h"
#include "onewire/thermometer_family.h"
#include "probe/messages.h"
#include "probe/stop_signal.h"
#include "runtime/clock.h"

namespace kv::probe {

InspectedSensor InspectSensor(const RomCode& rom, int32_t port) {
    InspectedSensor sensor;
    const int64_t start = MillisecondClock();
    sensor.seen = OneWireInspectThermometer(rom, port, WaitUnlessStopped);
    sensor.seconds = static_cast<double>(MillisecondClock() - start) / 1000.0;
    sensor.judgement = JudgeOrigin(sensor.seen);
    return sensor;
}

int RunInspection(const Options& options, const ProbeBus& bus, std::FILE* out) {
    bool sound = bus.searchedWhole();
    for (const SensorRecord& d : bus.list().records()) {
        // Every device found is listed, those a stop left out too.
        const char* skipped = !IsThermometerFamily(d.Rom[0]) ? "not a thermometer"
                              : StopRequested()              ? "stopped"
                                                             : nullptr;
        if (skipped) {
            if (options.format == Format::Lines)
                std::fprintf(out, "%s  %s: not inspected\n\n", RomCodeText(d.Rom).c_str(), skipped);
            continue;
        }
        const InspectedSensor sensor = InspectSensor(d.Rom, bus.port());
        if (options.format == Format::Json)
            std::fprintf(out, "%s\n", InspectionJson(sensor).c_str());
        else
            std::fprintf(out, "%s\n", InspectionText(sensor).c_str());
        std::fflush(out);
        const ThermometerInspection& seen = sensor.seen;
        if (seen.first && !seen.restored)
            Message("could not put back the scratchpad of " + RomCodeText(d.Rom) +
                    ": its TH, TL and configuration may differ from before until it is powered "
                    "up again");
        if (seen.result != Ok || seen.cutShort) sound = false;
    }
    return sound && !StopRequested() ? 0 : 1;
}

}  // namespace kv::probe
