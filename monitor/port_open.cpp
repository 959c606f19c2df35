#include "monitor/port_open.h"

#include <string>

#include "monitor/device_search.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/bus.h"
#include "onewire/result.h"
#include "serial/serial_port.h"
#include "ui/toolkit.h"

namespace kv {

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

}  // namespace kv
