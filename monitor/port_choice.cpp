#include "monitor/port_choice.h"

#include <mutex>

#include "monitor/port_list.h"
#include "monitor/window_ids.h"
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

}  // namespace kv
