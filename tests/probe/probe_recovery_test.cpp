// A probe that runs for good (--every) while its adapter goes away and comes back and its
// sensors are unplugged, publishing to a real mosquitto on 127.0.0.1: it reads again as soon
// as the port is back, and what the broker holds is never older than the last sound reading.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "../sim/sim_test_support.h"
#include "mqtt_broker.h"
#include "probe/outputs.h"
#include "probe/probe_run.h"
#include "probe/stop_signal.h"
#include "probe_fixture.h"
#include "sim/posix/pty_server.h"
#include "tests/serial/posix/device_folder.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
using test::Hex;
using test::MqttMessage;

constexpr char Prefix[] = "cellar";
constexpr char Node[] = "pi";
// Far above what a reconnection takes (about a second, and a search); a broker that
// restarts is tried again after 1, 2, 4 ... s.
constexpr auto BackLimit = 30s;
constexpr auto Settle = 500ms;

std::string Topic(const RomCode& rom, const char* leaf) {
    return std::string(Prefix) + "/" + Hex(rom) + "/" + leaf;
}
const std::string Status = std::string(Prefix) + "/" + Node + "/status";

auto Is(const std::string& topic, const std::string& payload) {
    return [=](const MqttMessage& m) { return m.topic == topic && m.payload == payload; };
}

class ProbeRecovery : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::MosquittoInstalled()) GTEST_SKIP() << test::MosquittoMissing;
        ASSERT_TRUE(broker.start()) << "the test broker did not start";
        char pattern[] = "/tmp/kv-recovery-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        ASSERT_TRUE(live.connect(broker.port()));
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // What a subscriber that comes now is given: the retained payloads, by topic.
    std::map<std::string, std::string> retained() {
        std::map<std::string, std::string> byTopic;
        for (const auto& [topic, m] : test::RetainedMessages(broker.port()))
            byTopic[topic] = m.payload;
        return byTopic;
    }

    // What the probe run as a program said on its standard error.
    std::string ProbeMessages() {
        return "probe messages:\n" + test::FileText(folder + "/messages.txt");
    }

    // The values published on a sensor's temperature topic from message `from` on.
    std::vector<std::string> published(const RomCode& rom, size_t from = 0) {
        std::vector<std::string> values;
        const auto all = live.messages();
        for (size_t i = from; i < all.size(); ++i)
            if (all[i].topic == Topic(rom, "temperature")) values.push_back(all[i].payload);
        return values;
    }

    test::MqttBroker broker;
    test::MqttSubscriber live;
    std::string folder;
};

// kalorivox-simpty serving two thermometers behind a link is killed (the terminal hangs up
// under the probe) and started again on the same link, its sensor now warmer.
TEST_F(ProbeRecovery, ServerKilledAndStartedAgainOnTheSameLink) {
    const RomCode a = SimMakeRom(0x28, 0x0417A3C41EFF), b = SimMakeRom(0x28, 0x0316B2A07C5E);
    const std::string link = folder + "/bus", records = folder + "/records.csv";
    auto serve = [&](const char* celsiusOfA) {
        return test::StartProgram(
            {KV_SIMPTY_PATH, "--ds18b20", Hex(a).substr(0, 14) + ":" + celsiusOfA, "--ds18b20",
             Hex(b).substr(0, 14) + ":-3.25", "--link", link},
            test::ProbeHangLimit);
    };
    auto server = serve("21.5");
    ASSERT_EQ(server.firstLine.rfind("/dev/", 0), 0u) << server.firstLine;
    auto probe =
        test::StartProgramWithOutput({KV_PROBE_PATH, "--every", "1", "--format", "csv", "--mqtt",
                                      broker.address(), "--topic", Prefix, "--node", Node, link},
                                     records, folder + "/messages.txt");
    ASSERT_TRUE(live.waitFor(Is(Topic(a, "temperature"), "21.5"), test::ProbeHangLimit));

    // Pulled out: the node goes with the device, so that nothing else that comes to have the
    // terminal's number is taken for it.
    std::filesystem::remove(link);
    ::kill(server.pid, SIGKILL);
    test::StopProgram(server);
    EXPECT_TRUE(live.waitFor(Is(Status, "port-lost"), BackLimit));
    // Both go unavailable and their retained values are withdrawn at once.
    for (const RomCode& rom : {a, b}) {
        EXPECT_TRUE(live.waitFor(Is(Topic(rom, "availability"), "offline"), 5s)) << Hex(rom);
        EXPECT_TRUE(live.waitFor(Is(Topic(rom, "temperature"), ""), 5s)) << Hex(rom);
    }
    const size_t lostAt = live.messages().size();
    std::this_thread::sleep_for(3s);  // attempts on a link that leads nowhere
    EXPECT_EQ(retained().count(Topic(a, "temperature")), 0u) << "no value while the port is gone";

    auto again = serve("22.75");
    ASSERT_EQ(again.firstLine.rfind("/dev/", 0), 0u) << again.firstLine;
    ASSERT_TRUE(live.waitFor(Is(Topic(a, "temperature"), "22.75"), BackLimit)) << ProbeMessages();
    EXPECT_TRUE(live.waitFor(Is(Status, "online"), 5s));
    const auto afterLoss = published(a, lostAt);
    EXPECT_EQ(std::count(afterLoss.begin(), afterLoss.end(), "21.5"), 0)
        << "the old value never comes back";
    const auto kept = retained();
    EXPECT_EQ(kept.at(Status), "online");
    EXPECT_EQ(kept.at(Topic(a, "availability")), "online");
    EXPECT_EQ(kept.at(Topic(a, "temperature")), "22.75");
    EXPECT_EQ(kept.at(Topic(b, "temperature")), "-3.25");

    EXPECT_EQ(test::StopProgram(probe), 0);
    EXPECT_TRUE(live.waitFor(Is(Status, "offline"), 5s));
    // The records: one header, then sound readings before the loss and after the return.
    std::ifstream file(records);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), lines[0]), 1) << "one header line";
    auto recordsOf = [&](const std::string& celsius) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(RomCodeText(a) + ",DS18B20,external,12," + celsius + ",ok") !=
                   std::string::npos;
        });
    };
    EXPECT_GT(recordsOf("21.5"), 0);
    EXPECT_GT(recordsOf("22.75"), 0);
    test::StopProgram(again);
}

