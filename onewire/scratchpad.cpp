#include "onewire/scratchpad.h"

namespace kv {
namespace {

// Configuration byte: R1 R0 in bits 6 and 5; the other bits read as ones on the part.
constexpr int ResolutionShift = 5;
constexpr uint8_t ResolutionMask = 0x03;
constexpr uint8_t ConfigFixedBits = 0x1F;

}  // namespace

uint8_t ResolutionConfig(int bits) {
    const int step = bits < MinResolutionBits   ? 0
                     : bits > MaxResolutionBits ? MaxResolutionBits - MinResolutionBits
                                                : bits - MinResolutionBits;
    return static_cast<uint8_t>(step << ResolutionShift | ConfigFixedBits);
}

int ResolutionFromConfig(uint8_t config) {
    return MinResolutionBits + (config >> ResolutionShift & ResolutionMask);
}

}  // namespace kv
