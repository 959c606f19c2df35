// A bus session through the simulator and the simulated clock, under the window's policy and
// the probe's: what it tells its owner, what its list and readings hold, how long it waits,
// what a request cuts, and how it loses its port and gets it back.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/thermometer_family.h"
#include "runtime/utf.h"
#include "serial/serial_port.h"
#include "session/bus_session.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"
#include "tests/sim/faulty_port.h"

namespace kv {
namespace {

constexpr char16_t Port[] = u"SESSION";

// Every event as a word and what it carries, and the readings.
class Recorder final : public SessionEvents {
  public:
    std::vector<std::string> events;
    std::vector<std::pair<int32_t, Reading>> readings;

    bool saw(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

  private:
    void add(std::string event) { events.push_back(std::move(event)); }
    void portOpened(std::u16string_view name) override { add("opened " + Utf8FromUtf16(name)); }
    void portNotOpened(std::u16string_view name) override {
        add("not opened " + Utf8FromUtf16(name));
    }
    void portLost(std::u16string_view name) override { add("lost " + Utf8FromUtf16(name)); }
    void portStillAway(RecoveryAttempt attempt, std::u16string_view) override {
        add(attempt == RecoveryAttempt::Busy ? "busy" : "absent");
    }
    void portBack(std::u16string_view, std::u16string_view name) override {
        add("back " + Utf8FromUtf16(name));
    }
    void searching() override { add("searching"); }
    void searched(const Enumeration& found) override {
        add("searched " + std::to_string(found.codes.size()));
    }
    void listChanged(int32_t added) override { add("changed +" + std::to_string(added)); }
    void sensorLost(int32_t index) override { add("sensor lost " + std::to_string(index)); }
    void passStarted() override { add("pass"); }
    void passFailed(int32_t result) override { add("failed " + OneWireResultLabel(result)); }
    void readingsStopped() override { add("stopped"); }
    void readingJudged(int32_t index, const Reading& reading) override {
        readings.emplace_back(index, reading);
    }
};

class Session : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override { SimRegisterBus(Port, bus); }
    void TearDown() override {
        session.reset();
        SerialCloseAll();
        currentPort = PortNone;
        SerialUnregisterVirtualPort(Port);
    }
    bool window() const { return GetParam(); }
    // The window's policy, or the probe's; requests as the test sets them.
    void make() {
        SessionPolicy policy;
        policy.port = window() ? PortCurrent : PortDynamic;
        policy.conversionWait = window() ? ConversionWait::Full : ConversionWait::ByResolution;
        policy.idleBeforeBusAttempt = window() ? 10 : 1;
        policy.stopEndsPass = window();
        policy.stopAsked = [this] {
            return MillisecondClock() >= stopAt || events.readings.size() >= stopAfterReadings;
        };
        policy.changeAsked = [this] { return MillisecondClock() >= changeAt; };
        session = std::make_unique<BusSession>(events, std::move(policy), statistics);
    }
    // A pass from the first device, as the probe makes them; its readings.
    std::vector<Reading> pass() {
        events.readings.clear();
        EXPECT_EQ(session->measureFromStart(), PassStep::Ended);
        std::vector<Reading> out;
        for (const auto& [index, reading] : events.readings) out.push_back(reading);
        return out;
    }
    // A pass and the search steps due after it, a second apart.
    void passAndGap() {
        clock.advanceMilliseconds(100);
        session->measureFromStart();
        session->passEnded(true);
        session->searchBetweenPasses(1'000);
    }
    // Passes and gaps until the condition holds; false when it did not within `passes`.
    bool passUntil(const std::function<bool()>& done, int passes) {
        for (int i = 0; i < passes && !done(); ++i) passAndGap();
        return done();
    }

    SimClock clock;
    ScopedTimeSource time{&clock};
    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>(5);
    Recorder events;
    SessionStatistics statistics;
    int64_t stopAt = INT64_MAX, changeAt = INT64_MAX;
    size_t stopAfterReadings = SIZE_MAX;
    std::unique_ptr<BusSession> session;
};

const RomCode B20a = SimMakeRom(0x28, 0x0A01), B20b = SimMakeRom(0x28, 0x0B02),
              S20 = SimMakeRom(0x10, 0x0C03), Other = SimMakeRom(0x01, 0x0D04);

TEST_P(Session, OpensSearchesAsksPowersAndReadsEveryThermometerInListOrder) {
    bus->addThermometer(B20a, 21.5);
    bus->addThermometer(S20, -0.5, /*parasite=*/true);
    bus->addDevice(Other);
    make();
    EXPECT_FALSE(session->waitingForPort());
    ASSERT_TRUE(session->open(Port));
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"opened SESSION", "searching", "searched 3"}));
    ASSERT_EQ(session->deviceCount(), 3);
    EXPECT_TRUE(session->listWhole());
    EXPECT_EQ(statistics.deviceCount, 3);
    for (const SensorRecord& record : session->list().records()) {
        EXPECT_EQ(record.Power, record.Rom == S20 ? SensorRecord::Supply::Parasite
                                                  : SensorRecord::Supply::External);
    }
    const std::vector<Reading> readings = pass();
    ASSERT_EQ(readings.size(), 2u);
    for (size_t i = 0; i < readings.size(); ++i) {
        EXPECT_EQ(readings[i].verdict, Verdict::Ok);
        EXPECT_EQ(session->list().at(events.readings[i].first).Rom, readings[i].rom);
        if (i > 0) {
            EXPECT_GT(events.readings[i].first, events.readings[i - 1].first);
        }
    }
    EXPECT_TRUE(session->list().at(0).Answered);
    EXPECT_EQ(statistics.okReadings, 2u);
    EXPECT_EQ(std::count(events.events.begin(), events.events.end(), "pass"), 1);

