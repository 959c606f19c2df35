// What the rows of the sensor table show: the row built after a search, the cell colours
// and the text operations the monitor shares (ROM code, temperature, Russian plurals).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/sensor_list.h"
#include "onewire/search.h"
#include "ui/toolkit.h"

namespace kv {

inline constexpr int32_t LimitColour = ui::Rgb(255, 249, 171);
inline constexpr int32_t FaultColour = ui::Rgb(253, 136, 136);
inline constexpr int32_t PolledColour = ui::Rgb(128, 255, 128);

// Rebuilds every row of SensorTable from the list; uses the bus for the power mode.
void FillSensorList(SensorList& list);

// "28-0000045A1B2C-84": family, serial number most significant byte first, CRC.
std::u16string FormatRomCode(const RomCode& rom);
// One decimal and " °C".
std::u16string TemperatureText(float celsius);
// Russian count words: one-form for 1, 21, 101; few-form for 2-4, 22-24; many-form else.
std::u16string_view PluralForm(int64_t n, std::u16string_view one, std::u16string_view few,
                               std::u16string_view many);

std::u16string_view DeviceTypeName(uint8_t family);

// Cell operations on SensorTable of MainWindow.
void SetCellText(int32_t row, int column, std::u16string_view text);
void SetCellColour(int32_t row, int column, int32_t colour);

}  // namespace kv
