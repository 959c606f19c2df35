// The Dallas/Maxim CRC-8 that checks ROM codes and scratchpads: x^8 + x^5 + x^4 + 1, taken
// least significant bit first as the bus sends it. Over a block followed by its own CRC it
// is 0.
#pragma once
#include <cstdint>

namespace kv {

int OneWireCrc8(const uint8_t* data, int32_t length);  // 0..255, or 0 with BadArgument

}  // namespace kv