// In this process, with a device folder of the test's own: the adapter behind ttyUSB0 comes
// back as ttyUSB1 and is followed through its stable identity; a sensor unplugged goes
// unavailable and stays without a value across a broker restart; it is back with its
// first sound reading.
TEST_F(ProbeRecovery, FollowsTheAdapterToAnotherNameAndNeverRepublishesAGoneSensor) {
    test::DeviceFolder devices;
    const std::string identity = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const RomCode a = SimMakeRom(0x28, 0x0417A3C41EFF), b = SimMakeRom(0x10, 0x0008021B6F3A);
    auto bus = std::make_shared<SimBus>();
    bus->setPowerSensing(false);
    bus->addThermometer(a, 20.5);
    auto sensorB = bus->addThermometer(b, 30.0);
    auto first = std::make_unique<PtyServer>(bus);
    ASSERT_TRUE(first->open() && first->start());
    ASSERT_TRUE(devices.addNode("ttyUSB0", first->slavePath()));
    ASSERT_TRUE(devices.addIdentity(identity, "ttyUSB0"));

    probe::Options options;
    std::string error;
    const char* argv[] = {"kalorivox-probe", "--every", "1",      "--mqtt", nullptr,
                          "--topic",         Prefix,    "--node", Node,     "ttyUSB0"};
    const std::string address = broker.address();
    argv[4] = address.c_str();
    ASSERT_TRUE(probe::ParseOptions(10, argv, options, error)) << error;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> records(std::tmpfile(), std::fclose);
    probe::ProbeOutputs outputs(options, records.get());
    ASSERT_TRUE(outputs.prepare(error)) << error;
    probe::SetStopRequested(false);
    int status = -1;
    std::thread run([&] { status = probe::RunProbe(options, outputs); });
    // A failed assertion ends the test here: the run is stopped and waited for all the same.
    struct Joined {
        std::thread& run;
        ~Joined() {
            probe::SetStopRequested(true);
            if (run.joinable()) run.join();
            probe::SetStopRequested(false);
        }
    } joined{run};

    ASSERT_TRUE(live.waitFor(Is(Topic(b, "temperature"), "30"), test::ProbeHangLimit));
    bus->unplug(b);
    ASSERT_TRUE(live.waitFor(Is(Topic(b, "availability"), "offline"), BackLimit));
    EXPECT_TRUE(live.waitFor(Is(Topic(b, "temperature"), ""), 5s));
    EXPECT_EQ(retained().count(Topic(b, "temperature")), 0u);

    // A broker that restarts has lost everything: the probe gives it the configs and the
    // availabilities again, but no value of the sensor that is gone.
    broker.stop();
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(broker.start());
    test::MqttSubscriber after;
    ASSERT_TRUE(after.connect(broker.port()));
    ASSERT_TRUE(after.waitFor(Is(Topic(a, "temperature"), "20.5"), BackLimit));
    after.settle(Settle, 5s);
    for (const MqttMessage& m : after.messages())
        EXPECT_FALSE(m.topic == Topic(b, "temperature") && !m.payload.empty()) << m.payload;
    auto kept = retained();
    EXPECT_EQ(kept.at(Topic(b, "availability")), "offline");
    EXPECT_EQ(kept.count("homeassistant/sensor/kalorivox_" + Hex(b) + "/config"), 1u);

    // Pulled out (its links go with it); back as ttyUSB1 with the sensor plugged in again.
    devices.removeIdentity(identity);
    devices.removeNode("ttyUSB0");
    first.reset();
    ASSERT_TRUE(after.waitFor(Is(Status, "port-lost"), BackLimit));
    bus->plug(sensorB);
    auto second = std::make_unique<PtyServer>(bus);
    ASSERT_TRUE(second->open() && second->start());
    ASSERT_TRUE(devices.addNode("ttyUSB1", second->slavePath()));
    ASSERT_TRUE(devices.addIdentity(identity, "ttyUSB1"));
    ASSERT_TRUE(after.waitFor(Is(Topic(b, "temperature"), "30"), BackLimit));
    kept = retained();
    EXPECT_EQ(kept.at(Status), "online");
    EXPECT_EQ(kept.at(Topic(b, "availability")), "online");

    probe::SetStopRequested(true);
    run.join();
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(after.waitFor(Is(Status, "offline"), 5s));
}

}  // namespace
}  // namespace kv