    EXPECT_FALSE(session->open(u"NOSUCHPORT"));
    EXPECT_TRUE(events.saw("not opened NOSUCHPORT"));
    EXPECT_EQ(session->deviceCount(), 0);
    EXPECT_TRUE(session->waitingForPort()) << "a port that was not there is awaited";
}

// The window waits the full conversion time whatever the parts; the probe as long as the
// slowest thermometer needs at the resolution the session gave it.
TEST_P(Session, TheConversionWaitIsThePolicys) {
    bus->addThermometer(B20a, 20.0);
    bus->addThermometer(B20b, 20.0);
    make();
    ASSERT_TRUE(session->open(Port));
    session->setResolution(10, false);
    for (const SensorRecord& record : session->list().records()) EXPECT_EQ(record.Resolution, 10);
    const int64_t start = MillisecondClock();
    EXPECT_EQ(pass().size(), 2u);
    const int64_t took = MillisecondClock() - start;
    const int64_t wait = window() ? FullConversionWaitMs : 200;
    EXPECT_GE(took, wait);
    EXPECT_LT(took, wait + 100);
}

// A stop in the conversion wait ends the pass with nothing read; a port change ends the wait
// and the readings follow at once; a stop after the wait ends the window's pass at the next
// device, while the probe's pass is finished.
TEST_P(Session, RequestsCutWaitsAndPasses) {
    for (uint64_t i = 1; i <= 3; ++i) bus->addThermometer(SimMakeRom(0x28, i), 20.0);
    make();
    ASSERT_TRUE(session->open(Port));
    ASSERT_EQ(pass().size(), 3u);  // no power-on values left to confirm
    stopAt = MillisecondClock() + 250;
    events.readings.clear();
    EXPECT_EQ(session->measureFromStart(), PassStep::CutShort);
    EXPECT_TRUE(events.readings.empty());
    EXPECT_LT(MillisecondClock() - stopAt, LoopSleepMs + 10);

    stopAt = INT64_MAX;
    changeAt = MillisecondClock() + 250;
    const int64_t start = MillisecondClock();
    events.readings.clear();
    EXPECT_EQ(session->measureFromStart(), PassStep::Ended) << "a short pass finishes";
    EXPECT_EQ(events.readings.size(), 3u);
    EXPECT_LT(MillisecondClock() - start, 400);

    changeAt = INT64_MAX;
    stopAfterReadings = 1;
    events.readings.clear();
    EXPECT_EQ(session->measureFromStart(), window() ? PassStep::CutShort : PassStep::Ended);
    EXPECT_EQ(events.readings.size(), window() ? 1u : 3u);
}

// A thermometer pulled out is marked by the search its failing readings ask for, and stays
// listed; back, its next reading clears the mark. The others are read on.
TEST_P(Session, ASensorThatStopsAnsweringIsMarkedLostAndItsReadingBringsItBack) {
    bus->addThermometer(B20a, 20.0);
    auto gone = bus->addThermometer(B20b, 21.0);
    make();
    ASSERT_TRUE(session->open(Port));
    ASSERT_EQ(pass().size(), 2u);
    const int32_t index = session->list().at(0).Rom == B20b ? 0 : 1;
    ASSERT_TRUE(bus->unplug(B20b));
    const std::string lost = "sensor lost " + std::to_string(index);
    ASSERT_TRUE(passUntil([&] { return events.saw(lost); }, 4)) << "marked within a few passes";
    EXPECT_EQ(session->list().count(), 2);
    EXPECT_NE(session->list().at(index).Flags & NotAnswering, 0);
    EXPECT_EQ(statistics.searches, 1u);

    bus->plug(gone);
    const std::vector<Reading> readings = pass();
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_TRUE(
        std::all_of(readings.begin(), readings.end(), [](const Reading& r) { return r.ok(); }));
    EXPECT_EQ(session->list().at(index).Flags, 0);
}

