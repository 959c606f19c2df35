// The bus primitives, the search and the DS18x20 commands against simulated devices that
// behave like the real parts (conversion time, power-on value, parasite supply, echo
// latency, devices that leave and come back), on the simulated clock.
#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <random>
#include <thread>

#include "onewire/bus.h"
#include "onewire/crc8.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"
#include "sim_test_support.h"

namespace kv {
namespace {

constexpr char16_t PortName[] = u"SIMTEST";
const RomCode RomA = SimMakeRom(0x28, 0x0417A3C41EFF);
const RomCode RomB = SimMakeRom(0x28, 0x0316B2A07C5E);
const RomCode RomS = SimMakeRom(0x10, 0x0008021B6F3A);

class BusScenario : public ::testing::Test {
  protected:
    void SetUp() override { OneWireSetOptions(0); }
    void TearDown() override {
        SerialCloseAll();
        SerialUnregisterVirtualPort(PortName);
        OneWireSetOptions(0);
    }
    int32_t open() {
        SimRegisterBus(PortName, bus);
        return OneWireOpen(PortName, PortDynamic);
    }
    // Match ROM + Read Scratchpad; false with the result code when a step failed.
    bool readPad(int32_t port, const RomCode& rom, uint8_t (&pad)[ScratchpadSize]) {
        return OneWireMatchRom(rom.data(), port) && OneWireReadScratchpad(pad, port);
    }
    bool convertAll(int32_t port) { return OneWireSkipRom(port) && OneWireConvert(0, port); }

    SimClock clock;
    ScopedTimeSource time{&clock};
    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>();
};

TEST_F(BusScenario, ConversionTakesItsTimeAndReplacesThePowerOnValue) {
    auto b20 = bus->addThermometer(RomA, -10.125);
    auto s20 = bus->addThermometer(RomS, -25.0);
    const int32_t port = open();
    ASSERT_NE(port, 0);
    uint8_t pad[ScratchpadSize];
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), 85.0f);
    ASSERT_TRUE(readPad(port, RomS, pad));
    // The DS18S20's power-on scratchpad as its datasheet gives it, CRC byte included.
    const uint8_t powerOn[ScratchpadSize] = {0xAA, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0C, 0x10, 0x87};
    EXPECT_TRUE(std::equal(pad, pad + ScratchpadSize, powerOn));

    ASSERT_TRUE(convertAll(port));
    uint8_t busy = 0xAA;
    ASSERT_TRUE(OneWireReadBytes(&busy, 1, port));
    EXPECT_EQ(busy, 0x00) << "read slots answer 0 while converting";
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), 85.0f)
        << "the register changes only at the end";

    clock.advanceMilliseconds(750);
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_TRUE(ScratchpadCrcOk(pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), -10.125f);
    ASSERT_TRUE(readPad(port, RomS, pad));
    EXPECT_TRUE(ScratchpadCrcOk(pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomS[0]), -25.0f);
    EXPECT_EQ(b20->conversions(), 1);
    EXPECT_EQ(s20->conversions(), 1);

    // At 9 bits a DS18B20 is done in under 100 ms.
    b20->setResolution(9);
    b20->setTemperature(21.75);
    ASSERT_TRUE(OneWireMatchRom(RomA.data(), port) && OneWireConvert(0, port));
    clock.advanceMilliseconds(100);
    uint8_t done = 0;
    ASSERT_TRUE(OneWireReadBytes(&done, 1, port));
    EXPECT_EQ(done, 0xFF);
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), 21.5f) << "9 bits keep half degrees only";
}

TEST_F(BusScenario, ParasitePartsShowInTheSupplyAnswerAndCannotSignalBusy) {
    bus->addThermometer(RomA, 20.0, /*parasite=*/true);
    bus->addThermometer(RomB, 20.0, /*parasite=*/false);
    const int32_t port = open();
    // A parasite-powered part cannot signal that it is converting: its read slots stay 1.
    ASSERT_TRUE(OneWireMatchRom(RomA.data(), port) && OneWireConvert(0, port));
    uint8_t busy = 0;
    ASSERT_TRUE(OneWireReadBytes(&busy, 1, port));
    EXPECT_EQ(busy, 0xFF);
    clock.advanceMilliseconds(750);
    uint8_t pad[ScratchpadSize];
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), 20.0f)
        << "the conversion happens all the same";

    ASSERT_TRUE(OneWireMatchRom(RomA.data(), port));
    EXPECT_EQ(OneWireReadPowerSupply(port), 0);
    EXPECT_EQ(OneWireLastResult(), Ok);
    ASSERT_TRUE(OneWireMatchRom(RomB.data(), port));
    EXPECT_EQ(OneWireReadPowerSupply(port), 1);
    EXPECT_EQ(OneWireLastResult(), Ok);
    // Addressed together, a single parasite device pulls the answer to 0.
    ASSERT_TRUE(OneWireSkipRom(port));
    EXPECT_EQ(OneWireReadPowerSupply(port), 0);
}

