// The UART master behind the bus's face against a scripted echo device, in simulated time.
#include <gtest/gtest.h>

#include <algorithm>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/uart/encoding.h"
#include "tests/serial/fake_serial_device.h"

namespace kv {
namespace {

using test::FakePort;
using test::ScopedClock;
using Lines = std::vector<std::pair<int, bool>>;

class UartMaster : public ::testing::Test {
  protected:
    void SetUp() override { OneWireSetOptions(0); }
    void TearDown() override {
        OneWireSetOptions(0);
        currentPort = PortNone;
    }
    void OpenBus() {
        ASSERT_EQ(OneWireOpen(fake_.name(), Port), 1);
        fake_.state().written.clear();
        fake_.state().writtenBaud.clear();
        fake_.state().lineEvents.clear();
        clock_.clock.sleeps.clear();
        clock_.clock.fineSleeps.clear();
    }
    // Simulated milliseconds an operation took.
    template <typename F>
    double ElapsedMs(F&& operation) {
        int64_t before = clock_.clock.now;
        operation();
        return static_cast<double>(clock_.clock.now - before) / 1000.0;
    }

    static constexpr int32_t Port = 4;
    FakePort fake_;
    ScopedClock clock_;
};

TEST_F(UartMaster, OpenPowersTheAdapterAndCloseUnpowersIt) {
    for (bool inverted : {false, true}) {
        SCOPED_TRACE(inverted ? "inverted" : "plain");
        OneWireSetOptions(inverted ? OptInvertPower : 0);
        fake_.state().lineEvents.clear();
        fake_.state().written.clear();
        clock_.clock.sleeps.clear();
        fake_.state().inject({0x12});  // noise from before the open is not delivered
        ASSERT_EQ(OneWireOpen(fake_.name(), Port), 1);
        EXPECT_EQ(OneWireLastResult(), Ok);
        bool on = !inverted;
        EXPECT_EQ(fake_.state().lineEvents,
                  (Lines{{SerialLineRts, false}, {SerialLineDtr, on}, {SerialLineRts, on}}));
        ASSERT_FALSE(clock_.clock.sleeps.empty());
        EXPECT_EQ(clock_.clock.sleeps.front(), PowerSettleMs);
        EXPECT_EQ(fake_.state().written, std::vector<uint8_t>(8, SlotOne)) << "eight idle slots";
        EXPECT_EQ(fake_.state().baud, DataBaud);
        EXPECT_EQ(SerialInputCount(Port), 0);

        fake_.state().lineEvents.clear();
        EXPECT_EQ(OneWireClose(Port), 1);
        EXPECT_EQ(OneWireLastResult(), Ok);
        EXPECT_EQ(fake_.state().lineEvents, (Lines{{SerialLineDtr, !on}, {SerialLineRts, !on}}));
        EXPECT_FALSE(SerialIsOpen(Port));
    }
    EXPECT_EQ(OneWireClose(Port), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
}

TEST_F(UartMaster, OpeningTheCurrentPortReplacesThePreviousOne) {
    FakePort second(u"FAKE2");
    int first = OneWireOpen(fake_.name(), PortCurrent);
    ASSERT_GT(first, 999);
    EXPECT_EQ(currentPort, first);
    fake_.state().lineEvents.clear();

    int next = OneWireOpen(second.name(), PortCurrent);
    ASSERT_GT(next, 999);
    EXPECT_NE(next, first);
    EXPECT_EQ(currentPort, next);
    EXPECT_EQ(fake_.state().lineEvents, (Lines{{SerialLineDtr, false}, {SerialLineRts, false}}));
    EXPECT_EQ(fake_.state().liveDevices, 0) << "the previous port was closed";

    EXPECT_EQ(OneWireClose(PortCurrent), 1);
    EXPECT_EQ(currentPort, PortNone);
    EXPECT_EQ(second.state().liveDevices, 0);
}

TEST_F(UartMaster, OpenRefusesBadIdentifiersAndMissingDevices) {
    for (int32_t bad : {1000, -5, PortNone}) {
        EXPECT_EQ(OneWireOpen(fake_.name(), bad), 0);
        EXPECT_EQ(OneWireLastResult(), BadArgument);
    }
    EXPECT_EQ(fake_.state().opens, 0) << "no port was touched";
    EXPECT_EQ(OneWireOpen(u"NoSuchBus", PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
    EXPECT_EQ(currentPort, PortNone);
}

TEST_F(UartMaster, ClosedPortStopsEveryOperation) {
    uint8_t buffer[2] = {};
    EXPECT_EQ(OneWireReset(Port), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
    EXPECT_EQ(OneWireTouchByte(0x00, Port), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
    EXPECT_EQ(OneWireWriteBytes(0x44, 1, PortCurrent), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
    EXPECT_EQ(OneWireReadBytes(buffer, 2, Port), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
}

TEST_F(UartMaster, ResetPresenceRules) {
    OpenBus();
    struct Case {
        std::vector<uint8_t> echo;
        int presence;
        OneWireResult code;
    };
    for (const Case& c : {Case{{0xF0}, 0, NoResponse}, Case{{0x00}, 1, Ok}, Case{{0xE0}, 1, Ok},
                          Case{{0xE0, 0xE0}, 0, ExchangeError}, Case{{}, 0, ExchangeError}}) {
        SCOPED_TRACE(testing::PrintToString(c.echo));
        fake_.state().written.clear();
        fake_.state().scripted = {c.echo};
        EXPECT_EQ(OneWireReset(Port), c.presence);
        EXPECT_EQ(OneWireLastResult(), c.code);
        EXPECT_EQ(fake_.state().written, std::vector<uint8_t>{ResetByte});
        EXPECT_EQ(fake_.state().writtenBaud, std::vector<int>{ResetBaud});
        EXPECT_EQ(fake_.state().baud, DataBaud) << "always back at the data speed";
        EXPECT_EQ(SerialInputCount(Port), 0) << "no stale echo survives";
        fake_.state().writtenBaud.clear();
    }
}

TEST_F(UartMaster, ResetWithoutEchoGivesUpAfterItsLimit) {
    OpenBus();
    for (uint32_t options : {0u, OptLowCpu}) {
        OneWireSetOptions(options);
        clock_.clock.sleeps.clear();
        fake_.state().scripted = {{}};
        double ms = ElapsedMs([] { OneWireReset(Port); });
        EXPECT_EQ(OneWireLastResult(), ExchangeError) << "no adapter is not an empty bus";
        EXPECT_GE(ms, ResetEchoLimitMs);
        EXPECT_LT(ms, ResetEchoLimitMs + 1);
        EXPECT_TRUE(clock_.clock.sleeps.empty()) << "no polling sleeps";
        ASSERT_FALSE(fake_.state().waits.empty());
        EXPECT_LE(fake_.state().waits.back(), ResetEchoLimitMs) << "sleeps in the device";
        fake_.state().waits.clear();
    }
}

TEST_F(UartMaster, ResetSpeedSwitchFailures) {
    OpenBus();
    fake_.state().refusedBauds.insert(ResetBaud);
    EXPECT_EQ(OneWireReset(Port), 0);
    EXPECT_EQ(OneWireLastResult(), BaudChangeError);
    EXPECT_TRUE(fake_.state().written.empty()) << "nothing is sent at the wrong speed";

    // Presence was seen, but the port is stuck at 9600 baud: the reset must not report
    // success, or the caller would send its slots at the wrong speed.
    fake_.state().refusedBauds = {DataBaud};
    fake_.state().scripted = {{0xE0}};
    EXPECT_EQ(OneWireReset(Port), 0);
    EXPECT_EQ(OneWireLastResult(), BaudChangeError);

    fake_.state().scripted = {{0xF0}};
    EXPECT_EQ(OneWireReset(Port), 0);
    EXPECT_EQ(OneWireLastResult(), BaudChangeError) << "overwrites NoResponse";
}

TEST_F(UartMaster, SingleSlots) {
    OpenBus();
    fake_.state().scripted = {{0xFF}, {0xFE}, {0x7F}, {0x00}};
    EXPECT_EQ(OneWireReadBit(Port, SlotComplete), 1);
    EXPECT_EQ(OneWireReadBit(Port, SlotComplete), 0) << "only exactly 0xFF is a 1";
    EXPECT_EQ(OneWireReadBit(Port, SlotComplete), 0) << "only exactly 0xFF is a 1";
    EXPECT_EQ(OneWireReadBit(Port, SlotComplete), 0);
    EXPECT_EQ(OneWireLastResult(), Ok);

    fake_.state().scripted = {{0xFF, 0xFF}};
    EXPECT_EQ(OneWireReadBit(Port, SlotSend | SlotWait), 1);
    EXPECT_EQ(OneWireLastResult(), ExchangeError) << "two echoes for one slot";

    fake_.state().acceptPerWrite = 0;
    EXPECT_EQ(OneWireReadBit(Port, SlotComplete), 0) << "an unsent slot fails with 0";
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    fake_.state().acceptPerWrite = -1;

    // The writer never touches the code and drains exactly one echo when asked.
    fake_.state().written.clear();
    OneWireSetResult(NoData);
    fake_.state().scripted = {{0x00, 0x77}};
    EXPECT_EQ(OneWireWriteSlot(2, Port, SlotWait | SlotDrain), 0);
    EXPECT_EQ(fake_.state().written, std::vector<uint8_t>{SlotZero})
        << "only the lowest bit counts";
    EXPECT_EQ(SerialInputCount(Port), 1);
    EXPECT_EQ(OneWireLastResult(), NoData);
}

TEST_F(UartMaster, SlotWithoutEchoGivesUpAfterItsLimit) {
    OpenBus();
    fake_.state().scripted = {{}};
    double ms = ElapsedMs([] { EXPECT_EQ(OneWireReadBit(Port, SlotComplete), 1); });
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_GE(ms, SlotEchoLimitMs);
    EXPECT_LT(ms, SlotEchoLimitMs + 1);
    EXPECT_EQ(clock_.clock.fineSleeps, std::vector<int64_t>{SlotEchoLimitMs * 1000})
        << "sleeps in the device at once by default";
    EXPECT_EQ(fake_.state().waits, std::vector<int>{SlotEchoLimitMs});

    // Under OptLowCpu the wait first sleeps through the slot's wire time (87 us).
    OneWireSetOptions(OptLowCpu);
    fake_.state().scripted = {{}};
    fake_.state().waits.clear();
    clock_.clock.fineSleeps.clear();
    ms = ElapsedMs([] { OneWireWriteSlot(1, Port, SlotWait); });
    EXPECT_GE(ms, SlotEchoLimitMs);
    EXPECT_LT(ms, SlotEchoLimitMs + 1);
    ASSERT_EQ(clock_.clock.fineSleeps.size(), 2u);
    EXPECT_EQ(clock_.clock.fineSleeps[0], 87);
    EXPECT_EQ(fake_.state().waits, std::vector<int>{SlotEchoLimitMs});
    EXPECT_TRUE(clock_.clock.sleeps.empty());
}

TEST_F(UartMaster, BlockWithoutEchoGivesUpAfterItsLimit) {
    OpenBus();
    fake_.state().responder = [](uint8_t, int) { return std::vector<uint8_t>{}; };
    uint8_t buffer[5];
    double ms = ElapsedMs([&] { EXPECT_EQ(OneWireReadBytes(buffer, 5, Port), 0); });
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_GE(ms, 2 * 5 + 36);
    EXPECT_LT(ms, 2 * 5 + 37);

    OneWireSetOptions(OptLowCpu);
    clock_.clock.fineSleeps.clear();
    const uint8_t data[3] = {1, 2, 3};
    ms = ElapsedMs([&] { EXPECT_EQ(OneWireWriteBytes(data, 3, Port), 0); });
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_GE(ms, 2 * 3 + 36);
    EXPECT_LT(ms, 2 * 3 + 37);
    ASSERT_EQ(clock_.clock.fineSleeps.size(), 2u);
    EXPECT_EQ(clock_.clock.fineSleeps[0], 24 * 87) << "the wire time of 24 slots first";
}

TEST_F(UartMaster, WriteBytesForms) {
    OpenBus();
    EXPECT_EQ(OneWireWriteBytes(0, 1, Port), 1) << "value 0 is a byte, not a missing buffer";
    EXPECT_EQ(fake_.state().written, std::vector<uint8_t>(8, SlotZero));

    fake_.state().written.clear();
    const uint8_t data[2] = {0x55, 0x80};
    EXPECT_EQ(OneWireWriteBytes(data, 2, Port), 1);
    EXPECT_EQ(fake_.state().written,
              (std::vector<uint8_t>{0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00,
                                    0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}))
        << "least significant bit first";
    EXPECT_EQ(OneWireLastResult(), Ok);
}

TEST_F(UartMaster, ArgumentChecksComeFirst) {
    // Nothing is open: a bad argument must still be reported as such, and nothing sent.
    uint8_t buffer[1] = {};
    auto expectBad = [](int returned) {
        EXPECT_EQ(returned, 0);
        EXPECT_EQ(OneWireLastResult(), BadArgument);
    };
    expectBad(OneWireWriteBytes(0x44, 0, Port));
    expectBad(OneWireWriteBytes(0x44, 2, Port));
    expectBad(OneWireWriteBytes(256, 1, Port));
    expectBad(OneWireWriteBytes(-1, 1, Port));
    expectBad(OneWireWriteBytes(buffer, 0, Port));
    expectBad(OneWireWriteBytes(buffer, MaxBlockBytes + 1, Port));
    expectBad(OneWireWriteBytes(static_cast<const uint8_t*>(nullptr), 1, Port));
    expectBad(OneWireReadBytes(nullptr, 1, Port));
    expectBad(OneWireReadBytes(buffer, 0, Port));
    expectBad(OneWireReadBytes(buffer, 1000000, Port));
}

TEST_F(UartMaster, ReadBytesAssemblesBitsFromExactEchoes) {
    OpenBus();
    for (int i = 0; i < 8; ++i)
        fake_.state().scripted.push_back({static_cast<uint8_t>(i == 3 ? 0xFE : 0xFF)});
    fake_.state().scripted.push_back({0x00});
    for (int i = 0; i < 7; ++i) fake_.state().scripted.push_back({0xFF});
    uint8_t buffer[2] = {};
    ASSERT_EQ(OneWireReadBytes(buffer, 2, Port), 1);
    EXPECT_EQ(buffer[0], 0xF7);
    EXPECT_EQ(buffer[1], 0xFE);
    EXPECT_EQ(fake_.state().written, std::vector<uint8_t>(16, SlotOne));
}

TEST_F(UartMaster, BlockEchoMismatchesFailAndPurge) {
    OpenBus();
    // One slot echoes twice: the count is off by one.
    fake_.state().scripted = {{0xFF, 0xFF}};
    uint8_t buffer[1];
    EXPECT_EQ(OneWireReadBytes(buffer, 1, Port), 0);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_EQ(SerialInputCount(Port), 0);

    // A short write.
    fake_.state().acceptPerWrite = 4;
    EXPECT_EQ(OneWireWriteBytes(0xCC, 1, Port), 0);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_EQ(SerialInputCount(Port), 0);
    fake_.state().acceptPerWrite = -1;

    // Echoes that cannot be read.
    fake_.state().failReads = true;
    EXPECT_EQ(OneWireWriteBytes(0xCC, 1, Port), 0);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
}

// A block of bits is one slot byte per bit in one write, and the line's answers come back
// as bits: 1 only for an echo of exactly 0xFF, a written 1 pulled low included.
TEST_F(UartMaster, TouchBitsMakesOneSlotPerBitAndReadsBackTheLine) {
    OpenBus();
    fake_.state().scripted = {{0xFF}, {0x00}, {0xFE}, {0xFF}, {0x00}};
    std::vector<uint8_t> bits = {1, 0, 1, 1, 1};
    ASSERT_EQ(OneWireTouchBits(bits, Port), 1);
    EXPECT_EQ(OneWireLastResult(), Ok);
    EXPECT_EQ(fake_.state().written,
              (std::vector<uint8_t>{SlotOne, SlotZero, SlotOne, SlotOne, SlotOne}));
    EXPECT_EQ(bits, (std::vector<uint8_t>{1, 0, 0, 1, 0}));

    // A slot short: the block fails as a whole, the line is emptied and the bits stay as sent.
    fake_.state().written.clear();
    fake_.state().responder = [](uint8_t, int) { return std::vector<uint8_t>{}; };
    fake_.state().scripted = {{0xFF}, {0xFF}};
    bits = {1, 1, 0};
    double ms = ElapsedMs([&] { EXPECT_EQ(OneWireTouchBits(bits, Port), 0); });
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
    EXPECT_EQ(bits, (std::vector<uint8_t>{1, 1, 0}));
    EXPECT_EQ(SerialInputCount(Port), 0);
    EXPECT_GE(ms, SlotEchoLimitMs) << "a block of fewer than eight slots has a slot's limit";
    EXPECT_LT(ms, SlotEchoLimitMs + 1);

    std::vector<uint8_t> none;
    EXPECT_EQ(OneWireTouchBits(none, Port), 0);
    EXPECT_EQ(OneWireLastResult(), BadArgument);
    EXPECT_EQ(fake_.state().written.size(), 3u) << "nothing sent for an empty block";
}

TEST_F(UartMaster, TouchByte) {
    OpenBus();
    EXPECT_EQ(OneWireTouchByte(0xA5, Port), 0xA5) << "a quiet bus echoes what was sent";
    EXPECT_EQ(OneWireLastResult(), Ok);
    fake_.state().scripted = {{0x00}, {0x00}, {}};
    EXPECT_EQ(OneWireTouchByte(0x00, Port), 0xFF);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
}

}  // namespace
}  // namespace kv
