// The ROM search, Match ROM and Skip ROM against a small fake bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "onewire/uart/encoding.h"
#include "tests/onewire/fake_onewire_bus.h"
#include "tests/serial/fake_serial_device.h"

namespace kv {
namespace {

using test::FakeOneWireBus;
using test::FakePort;
using test::FakeThermometer;
using test::MakeRom;
using test::ScopedClock;

// Bit strings compared from bit 1 (lowest bit of byte 0) on: the search's order.
bool SearchOrderLess(const RomCode& a, const RomCode& b) {
    for (int bit = 0; bit < 64; ++bit) {
        int x = (a[bit / 8] >> (bit % 8)) & 1;
        int y = (b[bit / 8] >> (bit % 8)) & 1;
        if (x != y) return x < y;
    }
    return false;
}

class SearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_.state().responder = [this](uint8_t byte, int baud) {
            return bus_.answer(byte, baud);
        };
        ASSERT_EQ(OneWireOpen(fake_.name(), Port), 1);
        OneWireSearchReset();
    }
    void TearDown() override { OneWireClose(Port); }
    void AddDevice(const RomCode& rom) {
        FakeThermometer device;
        device.rom = rom;
        bus_.devices.push_back(device);
    }
    std::vector<RomCode> Enumerate() {
        std::vector<RomCode> found;
        OneWireSearchReset();
        RomCode rom{};
        while (OneWireSearchNext(rom.data(), Port) == 1 && found.size() < 100) found.push_back(rom);
        return found;
    }

    static constexpr int32_t Port = 2;
    FakePort fake_;
    ScopedClock clock_;
    FakeOneWireBus bus_;
};

TEST_F(SearchTest, SingleDeviceIsTheLast) {
    RomCode rom = MakeRom(0x28, 0x0000A1B2C3D4);
    AddDevice(rom);
    RomCode found{};
    ASSERT_EQ(OneWireSearchNext(found.data(), Port), 1);
    EXPECT_EQ(found, rom);
    EXPECT_EQ(OneWireState().lastDiscrepancy, 0);
    EXPECT_NE(OneWireState().lastDeviceFlag, 0);

    size_t sent = fake_.state().written.size();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(OneWireSearchNext(found.data(), Port), 0);
        EXPECT_EQ(OneWireLastResult(), NoData);
    }
    EXPECT_EQ(fake_.state().written.size(), sent)
        << "nothing goes on the bus after the last device";
}

TEST_F(SearchTest, DiscrepancyAtBitFive) {
    // Both codes agree below bit 5 (bits 1..4) and differ at bit 5 = bit 4 of byte 0.
    RomCode low{0x08, 1, 2, 3, 4, 5, 6, 7};
    RomCode high = low;
    high[0] |= 0x10;
    AddDevice(high);
    AddDevice(low);

    RomCode found{};
    ASSERT_EQ(OneWireSearchNext(found.data(), Port), 1);
    EXPECT_EQ(found, low) << "0 is taken first at a new discrepancy";
    EXPECT_EQ(OneWireState().lastDiscrepancy, 5);
    EXPECT_EQ(OneWireState().lastDeviceFlag, 0);

    ASSERT_EQ(OneWireSearchNext(found.data(), Port), 1);
    EXPECT_EQ(found, high);
    EXPECT_EQ(OneWireState().lastDiscrepancy, 0);
    EXPECT_NE(OneWireState().lastDeviceFlag, 0);

    EXPECT_EQ(OneWireSearchNext(found.data(), Port), 0);
    EXPECT_EQ(OneWireLastResult(), NoData);
}

TEST_F(SearchTest, EnumeratesManyDevicesInBitOrder) {
    std::vector<RomCode> roms = {MakeRom(0x28, 0x0000000000AA), MakeRom(0x28, 0x0000000000AB),
                                 MakeRom(0x28, 0x800000000001), MakeRom(0x10, 0x00000000FF00),
                                 MakeRom(0x01, 0x123456789ABC)};
    RomCode badCrc = MakeRom(0x28, 0x000000005555);
    badCrc[7] ^= 0x01;
    roms.push_back(badCrc);
    for (const auto& rom : roms) AddDevice(rom);

    auto found = Enumerate();
    EXPECT_EQ(OneWireLastResult(), NoData);
    std::sort(roms.begin(), roms.end(), SearchOrderLess);
    EXPECT_EQ(found, roms) << "every device once, a bad CRC included, in ascending bit order";
}