TEST_F(BusScenario, ManyDevicesComeOutInAscendingBitOrderThenNoData) {
    std::mt19937_64 random(42);
    std::vector<RomCode> codes;
    for (int i = 0; i < 50; ++i) {
        const uint8_t family = i % 3 == 0 ? 0x10 : i % 3 == 1 ? 0x28 : 0x01;
        codes.push_back(SimMakeRom(family, random() & 0xFFFFFFFFFFFF));
        bus->addDevice(codes.back());
    }
    const int32_t port = open();
    int32_t last = Ok;
    EXPECT_EQ(test::Enumerate(port, last), test::InSearchOrder(codes));
    EXPECT_EQ(last, NoData);
}

TEST_F(BusScenario, CorruptCodesAndScratchpadsAreDeliveredAndShowInTheirCrc) {
    RomCode badRom = RomB;
    badRom[7] ^= 0x01;
    bus->addThermometer(badRom, 30.0);
    bus->addThermometer(RomA, 19.5)->setCorruptScratchpadCrc(true);
    const int32_t port = open();
    int32_t last = Ok;
    const auto found = test::Enumerate(port, last);
    ASSERT_EQ(found, test::InSearchOrder({badRom, RomA}));
    EXPECT_NE(OneWireCrc8(badRom.data(), 7), badRom[7]);

    ASSERT_TRUE(convertAll(port));
    clock.advanceMilliseconds(800);
    uint8_t pad[ScratchpadSize];
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_FALSE(ScratchpadCrcOk(pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), 19.5f) << "the value is still there to show";
    ASSERT_TRUE(readPad(port, badRom, pad)) << "Match ROM takes the code as it was found";
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, badRom[0]), 30.0f);
}

TEST_F(BusScenario, DeviceUnpluggedAndPluggedBackWhileTheBusRuns) {
    auto a = bus->addThermometer(RomA, 22.0);
    bus->addThermometer(RomB, 23.0);
    const int32_t port = open();
    ASSERT_TRUE(convertAll(port));
    clock.advanceMilliseconds(800);

    ASSERT_TRUE(bus->unplug(RomA));
    uint8_t pad[ScratchpadSize];
    ASSERT_TRUE(readPad(port, RomA, pad)) << "the other device still answers the reset";
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), -0.0625f) << "nobody answers: all ones";
    EXPECT_FALSE(ScratchpadCrcOk(pad));
    int32_t last = Ok;
    EXPECT_EQ(test::Enumerate(port, last), std::vector<RomCode>{RomB});
    EXPECT_EQ(last, NoData);

    bus->plug(a);
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_TRUE(ScratchpadCrcOk(pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), 85.0f) << "back from power-on";
    ASSERT_TRUE(convertAll(port));
    clock.advanceMilliseconds(800);
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), 22.0f);
    EXPECT_EQ(test::Enumerate(port, last).size(), 2u);

    bus->clearDevices();
    EXPECT_FALSE(OneWireMatchRom(RomA.data(), port));
    EXPECT_EQ(OneWireLastResult(), NoResponse);
}

