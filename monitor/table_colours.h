// Cell backgrounds of the sensor table.
#pragma once
#include <cstdint>

#include "ui/toolkit.h"

namespace kv {

inline constexpr int32_t LimitColour = ui::Rgb(255, 249, 171);   // outside the range or limits
inline constexpr int32_t FaultColour = ui::Rgb(253, 136, 136);   // CRC errors, bus failures
inline constexpr int32_t PolledColour = ui::Rgb(128, 255, 128);  // polled last, separately

}  // namespace kv
