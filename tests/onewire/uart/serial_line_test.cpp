// Port resolution, purging, and the speed switch of the UART master with its power levels.
#include <gtest/gtest.h>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/uart/encoding.h"
#include "onewire/uart/serial_line.h"
#include "tests/serial/fake_serial_device.h"

namespace kv {
namespace {

using test::FakePort;

class SerialLine : public ::testing::Test {
  protected:
    void SetUp() override { OneWireSetOptions(0); }
    void TearDown() override {
        OneWireSetOptions(0);
        currentPort = PortNone;
    }
    FakePort fake_;
};

TEST_F(SerialLine, ResolvingWithoutACurrentPort) {
    currentPort = PortNone;
    EXPECT_EQ(OneWireResolvePort(PortCurrent), PortNone);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
    EXPECT_EQ(OneWireResolvePort(12), 12);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
}

TEST_F(SerialLine, ResolvingMapsTheCurrentPortAndPurgesStrayInput) {
    int id = SerialOpen(PortDynamic, fake_.name(), DataBaud, 0, 8, 1.0, 0, 255, 255);
    ASSERT_GT(id, 999);
    currentPort = id;
    fake_.state().inject({1, 2, 3, 4, 5});
    OneWireSetResult(ExchangeError);
    EXPECT_EQ(OneWireResolvePort(PortCurrent), id);
    EXPECT_EQ(OneWireLastResult(), Ok);
    EXPECT_EQ(SerialInputCount(id), 0);
}

TEST_F(SerialLine, SpeedSwitchDrivesThePowerLevels) {
    ASSERT_NE(SerialOpen(5, fake_.name(), DataBaud, 0, 8, 1.0, 0, 255, 255), 0);
    EXPECT_EQ(SerialSetBaud(5, ResetBaud), 1);
    EXPECT_EQ(fake_.state().baud, ResetBaud);
    EXPECT_TRUE(fake_.state().dtr);
    EXPECT_TRUE(fake_.state().rts);

    OneWireSetOptions(OptInvertPower);
    EXPECT_EQ(SerialSetBaud(5, DataBaud), 1);
    EXPECT_EQ(fake_.state().baud, DataBaud);
    EXPECT_FALSE(fake_.state().dtr);
    EXPECT_FALSE(fake_.state().rts);
}

TEST_F(SerialLine, SpeedSwitchFailures) {
    OneWireSetResult(NoResponse);
    EXPECT_EQ(SerialSetBaud(77, ResetBaud), 0);
    EXPECT_EQ(OneWireLastResult(), NoResponse) << "a closed port leaves the code untouched";

    ASSERT_NE(SerialOpen(5, fake_.name(), DataBaud, 0, 8, 1.0, 0, 255, 255), 0);
    fake_.state().refusedBauds.insert(ResetBaud);
    EXPECT_EQ(SerialSetBaud(5, ResetBaud), 0);
    EXPECT_EQ(OneWireLastResult(), BaudChangeError);
}

}  // namespace
}  // namespace kv