TEST_F(BusScenario, EchoLatencyWithinAndBeyondTheTimeLimits) {
    bus->addThermometer(RomA, 24.0);
    const int32_t port = open();
    bus->setEchoLatencyMicroseconds(20'000);  // a slow USB adapter, still inside every limit
    int32_t last = Ok;
    EXPECT_EQ(test::Enumerate(port, last), std::vector<RomCode>{RomA});
    EXPECT_EQ(last, NoData);
    uint8_t pad[ScratchpadSize];
    EXPECT_TRUE(readPad(port, RomA, pad));
    EXPECT_TRUE(ScratchpadCrcOk(pad));

    bus->setEchoLatencyMicroseconds(34'000);  // past the reset's 32 ms, inside a slot's 36 ms
    EXPECT_EQ(OneWireReset(port), 0);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    clock.advanceMilliseconds(50);
    OneWirePurge(port);
    const int32_t resolved = OneWireResolvePort(port);
    EXPECT_EQ(OneWireReadBit(resolved, SlotComplete), 1);
    EXPECT_EQ(OneWireLastResult(), Ok);

    bus->setEchoLatencyMicroseconds(40'000);  // past every single-slot limit
    clock.advanceMilliseconds(50);
    EXPECT_EQ(OneWireReadBit(OneWireResolvePort(port), SlotComplete), 1);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
}

TEST_F(BusScenario, WaitsForAMissingEchoEndOnTheSimulatedClock) {
    bus->addThermometer(RomA, 24.0);
    const int32_t port = open();
    bus->setAdapterPresent(false);
    const int64_t start = clock.peekMicroseconds();
    EXPECT_EQ(OneWireReset(port), 0);
    EXPECT_EQ(OneWireLastResult(), ExchangeError) << "no adapter is not an empty bus";
    const int64_t waited = clock.peekMicroseconds() - start;
    EXPECT_GE(waited, 32'000);
    EXPECT_LT(waited, 40'000);

    bus->setAdapterPresent(true);
    bus->clearDevices();
    EXPECT_EQ(OneWireReset(port), 0);
    EXPECT_EQ(OneWireLastResult(), NoResponse);
}

TEST_F(BusScenario, StrayBytesBeforeAnOperationArePurgedAndDuringItFailIt) {
    bus->addThermometer(RomA, 24.0);
    const int32_t port = open();
    const uint8_t junk[] = {0x12, 0x34, 0x56};
    bus->injectStray(junk);
    EXPECT_EQ(OneWireReset(port), 1);
    EXPECT_EQ(OneWireLastResult(), Ok);

    bus->setStrayProbability(1.0);
    EXPECT_FALSE(OneWireWriteBytes(0xCC, 1, port));
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_EQ(SerialInputCount(port), 0) << "no stale echo survives into the next operation";
}

TEST_F(BusScenario, InvertedWiringNeedsTheOptionAndItsChangeReachesTheLinesAtTheNextReset) {
    bus->setPoweredLevel(false);
    bus->addThermometer(RomA, 24.0);
    const int32_t port = open();
    ASSERT_NE(port, 0);
    EXPECT_FALSE(bus->powered());
    uint8_t byte = 0xAA;
    OneWireReset(port);
    ASSERT_TRUE(OneWireReadBytes(&byte, 1, port));
    EXPECT_EQ(byte, 0x00) << "an unpowered adapter reads as a dead line";

    OneWireSetOptions(OptInvertPower);
    OneWireReset(port);
    EXPECT_TRUE(bus->powered());
    int32_t last = Ok;
    EXPECT_EQ(test::Enumerate(port, last), std::vector<RomCode>{RomA});
    EXPECT_EQ(last, NoData);

    OneWireClose(port);
    EXPECT_TRUE(bus->lineLevel(SerialLineDtr)) << "closing unpowers: both lines high when inverted";
    EXPECT_TRUE(bus->lineLevel(SerialLineRts));
}

TEST_F(BusScenario, ParasiteDeviceLosesItsReadingWhenTheAdapterIsUnpowered) {
    bus->addThermometer(RomA, 18.0, /*parasite=*/true);
    bus->addThermometer(RomB, 19.0, /*parasite=*/false);
    int32_t port = open();
    ASSERT_TRUE(convertAll(port));
    clock.advanceMilliseconds(800);
    OneWireClose(port);
    port = open();
    uint8_t pad[ScratchpadSize];
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), 85.0f);
    ASSERT_TRUE(readPad(port, RomB, pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomB[0]), 19.0f);
}

TEST_F(BusScenario, TestThreadChangesTheBusWhileAWorkerUsesIt) {
    auto a = bus->addThermometer(RomA, 20.0);
    auto b = bus->addThermometer(RomB, 21.0);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::thread worker([&] {
        const int32_t port = open();
        while (!done.load()) {
            uint8_t pad[ScratchpadSize];
            if (convertAll(port)) DelayMs(800);
            if (readPad(port, RomA, pad) && ScratchpadCrcOk(pad)) ++reads;
            int32_t last = Ok;
            test::Enumerate(port, last, 4);
        }
        OneWireClose(port);
    });
    for (int i = 0; i < 300 || reads.load() < 3; ++i) {
        a->setTemperature(20.0 + (i % 7));
        bus->setNoise(i % 5 == 0 ? 0.01 : 0.0);
        if (i % 3 == 0)
            bus->unplug(RomB);
        else
            bus->plug(b);
        std::this_thread::yield();
        if (i > 100000) break;
    }
    done.store(true);
    worker.join();
    EXPECT_GE(reads.load(), 3);

    bus->setNoise(0.0);
    bus->plug(b);
    a->setTemperature(-3.5);
    const int32_t port = open();
    ASSERT_TRUE(convertAll(port));
    clock.advanceMilliseconds(800);
    uint8_t pad[ScratchpadSize];
    ASSERT_TRUE(readPad(port, RomA, pad));
    EXPECT_FLOAT_EQ(DecodeTemperature(pad, RomA[0]), -3.5f);
    int32_t last = Ok;
    EXPECT_EQ(test::Enumerate(port, last).size(), 2u);
}

}  // namespace
}  // namespace kv
