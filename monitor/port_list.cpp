#include "monitor/port_list.h"

#include <string>

#include "monitor/window_ids.h"
#include "runtime/utf.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "ui/toolkit.h"

namespace kv {

namespace {

bool CanOpen(std::u16string_view name) {
    const int id = SerialOpen(PortDynamic, name, ProbeBaud, ProbeParity, ProbeDataBits,
                              ProbeStopBits, ProbeHandshake, ProbeQueueBytes, ProbeQueueBytes);
    if (id == 0) return false;
    SerialClose(id);
    return true;
}

}  // namespace

void ListComPorts(int chooser) {
    ui::ClearItems(MainWindow, chooser);
    for (const std::string& candidate : PlatformSerialCandidates()) {
        const std::u16string name = Utf16FromUtf8(candidate);
        if (CanOpen(name)) ui::AddItem(MainWindow, chooser, ui::AppendPosition, name);
    }
    for (const std::u16string& name : SerialVirtualPortNames()) {
        if (CanOpen(name)) ui::AddItem(MainWindow, chooser, ui::AppendPosition, name);
    }
}

}  // namespace kv
