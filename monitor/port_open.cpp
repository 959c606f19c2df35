#include "monitor/port_open.h"

#include <algorithm>
#include <string>

#include "monitor/control_block.h"
#include "monitor/line_held_low.h"
#include "monitor/sensor_table.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/bus.h"
#include "onewire/result.h"
#include "serial/serial_port.h"
#include "ui/toolkit.h"

namespace kv {

namespace {

bool AlreadyListed(SensorList& list, const RomCode& rom) {
    for (int32_t i = 0; i < list.count(); ++i) {
        if (list.at(i).Rom == rom) return true;
    }
    return false;
}

}  // namespace

void OpenSelectedPort(SensorList& list) {
    const std::u16string name = ui::GetText(MainWindow, PortSelector);
    OneWireClose(PortCurrent);
    if (!name.empty()) {
        if (OneWireOpen(name, PortCurrent)) {
            ShowStatus(texts::PortOpened);
        } else {
            ShowStatus(PortOpenFailedText(name));
        }
    }
    list.clear();
    if (OneWireLastResult() == Ok) SearchDevices(list, name);
}

void SearchDevices(SensorList& list, std::u16string_view portName) {
    ShowStatus(texts::Searching);
    if (!list.empty()) list.clear();
    OneWireSearchReset();
    int32_t count = 0;
    RomCode rom{};
    while (count < MaxSearchDevices && OneWireSearchNext(rom.data(), PortCurrent) == 1) {
        // A code met twice means the bus is not telling the truth, and the all-zero code is a
        // line held low rather than a device; what came before stays.
        if (AlreadyListed(list, rom) || ReadsAsLineHeldLow(rom)) break;
        ++count;
        if (SensorRecord* record = list.append()) record->Rom = rom;
        // Each device costs nearly two hundred round trips; do not make a stop or a port
        // change wait for a long enumeration.
        if (ControlBlock.StopRequested != 0 || ControlBlock.ReopenPort != 0) break;
    }
    if (count > 0) {
        FillSensorList(list);
        ShowStatus(FoundDevicesText(count) + std::u16string(texts::SentenceEnd));
    } else {
        ui::ClearItems(MainWindow, SensorTable);
        ShowStatus(NothingFoundText(portName));
    }
}

}  // namespace kv
