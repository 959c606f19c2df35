#include "sim_test_support.h"

#include <algorithm>

#include "onewire/bus.h"
#include "onewire/enumerate.h"
#include "onewire/result.h"
#include "onewire/uart/encoding.h"

namespace kv::test {

std::vector<RomCode> InSearchOrder(std::vector<RomCode> codes) {
    std::sort(codes.begin(), codes.end(), [](const RomCode& a, const RomCode& b) {
        for (int n = 0; n < 64; ++n) {
            const int bitA = (a[n / 8] >> (n % 8)) & 1, bitB = (b[n / 8] >> (n % 8)) & 1;
            if (bitA != bitB) return bitA < bitB;
        }
        return false;
    });
    return codes;
}

std::vector<RomCode> Enumerate(int32_t port, int32_t& lastResult, int limit) {
    EnumerationOptions options;
    options.limit = limit;
    Enumeration found = OneWireEnumerate(port, options);
    lastResult = found.result;
    return std::move(found.codes);
}

std::vector<WireTransaction> WireTransactions(const std::vector<SimBus::WireByte>& wire) {
    std::vector<std::vector<bool>> runs;  // the slots after each reset
    for (const SimBus::WireByte& b : wire) {
        if (b.baud == ResetBaud)
            runs.emplace_back();
        else if (!runs.empty())
            runs.back().push_back(b.byte == SlotOne);
    }
    auto byteAt = [](const std::vector<bool>& slots, size_t first) {
        int value = 0;
        for (size_t k = 0; k < 8; ++k) value |= slots[first + k] << k;
        return value;
    };
    std::vector<WireTransaction> found;
    for (const std::vector<bool>& slots : runs) {
        WireTransaction t;
        if (slots.size() >= 8) t.romCommand = byteAt(slots, 0);
        size_t functionAt = 0;
        if (t.romCommand == MatchRomCommand && slots.size() >= 8 * (2 + RomBytes)) {
            for (size_t i = 0; i < RomBytes; ++i)
                t.rom[i] = static_cast<uint8_t>(byteAt(slots, 8 * (1 + i)));
            functionAt = 8 * (1 + RomBytes);
        } else if (t.romCommand == SkipRomCommand && slots.size() >= 16) {
            functionAt = 8;
        }
        if (functionAt) {
            t.function = byteAt(slots, functionAt);
            t.slotsAfter = slots.size() - functionAt - 8;
        }
        found.push_back(t);
    }
    return found;
}

}  // namespace kv::test
