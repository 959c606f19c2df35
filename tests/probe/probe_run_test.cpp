// The probe's run in this process on a simulated bus and the simulated clock, so that minutes
// of running take a moment: sensors added while it runs are found on the window's schedule
// and read from then on, and an adapter pulled out is read again within about a second of
// its return, with no pass lost while the bus was up.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "probe/outputs.h"
#include "probe/probe_run.h"
#include "probe/stop_signal.h"
#include "serial/serial_device.h"
#include "session/port_recovery.h"
#include "session/search_schedule.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"
#include "tests/probe/probe_fixture.h"

namespace kv {
namespace {

using test::Hex;
constexpr char16_t Port[] = u"PROBERUN";
// Real time for a minute of the simulated clock at the pace set below is about a second.
constexpr auto RealLimit = std::chrono::seconds(60);

class ProbeRun : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.setRealPauseMicroseconds(1'000);  // a 100 ms sleep takes 1 ms: 100 times as fast
        bus->addThermometer(a, 21.5);
        bus->addThermometer(b, 19.0, /*parasite=*/true);
        SimRegisterBus(Port, bus);
        const char* argv[] = {"kalorivox-probe", "--every", "1", "--format", "tsv", "PROBERUN"};
        std::string error;
        ASSERT_TRUE(probe::ParseOptions(6, argv, options, error)) << error;
        records = std::tmpfile();
        outputs = std::make_unique<probe::ProbeOutputs>(options, records);
        probe::SetStopRequested(false);
        run = std::thread([this] { status = probe::RunProbe(options, *outputs); });
    }
    void TearDown() override {
        probe::SetStopRequested(true);
        if (run.joinable()) run.join();
        probe::SetStopRequested(false);
        SerialUnregisterVirtualPort(Port);
        std::fclose(records);
    }

    std::string recordsText() {
        std::fflush(records);
        std::rewind(records);
        std::string text;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, records)) > 0;)
            text.append(buffer, n);
        std::fseek(records, 0, SEEK_END);
        return text;
    }
    // Sound records of a sensor so far.
    int soundRecords(const RomCode& rom) {
        const std::string text = recordsText(), mark = "\t" + RomCodeText(rom) + "\t";
        int count = 0;
        for (size_t at = 0; (at = text.find(mark, at)) != std::string::npos; ++at) {
            const size_t end = text.find('\n', at);
            count += text.compare(end - 3, 3, "\tok") == 0;
        }
        return count;
    }
    // Waits, in real time, until the condition holds; the simulated milliseconds it took.
    int64_t msUntil(const std::function<bool()>& condition) {
        const int64_t start = MillisecondClock();
        const auto limit = std::chrono::steady_clock::now() + RealLimit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > limit) {
                ADD_FAILURE() << "not within " << RealLimit.count() << " s of real time";
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return MillisecondClock() - start;
    }

    SimClock clock;
    ScopedTimeSource time{&clock};
    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>(3);
    const RomCode a = SimMakeRom(0x28, 0x0417A3C41EFF), b = SimMakeRom(0x10, 0x0008021B6F3A),
                  c = SimMakeRom(0x28, 0x0316B2A07C5E);
    probe::Options options;
    std::FILE* records = nullptr;
    std::unique_ptr<probe::ProbeOutputs> outputs;
    std::thread run;
    int status = -1;
};

TEST_F(ProbeRun, ASensorAddedWhileRunningIsFoundAndRead) {
    ASSERT_GE(msUntil([&] { return soundRecords(a) > 0; }), 0);
    bus->addThermometer(c, 30.0);
    // The periodic search comes a minute after the last one; the walk then takes a few gaps.
    const int64_t found = msUntil([&] { return soundRecords(c) > 0; });
    EXPECT_GT(found, 0);
    EXPECT_LE(found, WalkPeriodMs + 10'000);
    // Unplugged again: it stays listed (its records say it is gone), the others read on.
    const int before = soundRecords(a);
    bus->unplug(c);
    const int soundOfC = soundRecords(c);
    ASSERT_GE(msUntil([&] { return soundRecords(a) >= before + 100; }), 0);
    EXPECT_LE(soundRecords(c), soundOfC + 1);
    probe::SetStopRequested(true);
    run.join();
    EXPECT_EQ(status, 0);
}

TEST_F(ProbeRun, AnAdapterPulledOutIsReadAgainWithinAboutASecondOfItsReturn) {
    ASSERT_GE(msUntil([&] { return soundRecords(a) >= 3; }), 0);
    SerialUnregisterVirtualPort(Port);  // pulled out
    const int before = soundRecords(a);
    clock.waitUntilMicroseconds(clock.peekMicroseconds() + 20'000'000, RealLimit);
    EXPECT_LE(soundRecords(a), before + 1) << "at most the pass under way when it went";
    const int away = soundRecords(a);
    SimRegisterBus(Port, bus);  // back
    const int64_t back = msUntil([&] { return soundRecords(a) > away; });
    EXPECT_GT(back, 0);
    // An attempt a second, the open, the search and the conversion.
    EXPECT_LE(back, PortRecoveryIntervalMs + 2'000);
    // Passes a second apart from then on: none lost while the bus is up.
    const int64_t start = MillisecondClock();
    const int from = soundRecords(a);
    clock.waitUntilMicroseconds(clock.peekMicroseconds() + 30'000'000, RealLimit);
    const int64_t seconds = (MillisecondClock() - start) / 1000;
    EXPECT_GE(soundRecords(a) - from, seconds - 1);
    EXPECT_EQ(soundRecords(a), soundRecords(b)) << "every pass reads both";
}

}  // namespace
}  // namespace kv
