#include "sim_test_support.h"

#include <algorithm>

#include "onewire/enumerate.h"
#include "onewire/result.h"

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

}  // namespace kv::test
