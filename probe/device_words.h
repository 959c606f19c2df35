// The words the outputs use for a device: its family, and how it is powered.
#pragma once
#include <cstdint>

#include "session/sensor_record.h"

namespace kv::probe {

// "DS18B20", "DS18S20", or "unknown" for a family that is no thermometer.
const char* FamilyName(uint8_t family);
// "external", "parasite", or "error" while the device has not answered the question cleanly.
const char* PowerName(SensorRecord::Supply power);

}  // namespace kv::probe
