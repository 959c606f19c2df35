#include "onewire/crc8.h"

#include "onewire/bits.h"
#include "onewire/result.h"

namespace kv {
namespace {

// The polynomial with its bits reversed, for the least-significant-first order.
constexpr uint8_t Crc8Polynomial = 0x8C;

}  // namespace

int OneWireCrc8(const uint8_t* data, int32_t length) {
    if (!data || length < 1) {
        OneWireSetResult(BadArgument);
        return 0;
    }
    OneWireSetResult(Ok);
    uint8_t crc = 0;
    for (int32_t i = 0; i < length; ++i) {
        uint8_t byte = data[i];
        for (int bit = 0; bit < BitsPerByte; ++bit) {
            bool mix = ((crc ^ byte) & 1) != 0;
            crc = static_cast<uint8_t>(crc >> 1);
            if (mix) crc ^= Crc8Polynomial;
            byte = static_cast<uint8_t>(byte >> 1);
        }
    }
    return crc;
}

}  // namespace kv
