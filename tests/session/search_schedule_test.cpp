// Searches nobody asked for, between measuring passes, on simulated buses and the simulated
// clock: the measuring passes only move the clock and report their readings; the searches
// run on the bus, and the test takes their bus time from the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "onewire/port.h"
#include "serial/serial_port.h"
#include "session/search_schedule.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"

namespace kv {
namespace {

constexpr char16_t PortName[] = u"SCHEDULE";
constexpr int64_t PassMs = 900;  // the loop sleep and the conversion wait of a pass
constexpr int64_t SpanMs = 1'000;

class Schedule : public ::testing::Test {
  protected:
    void TearDown() override {
        SerialCloseAll();
        SerialUnregisterVirtualPort(PortName);
    }
    // A bus of thermometers, opened and searched as at start.
    void Build(int sensors, int64_t latencyMs) {
        bus = std::make_shared<SimBus>();
        std::mt19937_64 random(static_cast<uint64_t>(sensors));
        roms.clear();
        for (int i = 0; i < sensors; ++i) {
            roms.push_back(SimMakeRom(FamilyDs18b20, random() & 0xFFFFFFFFFFFF));
            bus->addThermometer(roms.back(), 21.0);
        }
        bus->setWireTime(true);
        bus->setEchoLatencyMicroseconds(latencyMs * 1000);
        SimRegisterBus(PortName, bus);
        port = OneWireOpen(PortName, PortDynamic);
        ASSERT_GT(port, 0);
        search = BackgroundSearch{};
        OneWireSearchAskedEnded(search, EnumerationIsWhole(OneWireEnumerate(port)));
        searching.clear();
        walks = 0;
    }
    // A measuring pass: its time passes, and sensor i's reading is sound(i).
    void Pass(const std::function<bool(size_t)>& sound) {
        clock.advanceMilliseconds(PassMs);
        for (size_t i = 0; i < roms.size(); ++i)
            OneWireScheduleReading(search.schedule, roms[i], sound(i));
        OneWireSchedulePassEnded(search.schedule);
    }
    // The gap after a pass; `listed` is what a new walk expects.
    void Between(const std::vector<RomCode>& listed) {
        const SimBus::Stats before = bus->stats();
        const int64_t start = MicrosecondClock();
        walks += OneWireSearchBetweenPasses(search, listed, port, SpanMs);
        const SimBus::Stats after = bus->stats();
        if (after.writes > before.writes)
            searching.emplace_back(start,
                                   start + after.searchMicroseconds - before.searchMicroseconds);
    }
    // The largest share of any budget window that went to searching.
    double LargestWindowShare() const {
        const int64_t window = SearchBudgetWindowMs * 1000;
        auto within = [&](int64_t from) {
            int64_t spent = 0;
            for (const auto& [start, end] : searching)
                spent += std::max<int64_t>(0, std::min(end, from + window) - std::max(start, from));
            return spent;
        };
        int64_t largest = 0;
        for (const auto& [start, end] : searching)
            largest = std::max({largest, within(start), within(end - window)});
        return static_cast<double>(largest) / static_cast<double>(window);
    }

    SimClock clock;
    ScopedTimeSource time{&clock};
    std::shared_ptr<SimBus> bus;
    std::vector<RomCode> roms;
    int32_t port = 0;
    BackgroundSearch search;
    // When each search between two passes began, and how long the bus was searching then
    // (it counts the time from the writes of each search pass to their echoes).
    std::vector<std::pair<int64_t, int64_t>> searching;
    int walks = 0;
};

TEST_F(Schedule, SearchesAskedForAtEveryPassStayWithinTheirShareOfTheBus) {
    for (int sensors : {1, 10, 50}) {
        for (int64_t latencyMs : {0, 16}) {
            SCOPED_TRACE(testing::Message() << sensors << " sensors, " << latencyMs << " ms");
            Build(sensors, latencyMs);
            // Every reading fails, so every pass asks for a search, and no walk expects the
            // list, so each costs its whole walk: far more than the share on most buses.
            const int64_t end = MillisecondClock() + 8 * 60'000;
            while (MillisecondClock() < end) {
                Pass([](size_t) { return false; });
                Between({});
            }
            EXPECT_LE(LargestWindowShare(), SearchBudgetPercent / 100.0);
            EXPECT_FALSE(searching.empty());
            TearDown();
        }
    }
}

TEST_F(Schedule, SpoiledSearchesComeAfterDoublingBreaksAndWholeOnesAfterThePeriod) {
    Build(3, 16);
    bus->setAdapterPresent(false);  // every walk is spoiled
    std::vector<int64_t> ends;
    std::vector<int64_t> starts;
    const int64_t limit = MicrosecondClock() + 600'000'000;
    while (ends.size() < 9 && MicrosecondClock() < limit) {
        clock.advanceMilliseconds(10);
        const int before = walks;
        const size_t searches = searching.size();
        Between(roms);
        if (searching.size() == searches) continue;
        if (starts.size() == ends.size()) starts.push_back(searching.back().first);
        if (walks > before) ends.push_back(MicrosecondClock());
    }
    ASSERT_EQ(ends.size(), 9u);
    const int64_t breaks[] = {0, 2'000, 4'000, 8'000, 16'000, 32'000, 60'000, 60'000};
    for (size_t i = 0; i < std::size(breaks); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(starts[i + 1] - ends[i], breaks[i] * 1000);
        EXPECT_LT(starts[i + 1] - ends[i], (breaks[i] + 30) * 1000);
    }

    bus->setAdapterPresent(true);
    while (walks < 10) Between(roms), clock.advanceMilliseconds(10);
    const int64_t whole = MicrosecondClock();
    while (walks < 11) Between(roms), clock.advanceMilliseconds(10);
    EXPECT_GE(searching.back().first - whole, (WalkPeriodMs - 20) * 1000);
    EXPECT_LT(searching.back().first - whole, (WalkPeriodMs + 30) * 1000);
}

TEST_F(Schedule, OnlyASensorFailingPassAfterPassOrAPassWithoutAnySoundReadingAsksForASearch) {
    Build(4, 16);
    // Within the first minute, so that no periodic walk comes: failures here and there,
    // never two passes in a row of one sensor, never all sensors in one pass.
    const std::vector<std::vector<size_t>> scattered = {
        {}, {0}, {}, {1, 2, 3}, {0}, {2}, {1}, {2, 3}, {0, 1}, {}, {0, 1, 2}, {3}, {}};
    for (const auto& failing : scattered) {
        Pass([&](size_t i) {
            return std::find(failing.begin(), failing.end(), i) == failing.end();
        });
        Between(roms);
    }
    EXPECT_EQ(walks, 0);
    EXPECT_TRUE(searching.empty());

    for (int pass = 1; pass <= FailedPassesBeforeSearch; ++pass) {
        Pass([](size_t i) { return i != 1; });
        Between(roms);
        EXPECT_EQ(walks, pass == FailedPassesBeforeSearch ? 1 : 0)
            << "pass " << pass << " in a row";
    }
    Pass([](size_t i) { return i != 1; });
    Between(roms);
    EXPECT_EQ(walks, 1) << "a sensor that stays silent asks once";

    Pass([](size_t) { return false; });
    Between(roms);
    EXPECT_EQ(walks, 2) << "a pass in which every reading failed";
}

}  // namespace
}  // namespace kv
