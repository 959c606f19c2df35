// The port chooser: the ports the system can open now, offered in PortSelector, and the port
// the user has chosen, kept also while the system does not offer it (an adapter unplugged at
// start-up, or pulled out while running): the settings file keeps its name, and the worker
// opens it by itself as soon as it is there again. Listing touches no bus.
#pragma once
#include <string>
#include <string_view>

namespace kv {

// Window thread: fills the chooser with the ports that can be opened now: the system's serial
// devices in natural order, then the registered virtual ports.
void ListComPorts(int chooser);
// The same, keeping the chosen port selected while it is offered; when it is not, the
// chooser shows no selection and the choice itself is kept (the settings keep its name).
void RefreshComPorts(int chooser);

// Posted to the window thread when the worker followed an adapter to a new port name: the
// settings file must be written again to show it.
inline constexpr int PortFollowedEvent = 13200;

// Window thread: the settings named this port, or the user picked it.
void PortChoiceSet(std::u16string_view name);
std::u16string PortChoiceName();
// Replaces the choice `from` by `to` unless another port was chosen meanwhile.
bool PortChoiceFollow(std::u16string_view from, std::u16string_view to);

// The port to open: the chooser's selection, else the kept choice (not offered now).
std::u16string ChosenPortName();

// Worker thread: makes the chooser list the ports that can be opened now and select `name`,
// unless the user has chosen another port meanwhile, whose selection then stays.
void ShowChosenPort(std::u16string_view name);

}  // namespace kv
