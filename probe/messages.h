// The probe's messages on standard error.
#pragma once
#include <string>

namespace kv::probe {

// "kalorivox-probe: <text>"; the same text again within a minute is left out, so a run that
// meets the same trouble pass after pass says so once a minute.
void Message(const std::string& text);
// Why the port could not be opened, from the calling thread's last 1-Wire result.
std::string CannotOpenText(const std::string& port);

}  // namespace kv::probe
