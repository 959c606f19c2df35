// A port whose device passes everything to a simulated bus except writes that a rule
// swallows (sent nowhere, no echo): a way to make one exact slot of a transaction fail.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "sim/sim_bus.h"

namespace kv::test {

using WriteRule =
    std::function<bool(const std::vector<uint8_t>& previous, const uint8_t* data, int count)>;
void RegisterFaultyPort(std::u16string_view name, std::shared_ptr<SimBus> bus, WriteRule rule);
// The slot bytes of one data byte, least significant bit first.
std::vector<uint8_t> SlotBytes(uint8_t value);

}  // namespace kv::test
