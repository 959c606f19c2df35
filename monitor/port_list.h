// Port discovery for the chooser. Runs on the window thread only; nothing here touches a
// bus.
#pragma once

namespace kv {

// Fills the chooser with the ports that can be opened now: the system's serial devices in
// natural order, then the registered virtual ports.
void ListComPorts(int chooser);
// The same, keeping the chosen port selected while it is offered; when it is not, the
// chooser shows no selection and the choice itself is kept (the settings keep its name).
void RefreshComPorts(int chooser);

}  // namespace kv
