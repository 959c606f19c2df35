// The verdict on a reading and the measuring engine's reading of one thermometer, on a
// simulated bus and clock.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "onewire/bus.h"
#include "onewire/measuring.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/thermometer_family.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"
#include "sim/sim_device.h"
#include "tests/sim/sim_port_fixture.h"

namespace kv {
namespace {

constexpr char16_t PortName[] = u"MEASURE";

Scratchpad Pad(std::initializer_list<uint8_t> first8) {
    Scratchpad pad{};
    std::copy(first8.begin(), first8.end(), pad.begin());
    pad[8] = SimCrc8(pad.data(), 8);
    return pad;
}

TEST(Verdict, EveryCheckInItsOrder) {
    const RomCode b20 = SimMakeRom(FamilyDs18b20, 1), s20 = SimMakeRom(FamilyDs18s20, 2);
    RomCode badRom = b20;
    badRom[7] ^= 0x01;
    const Scratchpad b20PowerOn = Pad({0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10});
    const Scratchpad s20PowerOn = Pad({0xAA, 0x00, 0x4B, 0x46, 0xFF, 0xFF, 0x0C, 0x10});
    Scratchpad spoilt = Pad({0x91, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0F, 0x10});
    spoilt[8] ^= 0x01;
    Scratchpad silent;  // nobody answered: the CRC of eight 0xFF bytes is not 0xFF
    silent.fill(0xFF);
    struct Case {
        RomCode rom;
        Scratchpad pad;
        bool confirming;
        Verdict verdict;
        const char* state;
    };
    for (const Case& c : {
             Case{b20, Pad({0x91, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0F, 0x10}), false, Verdict::Ok,
                  "ok"},
             Case{b20, spoilt, false, Verdict::ScratchpadCrc, "crc"},
             Case{b20, Scratchpad{}, false, Verdict::LineHeldLow, "line-low"},
             Case{b20, silent, false, Verdict::ScratchpadCrc, "crc"},
             // Noise on a silent line that happens to give a CRC that matches.
             Case{b20, Pad({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), false,
                  Verdict::ScratchpadCrc, "crc"},
             Case{b20, b20PowerOn, false, Verdict::PowerOn, "power-on"},
             Case{b20, b20PowerOn, true, Verdict::PowerOn, "power-on"},
             Case{b20, Pad({0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x10, 0x10}), false, Verdict::Ok,
                  "ok"},  // a measured 85.0 tells itself apart
             Case{s20, s20PowerOn, false, Verdict::PowerOn, "power-on"},
             Case{s20, s20PowerOn, true, Verdict::Ok, "ok"},
             Case{b20, Pad({0xF1, 0x07, 0x4B, 0x46, 0x7F, 0xFF, 0x0F, 0x10}), false,
                  Verdict::OutOfRange, "range"},  // 127.0625
             Case{badRom, Pad({0xF1, 0x07, 0x4B, 0x46, 0x7F, 0xFF, 0x0F, 0x10}), false,
                  Verdict::OutOfRange, "range"},
             Case{badRom, Pad({0x91, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0F, 0x10}), false,
                  Verdict::RomCrc, "rom-crc"},
         }) {
        Reading reading;
        reading.verdict = JudgeScratchpad(c.rom, c.pad, c.confirming);
        EXPECT_EQ(reading.verdict, c.verdict) << c.state;
        EXPECT_EQ(ReadingStateName(reading), c.state);
    }
    Reading failed;
    failed.verdict = Verdict::BusFailure;
    failed.result = NoResponse;
    EXPECT_EQ(ReadingStateName(failed), "NoResponse");
    failed.result = 42;
    EXPECT_EQ(ReadingStateName(failed), "error 42");
    EXPECT_EQ(RomCodeHex(SimMakeRom(0x28, 0x0000045A1B2C)), "282C1B5A04000084");
}

class Reader : public test::SimPortTest {
  protected:
    Reader() : SimPortTest(PortName, 7) {}
    // What the engine's waits do: the time passes, and whatever the test makes happen.
    std::function<bool(int32_t)> whileWaiting = [](int32_t) { return true; };
    ThermometerReader makeReader() {
        return ThermometerReader(port, [this](int32_t ms) {
            clock.advanceMilliseconds(ms);
            return whileWaiting(ms);
        });
    }
};

// A conversion made before a pause, or none at all, is made again; one within the bound is
// read as it is. A wait cut short leaves the reading unfinished.
TEST_F(Reader, AConversionGrownOldIsMadeAgain) {
    const RomCode rom = SimMakeRom(FamilyDs18b20, 0x10);
    auto device = bus->addThermometer(rom, 3.25);
    ThermometerReader r = makeReader();

    Reading reading = r.read(rom);  // never converted
    EXPECT_TRUE(reading.reconverted);
    EXPECT_EQ(reading.verdict, Verdict::Ok);
    EXPECT_EQ(reading.celsius, 3.25f);

    ASSERT_EQ(r.convert(nullptr), 1);
    clock.advanceMilliseconds(FullConversionWaitMs);
    device->setTemperature(17.5);
    clock.advanceMilliseconds(StaleConversionMs - FullConversionWaitMs);
    reading = r.read(rom);
    EXPECT_FALSE(reading.reconverted);
    EXPECT_EQ(reading.celsius, 3.25f) << "still within the bound";

    ASSERT_EQ(r.convert(rom.data()), 1);
    device->setTemperature(18.5);
    clock.advanceMilliseconds(StaleConversionMs + 1);
    reading = r.read(rom);
    EXPECT_TRUE(reading.reconverted);
    EXPECT_EQ(reading.celsius, 18.5f);
    EXPECT_EQ(reading.retries, 0);

    ASSERT_EQ(r.convert(nullptr), 1);
    clock.advanceMilliseconds(StaleConversionMs + 1);
    whileWaiting = [](int32_t) { return false; };
    EXPECT_EQ(r.read(rom).verdict, Verdict::Unfinished);
}

// A part that comes back from power-on again while it is confirmed: a DS18B20 tells the
// power-on value apart and it stays one; a DS18S20's second 85.0 is taken as measured.
TEST_F(Reader, APowerOnValueIsConfirmedOnce) {
    const RomCode b20 = SimMakeRom(FamilyDs18b20, 0x20), s20 = SimMakeRom(FamilyDs18s20, 0x30);
    auto parts = {bus->addThermometer(b20, 21.0), bus->addThermometer(s20, 22.0)};
    ThermometerReader r = makeReader();
    ASSERT_EQ(r.convert(nullptr), 1);
    clock.advanceMilliseconds(FullConversionWaitMs);
    for (const auto& part : parts) part->powerOn();

    Reading reading = r.read(b20);
    EXPECT_TRUE(reading.confirmed);
    EXPECT_EQ(reading.verdict, Verdict::Ok);
    EXPECT_EQ(reading.celsius, 21.0f);

    whileWaiting = [&](int32_t) {
        for (const auto& part : parts) part->powerOn();
        return true;
    };
    for (const auto& part : parts) part->powerOn();
    reading = r.read(b20);
    EXPECT_TRUE(reading.confirmed);
    EXPECT_EQ(reading.verdict, Verdict::PowerOn);
    reading = r.read(s20);
    EXPECT_TRUE(reading.confirmed);
    EXPECT_EQ(reading.verdict, Verdict::Ok);
    EXPECT_EQ(reading.celsius, 85.0f);
}

}  // namespace
}  // namespace kv
