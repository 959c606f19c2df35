#include "monitor/sensor_table.h"

#include "monitor/control_block.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "runtime/number_text.h"

namespace kv {

namespace {

constexpr char16_t CellSeparator = u'\n';

std::u16string HexByte(uint8_t value) {
    return PadLeft(HexText(value), 2, u"0");
}

// The power mode answer counts only when the query went through cleanly; a failed read slot
// answers 1 and would otherwise be shown as an external supply.
std::u16string_view PowerModeText(const RomCode& rom) {
    if (!OneWireMatchRom(rom.data(), PortCurrent)) return texts::PowerUnknown;
    const int answer = OneWireReadPowerSupply(PortCurrent);
    if (OneWireLastResult() != Ok) return texts::PowerUnknown;
    return answer == 1 ? texts::PowerExternal : texts::PowerParasite;
}

}  // namespace

std::u16string FormatRomCode(const RomCode& rom) {
    std::u16string text = HexByte(rom[0]);
    text += u'-';
    for (int i = 6; i >= 1; --i) text += HexByte(rom[static_cast<size_t>(i)]);
    text += u'-';
    text += HexByte(rom[7]);
    return text;
}

std::u16string TemperatureText(float celsius) {
    return FloatToText(celsius, 1) + std::u16string(texts::DegreesSuffix);
}

std::u16string_view PluralForm(int64_t n, std::u16string_view one, std::u16string_view few,
                               std::u16string_view many) {
    const int64_t m = n % 100;
    const int64_t r = m % 10;
    if (m > 10 && m < 20) return many;
    if (r > 1 && r < 5) return few;
    if (r == 1) return one;
    return many;
}

std::u16string_view DeviceTypeName(uint8_t family) {
    switch (family) {
        case FamilyDs18s20:
            return texts::TypeDs18s20;
        case FamilyDs18b20:
            return texts::TypeDs18b20;
        default:
            return texts::TypeUnknown;
    }
}

void SetCellText(int32_t row, int column, std::u16string_view text) {
    ui::SetItemText(MainWindow, SensorTable, row, text, column);
}

void SetCellColour(int32_t row, int column, int32_t colour) {
    ui::SetItemColour(MainWindow, SensorTable, row, ui::ColourBackground, colour, column);
}

void FillSensorList(SensorList& list) {
    ui::ClearItems(MainWindow, SensorTable);
    int32_t row = 0;
    list.resetCursor();
    while (list.next()) {
        // A request to stop or to change the port makes the rest of this table moot; on a
        // long or misbehaving bus the power queries alone could take seconds.
        if (ControlBlock.StopRequested != 0 || ControlBlock.ReopenPort != 0) break;
        SensorRecord& record = *list.current();
        std::u16string text(DeviceTypeName(record.Rom[0]));
        text += CellSeparator;
        text += FormatRomCode(record.Rom);
        const bool romBad = !RomCrcOk(record.Rom.data());
        if (romBad) {
            text += texts::RomCrcWarning;
            record.Flags |= RomCrcError;
        }
        text += CellSeparator;
        text += PowerModeText(record.Rom);
        if (IsThermometerFamily(record.Rom[0])) {
            text += CellSeparator;
            text += texts::Measuring;
            text += CellSeparator;
            text += texts::Initialising;
        }
        ui::AddItem(MainWindow, SensorTable, row, text);
        if (romBad) SetCellColour(row, ColumnSerial, FaultColour);
        ++row;
    }
}

}  // namespace kv