// A read that fails is read again before it counts: a sensor whose every first read of a
// pass is lost gives sound readings and asks for no search; without the second read, two
// passes in a row would.
TEST_P(Session, AFailedReadIsReadAgainBeforeItCountsTowardASearch) {
    SerialUnregisterVirtualPort(Port);
    bus->addThermometer(B20a, 20.0);
    const std::vector<uint8_t> read = test::SlotBytes(0xBE);
    auto lose = std::make_shared<std::atomic<bool>>(false);
    test::RegisterFaultyPort(Port, bus, [=](const auto&, const uint8_t* data, int count) {
        constexpr int CommandAt = 9 * 8;  // Match ROM and the code go first
        const bool isRead =
            count > CommandAt + 8 && std::equal(read.begin(), read.end(), data + CommandAt);
        return isRead && lose->exchange(false);
    });
    make();
    ASSERT_TRUE(session->open(Port));
    for (int i = 0; i < 3; ++i) {
        *lose = true;
        passAndGap();
    }
    EXPECT_EQ(statistics.retries, 3u);
    EXPECT_EQ(statistics.okReadings, 3u);
    EXPECT_EQ(statistics.readFailures, 0u);
    EXPECT_EQ(statistics.searches, 0u);
}

// The adapter pulled out: the pass start fails, the port is closed and tried again about
// once a second; back, it is searched and read.
TEST_P(Session, APortWhoseDeviceHasGoneIsOpenedAgainWhenItIsBack) {
    bus->addThermometer(B20a, 20.0);
    make();
    ASSERT_TRUE(session->open(Port));
    SerialUnregisterVirtualPort(Port);
    ASSERT_EQ(session->measureFromStart(), PassStep::StartFailed);
    session->startFailed();
    EXPECT_TRUE(events.saw("lost SESSION"));
    EXPECT_TRUE(session->waitingForPort());
    EXPECT_EQ(session->deviceCount(), 0);
    events.events.clear();
    EXPECT_FALSE(session->recover()) << "the first attempt comes a second later";
    clock.advanceMilliseconds(PortRecoveryIntervalMs);
    EXPECT_FALSE(session->recover());
    EXPECT_EQ(events.events, (std::vector<std::string>{"absent"}));

    SimRegisterBus(Port, bus);
    changeAt = MillisecondClock();
    clock.advanceMilliseconds(PortRecoveryIntervalMs);
    EXPECT_FALSE(session->recover()) << "a port change asked for makes no attempt";
    changeAt = INT64_MAX;
    ASSERT_TRUE(session->recover());
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"absent", "back SESSION", "searching", "searched 1"}));
    EXPECT_EQ(session->deviceCount(), 1);
    ASSERT_EQ(pass().size(), 1u);
    EXPECT_TRUE(events.readings[0].second.ok());
}

// A bus that stops answering: the failed pass start is told and the readings stop once; the
// bus is tried again at the policy's idle call (the window's tenth, the probe's every one),
// which finds nobody; once the sensors answer again, the next try searches and lists them.
TEST_P(Session, ABusThatStopsAnsweringIsTriedAgainAtThePolicysPace) {
    auto a = bus->addThermometer(B20a, 20.0);
    auto b = bus->addThermometer(B20b, 20.0);
    make();
    ASSERT_TRUE(session->open(Port));
    bus->unplug(B20a);
    bus->unplug(B20b);
    events.events.clear();
    ASSERT_EQ(session->measureFromStart(), PassStep::StartFailed);
    session->startFailed();
    const int32_t pace = window() ? 10 : 1;
    for (int32_t call = 1; call < pace; ++call) session->idle();
    EXPECT_EQ(session->deviceCount(), 0);
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"failed " + OneWireResultLabel(NoResponse), "stopped"}));
    EXPECT_EQ(statistics.busFailures, 1u);

    bus->plug(a);
    bus->plug(b);
    for (int32_t call = 1; call < pace; ++call) session->idle();
    EXPECT_EQ(session->deviceCount(), 0) << "not yet tried";
    session->idle();
    EXPECT_EQ(session->deviceCount(), 2);
    EXPECT_TRUE(events.saw("searched 2"));
    EXPECT_EQ(pass().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Policies, Session, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Window" : "Probe"; });

}  // namespace
}  // namespace kv
