// Simulated DS18B20 of every published origin (onewire/thermometer_origins.h): each part is
// made from its origin's row, and where the row leaves a fact out the part behaves as a
// genuine one does, which is the hardest case for a check that must tell them apart.
#pragma once
#include <cstdint>
#include <string_view>

#include "onewire/thermometer_origins.h"
#include "sim/sim_device.h"

namespace kv {

// The origin's behaviour: conversion time in the middle of its published span (a genuine
// part's without one), how that follows the resolution, its scratchpad bytes 5 to 7, its
// write fault, its EEPROM or its lack of one, its busy signal and its parasite power.
SimPart SimOriginPart(const ThermometerOrigin& origin);
// A DS18B20 origin by name, letter case aside ("genuine", "b1", "B1v2"...); nullptr for none.
const ThermometerOrigin* SimFindOrigin(std::string_view name);
// A DS18B20 ROM code (CRC included) from the serial with the origin's own pattern, changed
// where needed so that it fits no other origin's pattern and, for a clone, not the genuine
// one.
RomCode SimOriginRom(const ThermometerOrigin& origin, uint64_t serial);

}  // namespace kv
