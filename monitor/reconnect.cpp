#include "monitor/reconnect.h"

#include "monitor/control_block.h"
#include "monitor/device_search.h"
#include "monitor/port_chooser.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/port.h"
#include "serial/serial_port.h"
#include "ui/toolkit.h"

namespace kv {

void PortReconnect::opened(bool isOpen) {
    recovery_.opened(ChosenPortName(), isOpen);
    absentText_ = PortMissingText(recovery_.name());
    shownText_.clear();
}

bool PortReconnect::deviceGone() {
    if (!recovery_.deviceGone(currentPort.load())) return false;
    absentText_ = goneText();
    shownText_.clear();
    return true;
}

void PortReconnect::showWhyNotOpen(RecoveryAttempt attempt) {
    std::u16string text =
        attempt == RecoveryAttempt::Busy ? PortOpenFailedText(recovery_.tried()) : absentText_;
    if (text == shownText_) return;
    ShowStatus(text);
    shownText_ = std::move(text);
}

std::u16string PortReconnect::goneText() const {
    return PortGoneText(recovery_.name());
}

bool PortReconnect::retry(SensorList& list) {
    if (!recovery_.waiting() || ControlBlock.ReopenPort != 0) return false;
    const std::u16string chosen = recovery_.name();
    const RecoveryAttempt attempt = recovery_.attempt(PortCurrent);
    if (attempt == RecoveryAttempt::NotDue) return false;
    if (attempt != RecoveryAttempt::Opened) {
        showWhyNotOpen(attempt);
        return false;
    }
    const std::u16string& name = recovery_.name();
    if (name != chosen) {
        // The adapter came back under another name: the chooser and the settings file
        // follow it, unless the user has chosen another port meanwhile.
        if (PortChoiceFollow(chosen, name) && ControlBlock.ReopenPort == 0) {
            ShowChosenPort(name);
            ui::PostEvent(PortFollowedEvent, MainWindow, 0, 0);
        }
    } else if (ControlBlock.ReopenPort == 0) {
        ShowChosenPort(name);  // listed again if a refresh of the list had dropped it
    }
    ShowStatus(texts::PortOpened);
    list.clear();
    SearchDevices(list, name);
    return true;
}

}  // namespace kv
