#include "monitor/reconnect.h"

#include "monitor/control_block.h"
#include "monitor/device_search.h"
#include "monitor/port_choice.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/bus.h"
#include "onewire/port.h"
#include "serial/port_probe.h"
#include "serial/serial_port.h"
#include "ui/toolkit.h"

namespace kv {

void PortReconnect::opened(bool isOpen) {
    const std::u16string name = ChosenPortName();
    // Choosing the same port again keeps what is known of its adapter.
    if (name != name_) identity_.clear();
    name_ = name;
    if (isOpen) {
        std::u16string identity = SerialStableIdentity(name_);
        if (!identity.empty()) identity_ = std::move(identity);
    }
    waiting_ = !isOpen && !name_.empty();
    idle_ = 0;
    absentText_ = PortMissingText(name_);
    shownText_.clear();
}

bool PortReconnect::deviceGone() {
    if (SerialDeviceGone(currentPort.load()) == 0) return false;
    // Its lines cannot be driven any more; closing frees the name for the next open.
    OneWireClose(PortCurrent);
    waiting_ = !name_.empty();
    idle_ = 0;
    absentText_ = goneText();
    shownText_.clear();
    return true;
}

void PortReconnect::showWhyNotOpen(std::u16string_view name) {
    std::u16string text =
        !name.empty() && SerialPortExists(name) != 0 ? PortOpenFailedText(name) : absentText_;
    if (text == shownText_) return;
    ShowStatus(text);
    shownText_ = std::move(text);
}

std::u16string PortReconnect::goneText() const {
    return PortGoneText(name_);
}

std::u16string PortReconnect::target() const {
    if (identity_.empty()) return name_;
    std::u16string now = SerialNameOfIdentity(identity_);
    if (!now.empty()) return now;
    const std::u16string other = SerialStableIdentity(name_);
    return other.empty() ? name_ : std::u16string();
}

bool PortReconnect::retry(SensorList& list) {
    if (!waiting_ || ControlBlock.ReopenPort != 0) return false;
    if (++idle_ < ReconnectAfterIdle) return false;
    idle_ = 0;
    const std::u16string name = target();
    if (name.empty() || OneWireOpen(name, PortCurrent) == 0) {
        showWhyNotOpen(name);
        return false;
    }
    waiting_ = false;
    if (name != name_) {
        // The adapter came back under another name: the chooser and the settings file
        // follow it, unless the user has chosen another port meanwhile.
        if (PortChoiceFollow(name_, name) && ControlBlock.ReopenPort == 0) {
            ShowChosenPort(name);
            ui::PostEvent(PortFollowedEvent, MainWindow, 0, 0);
        }
        name_ = name;
    } else if (ControlBlock.ReopenPort == 0) {
        ShowChosenPort(name);  // listed again if a refresh of the list had dropped it
    }
    ShowStatus(texts::PortOpened);
    list.clear();
    SearchDevices(list, name);
    return true;
}

}  // namespace kv
