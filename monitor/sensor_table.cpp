#include "monitor/sensor_table.h"

#include <string>

#include "monitor/control_block.h"
#include "monitor/limit_check.h"
#include "monitor/sensor_texts.h"
#include "monitor/status_text.h"
#include "monitor/table_cells.h"
#include "monitor/table_colours.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
#include "onewire/result.h"
#include "ui/toolkit.h"

namespace kv {

namespace {

constexpr char16_t CellSeparator = u'\n';

std::u16string_view PowerModeText(const SensorRecord& record) {
    switch (record.Power) {
        case SensorRecord::Supply::External:
            return texts::PowerExternal;
        case SensorRecord::Supply::Parasite:
            return texts::PowerParasite;
        case SensorRecord::Supply::NotAsked:
            break;
    }
    return texts::PowerUnknown;
}

// Only a sound reading counts toward the limits; one that no part can measure is marked.
bool OutsideLimits(int32_t row, const Reading& reading) {
    int32_t colour = ui::DefaultColour;
    bool outside = false;
    if (reading.verdict == Verdict::OutOfRange) {
        colour = LimitColour;
    } else if (reading.ok() && ControlBlock.ThermoControl != 0 &&
               !InsideLimits(reading.celsius, ControlBlock.ThermoMin, ControlBlock.ThermoMax)) {
        colour = LimitColour;
        outside = true;
    }
    SetCellColour(row, ColumnTemperature, colour);
    return outside;
}

}  // namespace

void FillSensorList(const SensorList& list) {
    ui::ClearItems(MainWindow, SensorTable);
    for (int32_t row = 0; row < list.count(); ++row) {
        // A request to stop or to change the port makes the rest of this table moot.
        if (ControlBlock.StopRequested != 0 || ControlBlock.ReopenPort != 0) break;
        const SensorRecord& record = list.at(row);
        std::u16string text(DeviceTypeName(record.Rom[0]));
        text += CellSeparator;
        text += FormatRomCode(record.Rom);
        const bool romBad = (record.Flags & RomCrcError) != 0;
        if (romBad) text += texts::RomCrcWarning;
        text += CellSeparator;
        // A device that no longer answers would pass for externally powered: nobody pulls
        // the slot low.
        const bool silent = (record.Flags & NotAnswering) != 0;
        text += silent ? texts::PowerUnknown : PowerModeText(record);
        if (IsThermometerFamily(record.Rom[0])) {
            text += CellSeparator;
            if (!silent) text += texts::Measuring;
            text += CellSeparator;
            text += silent ? NotAnsweringText(record.NotAnsweringSince)
                           : std::u16string(texts::Initialising);
        }
        ui::AddItem(MainWindow, SensorTable, row, text);
        if (romBad) SetCellColour(row, ColumnSerial, FaultColour);
        if (silent) SetCellColour(row, ColumnStatus, FaultColour);
    }
}

void ShowRowStatus(int32_t row, std::u16string_view text) {
    SetCellText(row, ColumnStatus, text);
    SetCellColour(row, ColumnStatus, text == texts::ReadingOk ? ui::DefaultColour : FaultColour);
}

// A reading whose scratchpad holds a temperature shows it; any other leaves the temperature
// cell as it was and says in the status cell what went wrong. A sensor that a search no
// longer found says since when; one whose ROM code is bad shows no temperature.
bool ShowReading(int32_t row, const SensorRecord& record, const Reading& reading) {
    bool outside = false;
    switch (reading.verdict) {
        case Verdict::Ok:
        case Verdict::OutOfRange:
        case Verdict::RomCrc:
            SetCellText(row, ColumnTemperature, TemperatureText(reading.celsius));
            outside = OutsideLimits(row, reading);
            ShowRowStatus(row, texts::ReadingOk);
            break;
        case Verdict::PowerOn:
            ShowRowStatus(row, texts::ReadingPowerOn);
            break;
        case Verdict::ScratchpadCrc:
        case Verdict::LineHeldLow:
            ShowRowStatus(row, texts::ReadingCrcError);
            break;
        case Verdict::BusFailure:
        case Verdict::Unfinished:
            ShowRowStatus(row, OneWireResultText(reading.result));
            break;
    }
    if (record.Flags & NotAnswering) ShowRowStatus(row, NotAnsweringText(record.NotAnsweringSince));
    if (record.Flags == RomCrcError) SetCellText(row, ColumnTemperature, u"");
    return outside;
}

void MarkRowsFailed(std::u16string_view why) {
    const int32_t rows = ui::CountItems(MainWindow, SensorTable);
    for (int32_t row = 0; row < rows; ++row) {
        SetCellText(row, ColumnTemperature, u"");
        SetCellText(row, ColumnStatus, why);
        SetCellColour(row, ColumnTemperature, ui::DefaultColour);
        SetCellColour(row, ColumnStatus, FaultColour);
    }
}

void PolledMarker::moveTo(int32_t row, bool separatePolling) {
    if (separatePolling) {
        SetCellColour(row_, ColumnType, ui::DefaultColour);
        SetCellColour(row, ColumnType, PolledColour);
        shown_ = true;
    } else if (shown_) {
        SetCellColour(row_, ColumnType, ui::DefaultColour);
        shown_ = false;
    }
    row_ = row;
}

}  // namespace kv
