// The window's names for the sensors: Kalorivox-names.txt beside the program, in the form
// of the probe's --names file, when the user made one. Without it nothing has a name.
#pragma once
#include <string>

#include "onewire/search.h"

namespace kv {

// The file is looked at again at most once a second, so a change shows at the next paint or
// tooltip. Empty for a sensor without a name. Any thread.
std::u16string WindowSensorName(const RomCode& rom);
// The sensor's name, two blanks and the ROM code as the table writes it; the ROM code alone
// for a sensor without a name.
std::u16string NamedRomText(const RomCode& rom);

}  // namespace kv
