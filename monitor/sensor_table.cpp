#include "monitor/sensor_table.h"

#include <string>

#include "monitor/control_block.h"
#include "monitor/sensor_texts.h"
#include "monitor/status_text.h"
#include "monitor/table_cells.h"
#include "monitor/table_colours.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/transaction.h"
#include "ui/toolkit.h"

namespace kv {

namespace {

constexpr char16_t CellSeparator = u'\n';

// The power mode answer counts only when the query went through cleanly; a failed read slot
// answers 1 and would otherwise be shown as an external supply.
std::u16string_view PowerModeText(const RomCode& rom) {
    const int answer = OneWireReadDevicePowerSupply(rom.data(), PortCurrent);
    if (OneWireLastResult() != Ok) return texts::PowerUnknown;
    return answer == 1 ? texts::PowerExternal : texts::PowerParasite;
}

}  // namespace

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
        // A device that no longer answers would pass for externally powered: nobody pulls
        // the slot low.
        const bool silent = (record.Flags & NotAnswering) != 0;
        text += silent ? texts::PowerUnknown : PowerModeText(record.Rom);
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
        ++row;
    }
}

}  // namespace kv