TEST_F(SearchTest, EmptyBusAndMissingBuffer) {
    RomCode found{};
    EXPECT_EQ(OneWireSearchNext(found.data(), Port), 0);
    EXPECT_EQ(OneWireLastResult(), NoResponse);
    EXPECT_EQ(OneWireState().lastDeviceFlag, 0);

    EXPECT_EQ(OneWireSearchNext(nullptr, Port), 0);
    EXPECT_EQ(OneWireLastResult(), BadArgument);
    EXPECT_EQ(OneWireSearchNext(found.data(), 99), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
}

TEST_F(SearchTest, DeviceLeavingMidPassIsASearchError) {
    AddDevice(MakeRom(0x28, 0x1111));
    AddDevice(MakeRom(0x28, 0x2222));
    RomCode found{};
    ASSERT_EQ(OneWireSearchNext(found.data(), Port), 1);
    int discrepancy = OneWireState().lastDiscrepancy;
    // Everybody leaves at the first slot of bit 11: after the command byte and ten bits.
    bus_.leaveAfterSlots = bus_.slots() + 8 + 3 * 10 + 1;
    EXPECT_EQ(OneWireSearchNext(found.data(), Port), 0);
    EXPECT_EQ(OneWireLastResult(), SearchError);
    EXPECT_EQ(OneWireState().lastDiscrepancy, discrepancy) << "a failed pass keeps the state";
    EXPECT_EQ(OneWireState().lastDeviceFlag, 0);
}

TEST_F(SearchTest, StateBelongsToTheThread) {
    AddDevice(MakeRom(0x28, 0x1));
    AddDevice(MakeRom(0x28, 0x2));
    RomCode found{};
    ASSERT_EQ(OneWireSearchNext(found.data(), Port), 1);
    int mine = OneWireState().lastDiscrepancy;
    ASSERT_NE(mine, 0);
    std::thread([] {
        EXPECT_EQ(OneWireState().lastDiscrepancy, 0);
        OneWireSearchReset();
    }).join();
    EXPECT_EQ(OneWireState().lastDiscrepancy, mine);
}

TEST_F(SearchTest, MatchRomSendsTheCommandAndTheCode) {
    RomCode rom = MakeRom(0x28, 0x665544332211);
    AddDevice(rom);
    fake_.state().written.clear();
    ASSERT_EQ(OneWireMatchRom(rom.data(), Port), 1);
    const auto& written = fake_.state().written;
    ASSERT_EQ(written.size(), 1u + 8 * 9);
    EXPECT_EQ(written[0], ResetByte);
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i < written.size(); i += 8) {
        uint8_t byte = 0;
        for (int b = 0; b < 8; ++b) byte |= static_cast<uint8_t>((written[i + b] == SlotOne) << b);
        bytes.push_back(byte);
    }
    std::vector<uint8_t> expected{0x55};
    expected.insert(expected.end(), rom.begin(), rom.end());
    EXPECT_EQ(bytes, expected);
}

TEST_F(SearchTest, AddressingWithoutPresenceSendsNoCommand) {
    RomCode rom = MakeRom(0x28, 1);
    fake_.state().written.clear();
    EXPECT_EQ(OneWireMatchRom(rom.data(), Port), 0);
    EXPECT_EQ(OneWireLastResult(), NoResponse);
    EXPECT_EQ(OneWireSkipRom(Port), 0);
    EXPECT_EQ(OneWireLastResult(), NoResponse);
    EXPECT_EQ(fake_.state().written, (std::vector<uint8_t>{ResetByte, ResetByte}));

    AddDevice(rom);
    EXPECT_EQ(OneWireSkipRom(Port), 1);
    EXPECT_EQ(bus_.commands.back(), 0xCC);
}

}  // namespace
}  // namespace kv
