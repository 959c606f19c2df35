// The open-port table, the virtual-port registry and the naming rules, driven through a
// fake device so that nothing depends on the machine's hardware.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "runtime/utf.h"
#include "serial/natural_order.h"
#include "serial/serial_port.h"
#include "tests/serial/fake_serial_device.h"

namespace kv {
namespace {

using test::FakePort;

int OpenFake(int32_t id, std::u16string_view name = u"FAKE", int baud = 115200) {
    return SerialOpen(id, name, baud, 0, 8, 1.0, 0, 255, 255);
}

TEST(SerialTable, FixedAndAssignedIdentifiers) {
    FakePort fake;
    EXPECT_NE(OpenFake(7), 0);
    EXPECT_TRUE(SerialIsOpen(7));
    EXPECT_EQ(OpenFake(7), 0) << "a fixed identifier that is still open is not reused";

    std::set<int> assigned;
    for (int i = 0; i < 5; ++i) {
        int id = OpenFake(PortDynamic);
        EXPECT_GT(id, 999);
        assigned.insert(id);
    }
    EXPECT_EQ(assigned.size(), 5u);
    for (int id : assigned) EXPECT_TRUE(SerialIsOpen(id));
    EXPECT_EQ(fake.state().liveDevices, 6);

    int one = *assigned.begin();
    EXPECT_EQ(SerialClose(one), 1);
    EXPECT_FALSE(SerialIsOpen(one));
    EXPECT_EQ(SerialClose(one), 0);
    EXPECT_EQ(SerialHandle(one), 0);
    EXPECT_NE(SerialHandle(7), 0);

    EXPECT_EQ(SerialClose(PortDynamic), 1) << "PortDynamic closes every open port";
    EXPECT_FALSE(SerialIsOpen(7));
    EXPECT_EQ(fake.state().liveDevices, 0);
}

TEST(SerialTable, RefusesBadIdentifiersAndOptions) {
    FakePort fake;
    EXPECT_EQ(OpenFake(1000), 0);
    EXPECT_EQ(OpenFake(-5), 0);
    EXPECT_EQ(OpenFake(PortCurrent), 0);
    EXPECT_EQ(SerialOpen(1, u"FAKE", 115200, 0, 8, 1.0, 2, 255, 255), 0) << "handshake 2";
    EXPECT_EQ(SerialOpen(1, u"", 115200, 0, 8, 1.0, 0, 255, 255), 0);
    EXPECT_EQ(fake.state().opens, 0) << "nothing was opened for a refused request";
}

TEST(SerialTable, OperationsOnUnknownIdentifiersDoNothing) {
    uint8_t byte = 0x55;
    EXPECT_EQ(SerialWrite(42, &byte, 1), 0);
    EXPECT_EQ(SerialRead(42, &byte, 1), 0);
    EXPECT_EQ(SerialInputCount(42), 0);
    EXPECT_EQ(SerialSetLine(42, SerialLineDtr, 1), 0);
    EXPECT_EQ(SerialApplyState(42, 9600, 1, 1), 0);
    EXPECT_EQ(SerialClose(42), 0);
}

TEST(SerialTable, TransfersAndLinesReachTheDevice) {
    FakePort fake;
    ASSERT_NE(OpenFake(3), 0);
    EXPECT_FALSE(fake.state().rts) << "without handshake RTS starts low";
    const uint8_t out[] = {1, 2, 3};
    EXPECT_EQ(SerialWrite(3, out, 3), 3);
    EXPECT_EQ(SerialInputCount(3), 3);
    uint8_t in[3] = {};
    EXPECT_EQ(SerialRead(3, in, 3), 3);
    EXPECT_EQ(in[2], 3);

    EXPECT_EQ(SerialSetLine(3, SerialLineDtr, 0), 1);
    EXPECT_EQ(SerialSetLine(3, 9, 1), 0) << "unknown line";
    EXPECT_EQ(SerialApplyState(3, 9600, 1, 0), 1);
    EXPECT_EQ(fake.state().baud, 9600);
    EXPECT_TRUE(fake.state().dtr);
    EXPECT_FALSE(fake.state().rts);

    fake.state().refusedBauds.insert(4800);
    EXPECT_EQ(SerialApplyState(3, 4800, 1, 1), 0);
    fake.state().failCount = true;
    EXPECT_EQ(SerialInputCount(3), 0) << "a failing query counts as nothing waiting";
}

TEST(SerialTable, FailedConfigurationLeavesNothingOpen) {
    FakePort fake;
    fake.state().refusedBauds.insert(115200);
    EXPECT_EQ(OpenFake(PortDynamic), 0);
    EXPECT_EQ(fake.state().liveDevices, 0);
}

TEST(SerialTable, ConcurrentOpensGetDistinctIdentifiers) {
    FakePort fake;
    std::vector<int> ids(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&ids, t] {
            for (int i = 0; i < 50; ++i) {
                int id = OpenFake(PortDynamic);
                if (id != 0) SerialClose(id);
            }
            ids[t] = OpenFake(PortDynamic);
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<int> distinct(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), ids.size());
    EXPECT_FALSE(distinct.contains(0));
    EXPECT_EQ(fake.state().liveDevices, 8);
}

TEST(SerialNames, VirtualNamesMatchExactlyAfterTheCut) {
    std::u16string long59(59, u'x');
    FakePort fake(long59);
    EXPECT_NE(OpenFake(1, long59 + u"tail beyond the limit"), 0) << "only 59 characters count";
    EXPECT_EQ(OpenFake(2, std::u16string(58, u'x')), 0);
    FakePort other(u"DEMO2");
    EXPECT_EQ(OpenFake(3, u"demo2"), 0) << "names compare exactly";
    EXPECT_NE(OpenFake(3, u"DEMO2"), 0);
    auto names = SerialVirtualPortNames();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], long59);
    EXPECT_EQ(names[1], u"DEMO2");
}

TEST(SerialNames, NaturalOrder) {
    std::vector<std::string> names = {"ttyS10", "ttyUSB1", "ttyS2", "ttyACM0",
                                      "ttyS1",  "rfcomm0", "ttyS02"};
    std::sort(names.begin(), names.end(), NaturalLess);
    std::vector<std::string> expected = {"rfcomm0", "ttyACM0", "ttyS1",  "ttyS2",
                                         "ttyS02",  "ttyS10",  "ttyUSB1"};
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(NaturalLess("ttyS2", "ttyS2"));
}

}  // namespace
}  // namespace kv
