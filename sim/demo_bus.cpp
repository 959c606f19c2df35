#include "sim/demo_bus.h"

#include "sim/sim_origins.h"

namespace kv {
namespace {

struct DemoSensor {
    uint8_t family;
    uint64_t serial;
    double celsius;
    double driftCelsius;
    int64_t driftPeriodMs;
    bool parasite;
    const char* origin;  // how the part behaves (sim/sim_origins.h)
};

// Serial numbers as such parts carry them; the CRC bytes are computed, so they are valid.
// The DS18B20 behave as their ROM codes suggest: two clones bought with cheap probes and
// one genuine part.
constexpr DemoSensor DemoSensors[] = {
    {0x28, 0x0417A3C41EFF, 21.5, 0.8, 7 * 60 * 1000, false, "B2"},       // room
    {0x28, 0x0316B2A07C5E, 23.25, 0.5, 11 * 60 * 1000, false, "A2"},     // near the window
    {0x28, 0x0000075A91D4, 19.75, 1.2, 5 * 60 * 1000, true, "genuine"},  // cellar, two-wire
    {0x10, 0x0008021B6F3A, 22.0, 0.6, 9 * 60 * 1000, false, "genuine"},  // older part on the shelf
};

}  // namespace

std::shared_ptr<SimBus> SimMakeDemoBus() {
    auto bus = std::make_shared<SimBus>();
    for (const DemoSensor& s : DemoSensors) {
        auto device = bus->addThermometer(SimMakeRom(s.family, s.serial), s.celsius, s.parasite);
        device->setDrift(s.driftCelsius, s.driftPeriodMs);
        if (s.origin) device->setPart(SimOriginPart(*FindThermometerOrigin(s.family, s.origin)));
    }
    return bus;
}

void SimRegisterDemoPort() {
    // One bus for the whole process, so that the sensors keep their state between opens.
    static const std::shared_ptr<SimBus> bus = SimMakeDemoBus();
    SimRegisterBus(DemoPortName, bus);
}

}  // namespace kv
