// The bytes a measurement pass puts on the wire, written out from the datasheets rather than
// taken from the program's constants, and the polling orders that must reach every sensor.
#include <algorithm>
#include <mutex>

#include "monitor/monitor_worker.h"
#include "monitor/window_ids.h"
#include "onewire/result.h"
#include "tests/monitor/worker_scenarios.h"

namespace kv::test {
namespace {

// The bytes written, in order, whatever the grouping into writes: a reset byte never looks
// like a slot byte (0xFF or 0x00), so the stream says everything.
using Writes = std::vector<std::vector<uint8_t>>;
std::vector<uint8_t> Stream(const Writes& writes) {
    std::vector<uint8_t> stream;
    for (const auto& write : writes) stream.insert(stream.end(), write.begin(), write.end());
    return stream;
}

constexpr uint8_t Reset = 0xF0;  // sent at 9600 baud: the reset pulse
std::vector<uint8_t> Slots(std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> slots;
    for (uint8_t byte : bytes) {
        for (int bit = 0; bit < 8; ++bit) slots.push_back((byte >> bit) & 1 ? 0xFF : 0x00);
    }
    return slots;
}
std::vector<uint8_t> Slots(const RomCode& rom) {
    std::vector<uint8_t> slots;
    for (uint8_t byte : rom) {
        const auto one = Slots({byte});
        slots.insert(slots.end(), one.begin(), one.end());
    }
    return slots;
}

class Wire : public WorkerTest {
  protected:
    void SetUp() override {
        RegisterFaultyPort(u"WIRE", bus, [this](const auto&, const uint8_t* data, int count) {
            std::lock_guard<std::mutex> lock(mutex);
            writes.emplace_back(data, data + count);
            // Everything goes through but the Read Scratchpad blocks a test asks to lose.
            const auto command = Slots({0xBE});
            const bool read = count > ReadCommandAt + 8 &&
                              std::equal(command.begin(), command.end(), data + ReadCommandAt);
            if (!read || lostReads == 0) return false;
            --lostReads;
            return true;
        });
        h.offerPort(u"WIRE");
        h.choosePort(u"WIRE");
    }
    // The rule writes into this fixture's members, which go before the harness does.
    void TearDown() override {
        if (!h.finished()) h.stop();
    }
    Writes take() {
        std::lock_guard<std::mutex> lock(mutex);
        Writes taken;
        taken.swap(writes);
        return taken;
    }

