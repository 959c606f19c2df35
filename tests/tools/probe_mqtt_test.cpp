// The probe publishing to a real mosquitto broker on a loopback port: what a Home Assistant
// installation would find there, the last will of a probe that was killed, and the way back
// after the broker restarts.
#include <signal.h>

#include <map>

#include "../sim/sim_test_support.h"
#include "mqtt_broker.h"
#include "probe_fixture.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
using test::Hex;
using test::MqttMessage;

// Time for the broker to hand over what it retains, and for a probe to reconnect after its
// back-off (1, 2, 4 s...).
constexpr auto Settle = 500ms;
constexpr auto RetainedLimit = 5s;
constexpr auto ReconnectLimit = 30s;
constexpr char Prefix[] = "house/cellar";

std::string ConfigFor(const RomCode& rom, const char* family) {
    const std::string hex = Hex(rom);
    return std::string("{\"name\":\"") + family + " " + hex + "\",\"unique_id\":\"kalorivox_" +
           hex + "\",\"state_topic\":\"" + Prefix + "/" + hex +
           "/temperature\",\"device_class\":\"temperature\",\"state_class\":\"measurement\","
           "\"unit_of_measurement\":\"°C\",\"availability_topic\":\"" +
           Prefix + "/status\"}";
}

class ProbeMqtt : public test::ProbeOnPty {
  protected:
    void SetUp() override {
        if (!test::MosquittoInstalled())
            GTEST_SKIP() << "mosquitto is not installed at " << test::MosquittoPath
                         << " (bash tools/setup.sh installs it)";
        ASSERT_TRUE(broker.start()) << "the test broker did not start";
    }

    // What a subscriber that comes now is given: the retained messages, by topic.
    std::map<std::string, MqttMessage> retained() {
        test::MqttSubscriber late;
        EXPECT_TRUE(late.connect(broker.port()));
        late.settle(Settle, RetainedLimit);
        std::map<std::string, MqttMessage> byTopic;
        for (const MqttMessage& m : late.messages()) byTopic[m.topic] = m;
        return byTopic;
    }

    std::vector<std::string> mqttArgs(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"--mqtt", broker.address(), "--topic", Prefix};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    test::MqttBroker broker;
};

static auto Is(const std::string& topic, const std::string& payload) {
    return [=](const MqttMessage& m) { return m.topic == topic && m.payload == payload; };
}

// Both families, a sensor whose scratchpad fails its CRC, a device whose ROM code fails its
// CRC, and a device that is no thermometer: only sound readings and sound thermometers go
// out, every one of them retained.
TEST_F(ProbeMqtt, PublishesExactlyTheCheckedReadingsRetained) {
    const RomCode warm = SimMakeRom(0x28, 0x0417A3C41EFF), cold = SimMakeRom(0x28, 0x0316B2A07C5E),
                  hot = SimMakeRom(0x28, 0x0000075A91D4), older = SimMakeRom(0x10, 0x0008021B6F3A),
                  spoilt = SimMakeRom(0x28, 0x00000000BEEF), other = SimMakeRom(0x01, 0x0D4C22A1);
    RomCode badRom = SimMakeRom(0x28, 0x0000001234AB);
    badRom[7] ^= 0x01;
    bus->addThermometer(warm, 21.5);
    bus->addThermometer(cold, -0.25);
    bus->addThermometer(hot, 85.0, /*parasite=*/true);
    bus->addThermometer(older, -10.5);
    bus->addThermometer(spoilt, 30.0)->setCorruptScratchpadCrc(true);
    bus->addThermometer(badRom, 22.0);
    bus->addDevice(other);

    test::MqttSubscriber live;
    ASSERT_TRUE(live.connect(broker.port()));
    const auto run = probe(mqttArgs({"--count", "2", "--every", "1"}));
    EXPECT_EQ(run.status, 0) << run.err;

    const std::string status = std::string(Prefix) + "/status";
    auto reading = [](const RomCode& rom) {
        return std::string(Prefix) + "/" + Hex(rom) + "/temperature";
    };
    auto config = [](const RomCode& rom) {
        return "homeassistant/sensor/kalorivox_" + Hex(rom) + "/config";
    };
    const std::map<std::string, std::string> expected = {
        {status, "offline"},
        {reading(warm), "21.5"},
        {reading(cold), "-0.25"},
        {reading(hot), "85"},
        {reading(older), "-10.5"},
        {config(warm), ConfigFor(warm, "DS18B20")},
        {config(cold), ConfigFor(cold, "DS18B20")},
        {config(hot), ConfigFor(hot, "DS18B20")},
        {config(older), ConfigFor(older, "DS18S20")},
        {config(spoilt), ConfigFor(spoilt, "DS18B20")},
    };
    std::map<std::string, std::string> got;
    for (const auto& [topic, m] : retained()) {
        EXPECT_TRUE(m.retained) << topic;
        got[topic] = m.payload;
    }
    EXPECT_EQ(got, expected);

    // While it ran the probe said it was online, and it published each reading once a pass;
    // nothing at all about the spoilt sensor's readings or the device with the bad ROM code.
    live.settle(Settle, RetainedLimit);
    const auto seen = live.messages();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().topic, status);
    EXPECT_EQ(seen.front().payload, "online");
    EXPECT_EQ(seen.back().topic, status);
    EXPECT_EQ(seen.back().payload, "offline");
    std::map<std::string, int> published;
    for (const MqttMessage& m : seen) {
        ++published[m.topic];
        EXPECT_EQ(m.topic.find(Hex(badRom)), std::string::npos) << m.topic;
        EXPECT_NE(m.topic, reading(spoilt));
    }
    EXPECT_EQ(published[reading(warm)], 2);
    EXPECT_EQ(published[reading(older)], 2);
    EXPECT_EQ(published[config(warm)], 1);
    EXPECT_EQ(published[status], 2);
}

