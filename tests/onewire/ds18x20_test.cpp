// Function commands on the fake bus and the temperature rules of both families.
#include <gtest/gtest.h>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
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
using test::MakeScratchpad;
using test::ScopedClock;

float Decode(uint16_t raw, uint8_t family) {
    auto pad = MakeScratchpad(raw);
    return DecodeTemperature(pad.data(), family);
}

TEST(Temperature, Ds18b20Decoding) {
    struct Case {
        uint16_t raw;
        float celsius;
        bool plausible;
    };
    for (Case c :
         {Case{0x0550, 85.0f, true}, Case{0x0191, 25.0625f, true}, Case{0xFF5E, -10.125f, true},
          Case{0xFC90, -55.0f, true}, Case{0x07F0, 127.0f, true}, Case{0x07F1, 127.0625f, false},
          Case{0xFFFF, -0.0625f, true}, Case{0x0000, 0.0f, true}}) {
        float t = Decode(c.raw, FamilyDs18b20);
        EXPECT_FLOAT_EQ(t, c.celsius) << std::hex << c.raw;
        EXPECT_EQ(IsPlausibleTemperature(t), c.plausible) << std::hex << c.raw;
    }
}

TEST(Temperature, Ds18s20AndOtherFamiliesDecodeByHalves) {
    struct Case {
        uint16_t raw;
        float celsius;
        bool plausible;
    };
    for (Case c :
         {Case{0x0032, 25.0f, true}, Case{0xFFCE, -25.0f, true}, Case{0xFF92, -55.0f, true},
          Case{0x00FE, 127.0f, true}, Case{0x0100, 128.0f, false}, Case{0xFF90, -56.0f, false},
          Case{0xFFFF, -0.5f, true}}) {
        float t = Decode(c.raw, FamilyDs18s20);
        EXPECT_FLOAT_EQ(t, c.celsius) << std::hex << c.raw;
        EXPECT_EQ(IsPlausibleTemperature(t), c.plausible) << std::hex << c.raw;
    }
    EXPECT_FLOAT_EQ(Decode(0x0032, 0x01), 25.0f) << "any family but 0x28 divides by 2";
    EXPECT_TRUE(IsThermometerFamily(0x10));
    EXPECT_TRUE(IsThermometerFamily(0x28));
    EXPECT_FALSE(IsThermometerFamily(0x01));
}

TEST(Temperature, ScratchpadCrcCatchesEveryBitFlip) {
    auto pad = MakeScratchpad(0x0191);
    EXPECT_TRUE(ScratchpadCrcOk(pad.data()));
    for (int bit = 0; bit < 72; ++bit) {
        auto bad = pad;
        bad[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        EXPECT_FALSE(ScratchpadCrcOk(bad.data())) << "bit " << bit;
    }
    const uint8_t silent[9] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(ScratchpadCrcOk(silent)) << "a device that did not answer";
}

class CommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_.state().responder = [this](uint8_t byte, int baud) {
            return bus_.answer(byte, baud);
        };
        int id = OneWireOpen(fake_.name(), PortCurrent);
        ASSERT_GT(id, 999);
        ASSERT_EQ(currentPort, id);
        for (auto [rom, raw, external] :
             {std::tuple{MakeRom(0x28, 0x10), uint16_t{0xFF5E}, true},
              std::tuple{MakeRom(0x10, 0x20), uint16_t{0xFFCE}, false}}) {
            FakeThermometer device;
            device.rom = rom;
            device.scratchpad = MakeScratchpad(raw);
            device.externalPower = external;
            bus_.devices.push_back(device);
        }
    }
    void TearDown() override { OneWireClose(PortCurrent); }

    FakePort fake_;
    ScopedClock clock_;
    FakeOneWireBus bus_;
};

TEST_F(CommandTest, ReadScratchpadOfEachFamily) {
    for (const auto& device : bus_.devices) {
        uint8_t pad[ScratchpadSize] = {};
        ASSERT_EQ(OneWireMatchRom(device.rom.data(), PortCurrent), 1);
        ASSERT_EQ(OneWireReadScratchpad(pad, PortCurrent), 1);
        EXPECT_TRUE(ScratchpadCrcOk(pad));
        EXPECT_EQ(bus_.commands.back(), 0xBE);
        float expected = device.rom[0] == FamilyDs18b20 ? -10.125f : -25.0f;
        EXPECT_FLOAT_EQ(DecodeTemperature(pad, device.rom[0]), expected);
    }
}

TEST_F(CommandTest, ReadPowerSupply) {
    ASSERT_EQ(OneWireMatchRom(bus_.devices[0].rom.data(), PortCurrent), 1);
    EXPECT_EQ(OneWireReadPowerSupply(PortCurrent), 1);
    EXPECT_EQ(OneWireLastResult(), Ok);
    ASSERT_EQ(OneWireMatchRom(bus_.devices[1].rom.data(), PortCurrent), 1);
    EXPECT_EQ(OneWireReadPowerSupply(PortCurrent), 0) << "parasite power";
    EXPECT_EQ(OneWireLastResult(), Ok);

    // The read slot gets no echo: the answer stays 1, the code tells the truth.
    ASSERT_EQ(OneWireMatchRom(bus_.devices[1].rom.data(), PortCurrent), 1);
    for (int i = 0; i < 8; ++i) fake_.state().scripted.push_back({SlotZero});  // the 0xB4 byte
    fake_.state().scripted.push_back({});
    EXPECT_EQ(OneWireReadPowerSupply(PortCurrent), 1);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);

    // The command byte itself fails: 0.
    fake_.state().scripted = {{}};
    EXPECT_EQ(OneWireReadPowerSupply(PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
}

TEST_F(CommandTest, ConvertWaitsOnlyWhenAsked) {
    ASSERT_EQ(OneWireSkipRom(PortCurrent), 1);
    clock_.clock.sleeps.clear();
    int64_t before = clock_.clock.now;
    EXPECT_EQ(OneWireConvert(0, PortCurrent), 1);
    EXPECT_EQ(bus_.commands.back(), 0x44);
    EXPECT_TRUE(clock_.clock.sleeps.empty());
    EXPECT_LT(clock_.clock.now - before, 1000) << "returns once the byte has echoed";

    ASSERT_EQ(OneWireSkipRom(PortCurrent), 1);
    clock_.clock.sleeps.clear();
    EXPECT_EQ(OneWireConvert(750, PortCurrent), 1);
    EXPECT_EQ(clock_.clock.sleeps, std::vector<int32_t>{750});
}

TEST_F(CommandTest, FailuresOfTheCommands) {
    uint8_t pad[ScratchpadSize];
    EXPECT_EQ(OneWireReadScratchpad(nullptr, PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), BadArgument);

    OneWireClose(PortCurrent);
    EXPECT_EQ(OneWireConvert(0, PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
    EXPECT_EQ(OneWireReadScratchpad(pad, PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
    EXPECT_EQ(OneWireReadPowerSupply(PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
}

}  // namespace
}  // namespace kv
