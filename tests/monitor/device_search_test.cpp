// The search that fills the list, and the list following the bus while monitoring.
#include <gtest/gtest.h>

#include <algorithm>

#include "monitor/control_block.h"
#include "monitor/device_search.h"
#include "monitor/port_open.h"
#include "monitor/sensor_texts.h"
#include "monitor/window_ids.h"
#include "tests/monitor/worker_harness.h"

namespace kv {
namespace {

using test::WorkerHarness;

const RomCode RomA = SimMakeRom(0x28, 0x0A00), RomB = SimMakeRom(0x28, 0x0B00),
              RomC = SimMakeRom(0x28, 0x0C00);

class DeviceSearch : public ::testing::Test {
  protected:
    void SetUp() override { ControlBlock.ReopenPort = 0; }
    std::vector<RomCode> codes() {
        std::vector<RomCode> out;
        for (int32_t i = 0; i < list.count(); ++i) out.push_back(list.at(i).Rom);
        return out;
    }
    WorkerHarness h;
    SensorList list;
};

// The bus goes dead after the first pass of the search: one device is known, the rest is
// not, and the status line must not say that one is all there is.
TEST_F(DeviceSearch, ASpoiledSearchIsNotReportedAsTheWholeBus) {
    auto bus = std::make_shared<SimBus>();
    bus->addThermometer(RomA, 20.0);
    bus->addThermometer(RomB, 21.0);
    // Search ROM (0xF0) as slots, least significant bit first.
    const std::vector<uint8_t> searchRom = {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    int searchPasses = 0;
    bool dead = true;
    test::RegisterFaultyPort(u"DYING", bus, [&](const auto&, const uint8_t* data, int count) {
        if (count >= 8 && std::equal(searchRom.begin(), searchRom.end(), data)) ++searchPasses;
        return dead && searchPasses >= 2;  // silent from the second search pass on
    });
    h.offerPort(u"DYING");
    h.choosePort(u"DYING");
    OpenSelectedPort(list);
    EXPECT_EQ(LastSearchEnd(), EnumerationEnd::BusError);
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(h.status(), u"Найдено 1 '1-Wire' устройство.  Поиск прерван ошибкой, будет повторён");

    dead = false;  // the line is back
    EXPECT_EQ(SearchDevices(list, u"DYING"), EnumerationEnd::Complete);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(h.status(), u"Найдено 2 '1-Wire'  устройства.");
}

TEST_F(DeviceSearch, AWholeSearchReplacesTheListAndKeepsTheStateOfThoseStillThere) {
    for (const RomCode& rom : {RomA, RomB}) list.append()->Rom = rom;
    list.at(0).Temperature = 20.5f;
    list.at(0).Flags = BusError;
    Enumeration found;
    found.codes = {RomA, RomC};
    found.end = EnumerationEnd::Complete;
    ASSERT_TRUE(UpdateDevices(list, found));
    EXPECT_EQ(codes(), (std::vector<RomCode>{RomA, RomC}));
    EXPECT_FLOAT_EQ(list.at(0).Temperature, 20.5f);
    EXPECT_EQ(list.at(0).Flags, BusError);
    EXPECT_EQ(list.at(1).Flags, 0);
    EXPECT_EQ(h.rows(), 2) << "rows rebuilt, one per record";
    EXPECT_EQ(h.cell(1, 1), FormatRomCode(RomC));
    EXPECT_EQ(list.current(), nullptr) << "the cursor stands before the first record";
    EXPECT_FALSE(UpdateDevices(list, found)) << "nothing changed, nothing rebuilt";
}

TEST_F(DeviceSearch, ASpoiledSearchOnlyAddsNewcomersWithASoundCode) {
    for (const RomCode& rom : {RomA, RomB}) list.append()->Rom = rom;
    RomCode garbled = RomC;
    garbled[3] ^= 0x40;  // its CRC no longer matches
    Enumeration found;
    found.codes = {RomA, garbled, RomC};
    found.end = EnumerationEnd::BusError;
    ASSERT_TRUE(UpdateDevices(list, found));
    EXPECT_EQ(codes(), (std::vector<RomCode>{RomA, RomB, RomC})) << "B stays: the search was cut";
    found.codes = {RomA};
    EXPECT_FALSE(UpdateDevices(list, found));
}

}  // namespace
}  // namespace kv
