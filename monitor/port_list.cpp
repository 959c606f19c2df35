#include "monitor/port_list.h"

#include <string>

#include "monitor/port_choice.h"
#include "monitor/window_ids.h"
#include "runtime/utf.h"
#include "serial/port_probe.h"
#include "serial/serial_device.h"
#include "ui/toolkit.h"

namespace kv {

void ListComPorts(int chooser) {
    ui::ClearItems(MainWindow, chooser);
    for (const std::string& candidate : PlatformSerialCandidates()) {
        const std::u16string name = Utf16FromUtf8(candidate);
        if (SerialCanOffer(name)) ui::AddItem(MainWindow, chooser, ui::AppendPosition, name);
    }
    for (const std::u16string& name : SerialVirtualPortNames()) {
        if (SerialCanOffer(name)) ui::AddItem(MainWindow, chooser, ui::AppendPosition, name);
    }
}

void RefreshComPorts(int chooser) {
    const std::u16string selected = ui::GetText(MainWindow, chooser);
    const std::u16string chosen = selected.empty() ? PortChoiceName() : selected;
    ListComPorts(chooser);
    if (!chosen.empty()) ui::SetText(MainWindow, chooser, chosen);
}

}  // namespace kv