    // Match ROM and the ROM code go before the command in a reading's block of slots.
    static constexpr int ReadCommandAt = 9 * 8;
    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>();
    std::mutex mutex;
    Writes writes;
    int lostReads = 0;
};

TEST_F(Wire, ACommonConversionPassSendsExactlyTheDatasheetBytes) {
    // The search finds family 0x10 before 0x28 (bit 3 of the family byte decides).
    const RomCode first = S20(0x0008023D8A9E), second = B20(0x0000045A1B2C);
    bus->addThermometer(second, 22.0);
    bus->addThermometer(first, 21.0);
    h.start();
    ASSERT_TRUE(runPasses(1));
    ASSERT_EQ(rowOf(first), 0);
    take();
    ASSERT_TRUE(runPasses(2));
    const std::vector<uint8_t> readSlots(9 * 8, 0xFF);
    const Writes expected = {
        {Reset}, Slots({0xCC}), Slots({0x44}),                            // all convert
        {Reset}, Slots({0x55}), Slots(first),  Slots({0xBE}), readSlots,  // read the first
        {Reset}, Slots({0x55}), Slots(second), Slots({0xBE}), readSlots,  // and the second
    };
    EXPECT_EQ(Stream(take()), Stream(expected));
    EXPECT_EQ(h.cell(0, 3), u"21.0 °C");
    EXPECT_EQ(h.cell(1, 3), u"22.0 °C");
}

// A read that fails is made once more before it counts. A power-on value (a re-plugged
// DS18S20, whose power-on scratchpad can also be a measurement) is confirmed by a conversion
// of that sensor alone and a second read.
TEST_F(Wire, AFailedReadIsMadeAgainAndAPowerOnValueIsConfirmed) {
    const RomCode sensor = S20(0x0008023D8A9E);
    auto device = bus->addThermometer(sensor, 21.0);
    h.start();
    ASSERT_TRUE(runPasses(1));
    const Writes convertAll = {{Reset}, Slots({0xCC}), Slots({0x44})};
    const Writes convertIt = {{Reset}, Slots({0x55}), Slots(sensor), Slots({0x44})};
    const Writes read = {
        {Reset}, Slots({0x55}), Slots(sensor), Slots({0xBE}), std::vector<uint8_t>(9 * 8, 0xFF)};
    const auto joined = [](std::initializer_list<Writes> parts) {
        std::vector<uint8_t> stream;
        for (const Writes& part : parts) {
            const auto bytes = Stream(part);
            stream.insert(stream.end(), bytes.begin(), bytes.end());
        }
        return stream;
    };
    take();
    {
        std::lock_guard<std::mutex> lock(mutex);
        lostReads = 1;
    }
    ASSERT_TRUE(runPasses(2));
    EXPECT_EQ(Stream(take()), joined({convertAll, read, read}));
    EXPECT_EQ(h.cell(0, 4), u"OK");
    EXPECT_EQ(MonitorWorkerStatistics().retries, 1u);

    ASSERT_TRUE(h.step(3));  // the loop's sleep and two of the conversion wait's
    ASSERT_TRUE(bus->unplug(sensor));
    bus->plug(device);
    device->setTemperature(21.5);
    ASSERT_TRUE(runPasses(3));
    EXPECT_EQ(Stream(take()), joined({convertAll, read, convertIt, read}));
    EXPECT_EQ(h.cell(0, 3), u"21.5 °C");
    EXPECT_EQ(h.cell(0, 4), u"OK");
    EXPECT_EQ(MonitorWorkerStatistics().confirmations, 1u);
}

TEST_F(Wire, SeparatePollingAddressesAndReadsALoneSensorEveryPass) {
    const RomCode alone = B20(0x0000045A1B2C);
    bus->addThermometer(alone, 21.0);
    ControlBlock.ConvertOnly = 1;
    h.start();
    ASSERT_TRUE(runPasses(1));
    take();
    for (uint64_t pass = 2; pass <= 4; ++pass) {
        ASSERT_TRUE(runPasses(pass));
        const Writes expected = {
            {Reset},       Slots({0x55}), Slots(alone),
            Slots({0x44}), {Reset},       Slots({0x55}),
            Slots(alone),  Slots({0xBE}), std::vector<uint8_t>(72, 0xFF),
        };
        EXPECT_EQ(Stream(take()), Stream(expected)) << "pass " << pass;
    }
    EXPECT_EQ(MonitorWorkerStatistics().readings, 4u);
    EXPECT_EQ(h.cell(0, 3), u"21.0 °C");
    EXPECT_EQ(h.colour(0, ColumnType), PolledColour);
}

TEST_F(Wire, SeparatePollingReachesAThermometerBehindDevicesOfOtherFamilies) {
    const RomCode others[2] = {SimMakeRom(0x20, 1), SimMakeRom(0x20, 2)};  // found first
    const RomCode sensor = B20(0x0000045A1B2C);
    for (const RomCode& rom : others) bus->addDevice(rom);
    bus->addThermometer(sensor, 23.0);
    ControlBlock.ConvertOnly = 1;
    h.start();
    ASSERT_TRUE(h.step());
    ASSERT_EQ(rowOf(sensor), 2);
    ASSERT_TRUE(runPasses(3));
    EXPECT_EQ(MonitorWorkerStatistics().readings, 3u) << "the thermometer is read in every round";
    EXPECT_EQ(h.cell(2, 3), u"23.0 °C");
    EXPECT_EQ(h.cell(2, 4), u"OK");
}

}  // namespace
}  // namespace kv::test
