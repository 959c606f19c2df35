// The CRC-8 of ROM codes and scratchpads.
#include <gtest/gtest.h>

#include <string_view>

#include "onewire/crc8.h"
#include "onewire/result.h"
#include "onewire/rom_code.h"
#include "tests/onewire/fake_onewire_bus.h"

namespace kv {
namespace {

using test::MakeRom;

TEST(Crc8, CheckValuesAndArguments) {
    constexpr std::string_view digits = "123456789";
    EXPECT_EQ(OneWireCrc8(reinterpret_cast<const uint8_t*>(digits.data()), 9), 0xA1);
    EXPECT_EQ(OneWireLastResult(), Ok);

    RomCode rom = MakeRom(0x28, 0xABCDEF012345);
    EXPECT_EQ(OneWireCrc8(rom.data(), 8), 0) << "a block followed by its own CRC";
    const uint8_t ff[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(OneWireCrc8(ff, 8), 0xC9);

    EXPECT_EQ(OneWireCrc8(rom.data(), 0), 0);
    EXPECT_EQ(OneWireLastResult(), BadArgument);
    EXPECT_EQ(OneWireCrc8(nullptr, 3), 0);
    EXPECT_EQ(OneWireLastResult(), BadArgument);
}

}  // namespace
}  // namespace kv
