#include "onewire/rom_code.h"

#include <cstdio>

namespace kv {

std::string RomCodeHex(const RomCode& rom) {
    char text[2 * RomBytes + 1];
    for (size_t i = 0; i < rom.size(); ++i) std::snprintf(text + 2 * i, 3, "%02X", rom[i]);
    return text;
}

}  // namespace kv
