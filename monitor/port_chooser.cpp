#include "monitor/port_chooser.h"

#include <mutex>
#include <string>

#include "monitor/window_ids.h"
#include "runtime/utf.h"
#include "serial/port_presence.h"
#include "serial/serial_device.h"
#include "ui/toolkit.h"

namespace kv {
namespace {

std::mutex choiceLock;
std::u16string choice;

}  // namespace

void PortChoiceSet(std::u16string_view name) {
    std::lock_guard lock(choiceLock);
    choice = name;
}

std::u16string PortChoiceName() {
    std::lock_guard lock(choiceLock);
    return choice;
}

bool PortChoiceFollow(std::u16string_view from, std::u16string_view to) {
    std::lock_guard lock(choiceLock);
    if (!choice.empty() && choice != from) return false;
    choice = to;
    return true;
}

std::u16string ChosenPortName() {
    std::u16string selected = ui::GetText(MainWindow, PortSelector);
    return selected.empty() ? PortChoiceName() : selected;
}

void ShowChosenPort(std::u16string_view name) {
    if (ui::GetText(MainWindow, PortSelector) == name) return;
    ListComPorts(PortSelector);
    ui::SetText(MainWindow, PortSelector, name);
    // A pick by the user may have landed between the two calls above; it takes the
    // selection back (the pick has already asked the worker to open its port).
    const std::u16string kept = PortChoiceName();
    if (!kept.empty() && kept != name) ui::SetText(MainWindow, PortSelector, kept);
}

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
