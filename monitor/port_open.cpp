#include "monitor/port_open.h"

#include <string>

#include "monitor/device_search.h"
#include "monitor/port_chooser.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/bus.h"
#include "onewire/result.h"
#include "serial/port_presence.h"
#include "serial/serial_port.h"
#include "ui/toolkit.h"

namespace kv {

void OpenSelectedPort(SensorList& list) {
    const std::u16string selected = ui::GetText(MainWindow, PortSelector);
    // Without a selection the kept choice is tried: a port that was not offered may be back.
    const std::u16string name = selected.empty() ? PortChoiceName() : selected;
    OneWireClose(PortCurrent);
    if (!name.empty()) {
        if (OneWireOpen(name, PortCurrent)) {
            ShowStatus(texts::PortOpened);
            if (selected.empty()) ShowChosenPort(name);
        } else {
            // A kept choice that is not offered may be missing, or held by another program.
            const bool missing = selected.empty() && SerialPortExists(name) == 0;
            ShowStatus(missing ? PortMissingText(name) : PortOpenFailedText(name));
        }
    }
    list.clear();
    if (OneWireLastResult() == Ok) SearchDevices(list, name);
}

}  // namespace kv
