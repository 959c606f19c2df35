#include "probe/device_words.h"

#include "onewire/thermometer_family.h"

namespace kv::probe {

const char* FamilyName(uint8_t family) {
    const ThermometerFamily* known = FindThermometerFamily(family);
    return known ? known->name : "unknown";
}

const char* PowerName(SensorRecord::Supply power) {
    switch (power) {
        case SensorRecord::Supply::External:
            return "external";
        case SensorRecord::Supply::Parasite:
            return "parasite";
        case SensorRecord::Supply::NotAsked:
            break;
    }
    return "error";
}

}  // namespace kv::probe
