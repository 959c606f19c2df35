// The settings file beside the program: nine keys read once at start-up and rewritten
// whole from what the window shows at every change and at shutdown.
#pragma once

namespace kv {

inline constexpr char16_t SettingsFileName[] = u"Kalorivox.ini";

// Applies the file (or the defaults) to the controls, the menu check marks, ControlBlock
// and the 1-Wire option word, then posts the two events that make the loop reopen the port
// and take the limit check box's state. Raises no control events itself.
void LoadSettings();

// Rewrites the file from the controls and check marks (and ControlBlock's Log); silently
// does nothing when the file cannot be created.
void SaveSettings();

}  // namespace kv