TEST_F(ProbeMqtt, KilledProbeLeavesItsLastWill) {
    const RomCode rom = SimMakeRom(0x28, 0x0417A3C41EFF);
    bus->addThermometer(rom, 19.0);
    test::MqttSubscriber live;
    ASSERT_TRUE(live.connect(broker.port()));
    auto probe = startProbe(mqttArgs({"--every", "1", "--format", "tsv"}));
    const std::string status = std::string(Prefix) + "/status";
    ASSERT_TRUE(live.waitFor(Is(std::string(Prefix) + "/" + Hex(rom) + "/temperature", "19"),
                             test::ProbeHangLimit))
        << "no reading from the probe";
    live.clear();
    ::kill(probe.pid, SIGKILL);
    EXPECT_TRUE(live.waitFor(Is(status, "offline"), RetainedLimit));
    EXPECT_EQ(retained()[status].payload, "offline");
}

TEST_F(ProbeMqtt, ComesBackAfterTheBrokerRestarts) {
    const RomCode rom = SimMakeRom(0x10, 0x0008021B6F3A);
    bus->addThermometer(rom, 24.5);
    auto probe = startProbe(mqttArgs({"--every", "1", "--format", "tsv"}));
    const std::string topic = std::string(Prefix) + "/" + Hex(rom) + "/temperature";
    {
        test::MqttSubscriber live;
        ASSERT_TRUE(live.connect(broker.port()));
        ASSERT_TRUE(live.waitFor(Is(topic, "24.5"), test::ProbeHangLimit));
    }
    // The broker keeps nothing across the restart: everything must be published anew.
    broker.stop();
    bus->device(rom)->setTemperature(25.0);
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(broker.start());
    test::MqttSubscriber live;
    ASSERT_TRUE(live.connect(broker.port()));
    EXPECT_TRUE(live.waitFor(Is(topic, "25"), ReconnectLimit));
    const auto kept = retained();
    EXPECT_EQ(kept.count(std::string(Prefix) + "/status")
                  ? kept.at(std::string(Prefix) + "/status").payload
                  : "",
              "online");
    EXPECT_EQ(kept.count("homeassistant/sensor/kalorivox_" + Hex(rom) + "/config"), 1u);
    EXPECT_EQ(test::StopProgram(probe), 0);
    EXPECT_TRUE(live.waitFor(Is(std::string(Prefix) + "/status", "offline"), RetainedLimit));
}

TEST(ProbeMqttCommand, RefusesUnusableBrokerSettings) {
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--mqtt", "host:0", "DEMO"},
          {"--mqtt", "host:", "DEMO"},
          {"--mqtt", "::1", "DEMO"},
          {"--mqtt", "host", "--topic", "a/#", "DEMO"},
          {"--mqtt", "host", "--topic", "/a", "DEMO"},
          {"--mqtt-user", "me", "DEMO"},
          {"--mqtt", "host", "--mqtt-password-file", "/nonexistent", "DEMO"},
          {"--mqtt", "host", "--mqtt-user", "me", "--mqtt-password-file",
           "/nonexistent/kalorivox-password", "DEMO"}}) {
        std::vector<std::string> args = {KV_PROBE_PATH};
        args.insert(args.end(), bad.begin(), bad.end());
        const auto run = test::RunProgram(args, test::ProbeHangLimit);
        EXPECT_EQ(run.status, 1) << bad[1];
        EXPECT_EQ(run.out, "") << bad[1];
        EXPECT_NE(run.err.find("kalorivox-probe: "), std::string::npos) << bad[1];
    }
}

}  // namespace
}  // namespace kv
