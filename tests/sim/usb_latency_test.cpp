// The simulated USB converter: echoes are held in packets that go when they fill or when the
// latency timer runs out, and a wait on the simulated port sleeps until they are there.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "serial/serial_device.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"

namespace kv {
namespace {

constexpr int64_t LatencyUs = 16'000;

class UsbLatency : public ::testing::Test {
  protected:
    void SetUp() override {
        port = bus->attach();
        ASSERT_TRUE(port);
        ASSERT_TRUE(port->configure(115200, 8, 0, 1.0));
        bus->setPowerSensing(false);  // powered whatever the lines say
        bus->setWireTime(true);
        bus->setEchoLatencyMicroseconds(LatencyUs);
    }
    // Moves the clock to an absolute time and says how many echoes are visible then.
    int visibleAt(int64_t microseconds) {
        clock.advanceMicroseconds(microseconds - clock.peekMicroseconds());
        return port->inputCount();
    }

    SimClock clock{1'000'000, 0};
    ScopedTimeSource time{&clock};
    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>();
    std::unique_ptr<SerialDevice> port;
};

TEST_F(UsbLatency, EchoesComeInFullPacketsAndTheRestWhenTheTimerRunsOut) {
    const int64_t byteUs = SimByteMicroseconds(115200);
    const int64_t start = clock.peekMicroseconds();
    const std::vector<uint8_t> block(152, 0xFF);
    ASSERT_EQ(port->write(block.data(), 152), 152);
    auto end = [&](int n) { return start + n * byteUs; };  // when byte n (1-based) has gone

    EXPECT_EQ(visibleAt(end(62) - 1), 0) << "nothing before the first packet fills";
    EXPECT_EQ(visibleAt(end(62)), UsbPacketBytes);
    EXPECT_EQ(visibleAt(end(124) - 1), UsbPacketBytes);
    EXPECT_EQ(visibleAt(end(124)), 2 * UsbPacketBytes);
    // The last 28 wait for the timer, which started with the first of them.
    EXPECT_EQ(visibleAt(end(125) + LatencyUs - 1), 2 * UsbPacketBytes);
    EXPECT_EQ(visibleAt(end(125) + LatencyUs), 152);
}

TEST_F(UsbLatency, AShortPacketWaitsTheWholeLatencyAndAChangeSparesOnesOnTheirWay) {
    const int64_t byteUs = SimByteMicroseconds(115200);
    const int64_t start = clock.peekMicroseconds();
    const uint8_t slot = 0xFF;
    ASSERT_EQ(port->write(&slot, 1), 1);
    // A lower latency set now must not bring forward the packet already being filled, nor
    // may a later echo join it once its time has come.
    bus->setEchoLatencyMicroseconds(1'000);
    EXPECT_EQ(visibleAt(start + byteUs + LatencyUs - 1), 0);
    EXPECT_EQ(visibleAt(start + byteUs + LatencyUs), 1);
    uint8_t echo = 0;
    ASSERT_EQ(port->read(&echo, 1), 1);
    EXPECT_EQ(echo, 0xFF);

    const int64_t second = clock.peekMicroseconds();
    ASSERT_EQ(port->write(&slot, 1), 1);
    EXPECT_EQ(visibleAt(second + byteUs + 1'000 - 1), 0);
    EXPECT_EQ(visibleAt(second + byteUs + 1'000), 1);
}

TEST_F(UsbLatency, WaitSleepsUntilTheEchoesAreThereOrTheTimeIsUp) {
    const int64_t byteUs = SimByteMicroseconds(115200);
    const int64_t start = clock.peekMicroseconds();
    const std::vector<uint8_t> block(3, 0xFF);
    ASSERT_EQ(port->write(block.data(), 3), 3);
    EXPECT_EQ(port->waitInput(3, 36), 3);
    EXPECT_EQ(clock.peekMicroseconds(), start + byteUs + LatencyUs)
        << "woke when the packet came, not before, not at the limit";

    std::vector<uint8_t> echoes(3);
    ASSERT_EQ(port->read(echoes.data(), 3), 3);
    const int64_t before = clock.peekMicroseconds();
    EXPECT_EQ(port->waitInput(1, 36), 0) << "nothing was sent";
    EXPECT_EQ(clock.peekMicroseconds(), before + 36'000);

    bus->setEchoLatencyMicroseconds(50'000);  // past a slot's 36 ms
    const int64_t late = clock.peekMicroseconds();
    ASSERT_EQ(port->write(block.data(), 1), 1);
    EXPECT_EQ(port->waitInput(1, 36), 0);
    EXPECT_EQ(clock.peekMicroseconds(), late + 36'000);
}

}  // namespace
}  // namespace kv
