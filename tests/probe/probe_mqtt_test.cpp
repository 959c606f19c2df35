// The probe publishing to a real mosquitto broker on a loopback port: what a Home Assistant
// installation would find there, the last will of a probe that was killed, and the way back
// after the broker restarts.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "../sim/sim_test_support.h"
#include "mqtt_broker.h"
#include "probe_fixture.h"
#include "tests/runtime/posix/small_file_system.h"

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
constexpr char Node[] = "boiler";

// The parts of a thermometer's discovery config that Home Assistant acts on.
std::vector<std::string> ConfigParts(const RomCode& rom, const std::string& model,
                                     const std::string& deviceName, int expireAfter) {
    const std::string hex = Hex(rom), prefix = Prefix;
    return {
        "\"name\":null",
        "\"unique_id\":\"kalorivox_" + hex + "\"",
        "\"state_topic\":\"" + prefix + "/" + hex + "/temperature\"",
        "\"device_class\":\"temperature\"",
        "\"unit_of_measurement\":\"°C\"",
        "\"availability_mode\":\"all\",\"availability\":[{\"topic\":\"" + prefix + "/" + Node +
            "/status\"},{\"topic\":\"" + prefix + "/" + hex + "/availability\"}]",
        "\"device\":{\"identifiers\":[\"kalorivox_" + hex + "\"],\"name\":\"" + deviceName +
            "\",\"model\":\"" + model + "\",\"manufacturer\":\"Maxim Integrated\"" +
            ",\"serial_number\":\"" + RomCodeText(rom) + "\"",
        "\"via_device\":\"house_cellar_boiler\"",
        "\"expire_after\":" + std::to_string(expireAfter),
    };
}

void ExpectConfig(const std::string& config, const std::vector<std::string>& parts) {
    for (const std::string& part : parts)
        EXPECT_NE(config.find(part), std::string::npos) << part << "\nin " << config;
}

class ProbeMqtt : public test::ProbeOnPty {
  protected:
    void SetUp() override {
        if (!test::MosquittoInstalled()) GTEST_SKIP() << test::MosquittoMissing;
        ASSERT_TRUE(broker.start()) << "the test broker did not start";
    }

    std::map<std::string, MqttMessage> retained() { return test::RetainedMessages(broker.port()); }

    std::vector<std::string> mqttArgs(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"--mqtt", broker.address(), "--topic",
                                         Prefix,   "--node",         Node};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    test::MqttBroker broker;
};

static auto Is(const std::string& topic, const std::string& payload) {
    return [=](const MqttMessage& m) { return m.topic == topic && m.payload == payload; };
}

// Both families, a sensor whose scratchpad fails its CRC, a device whose ROM code fails its
// CRC, and a device that is no thermometer: only sound readings go out, every one of them
// retained, and only a thermometer that gave one is announced, as a device of its own
// behind the adapter's device; a sensor named in the names file carries its name.
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
    char names[] = "/tmp/kv-names-XXXXXX";
    const int fd = ::mkstemp(names);
    ASSERT_GE(fd, 0);
    const std::string nameLines = "# the cellar\n" + Hex(warm) + " = Котёл \"подача\"\n";
    ASSERT_EQ(::write(fd, nameLines.data(), nameLines.size()), ssize_t(nameLines.size()));
    ::close(fd);

    test::MqttSubscriber live;
    ASSERT_TRUE(live.connect(broker.port()));
    const auto run = probe(mqttArgs({"--count", "2", "--every", "1", "--names", names}));
    ::unlink(names);
    EXPECT_EQ(run.status, 0) << run.err;

    const std::string status = std::string(Prefix) + "/" + Node + "/status";
    auto topic = [](const RomCode& rom, const char* leaf) {
        return std::string(Prefix) + "/" + Hex(rom) + "/" + leaf;
    };
    auto config = [](const RomCode& rom) {
        return "homeassistant/sensor/kalorivox_" + Hex(rom) + "/config";
    };
    const std::string adapter = "homeassistant/binary_sensor/house_cellar_boiler/config";
    std::map<std::string, std::string> got;
    for (const auto& [t, m] : retained()) {
        EXPECT_TRUE(m.retained) << t;
        got[t] = m.payload;
    }
    std::map<std::string, std::string> expected = {
        {status, "offline"},
        {std::string(Prefix) + "/" + Node + "/output", "ok"},
        {topic(warm, "temperature"), "21.5"},
        {topic(cold, "temperature"), "-0.25"},
        {topic(hot, "temperature"), "85"},
        {topic(older, "temperature"), "-10.5"},
    };
    for (const RomCode& rom : {warm, cold, hot, older}) {
        expected[topic(rom, "availability")] = "online";
        expected[config(rom)] = got[config(rom)];
    }
    expected[adapter] = got[adapter];
    EXPECT_EQ(got, expected);
    ExpectConfig(got[config(warm)], ConfigParts(warm, "DS18B20", "Котёл \\\"подача\\\"", 13));
    ExpectConfig(got[config(older)],
                 ConfigParts(older, "DS18S20", "DS18S20 " + RomCodeText(older), 13));
    EXPECT_NE(got[adapter].find("\"device_class\":\"connectivity\""), std::string::npos)
        << got[adapter];

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
        EXPECT_EQ(m.topic.find(Hex(spoilt)), std::string::npos) << m.topic;
    }
    EXPECT_EQ(published[topic(warm, "temperature")], 2);
    EXPECT_EQ(published[topic(older, "temperature")], 2);
    EXPECT_EQ(published[config(warm)], 1);
    EXPECT_EQ(published[status], 2);
}

TEST_F(ProbeMqtt, KilledProbeLeavesItsLastWill) {
    const RomCode rom = SimMakeRom(0x28, 0x0417A3C41EFF);
    bus->addThermometer(rom, 19.0);
    test::MqttSubscriber live;
    ASSERT_TRUE(live.connect(broker.port()));
    auto probe = startProbe(mqttArgs({"--every", "1", "--format", "tsv"}));
    const std::string status = std::string(Prefix) + "/" + Node + "/status";
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
    const std::string status = std::string(Prefix) + "/" + Node + "/status";
    EXPECT_EQ(kept.count(status) ? kept.at(status).payload : "", "online");
    EXPECT_EQ(kept.count("homeassistant/sensor/kalorivox_" + Hex(rom) + "/config"), 1u);
    EXPECT_EQ(test::StopProgram(probe), 0);
    EXPECT_TRUE(live.waitFor(Is(status, "offline"), RetainedLimit));
}

TEST(ProbeMqttCommand, RefusesUnusableBrokerSettings) {
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--mqtt", "127.0.0.1:0", "DEMO"},
          {"--mqtt", "127.0.0.1:", "DEMO"},
          {"--mqtt", "::1", "DEMO"},
          {"--mqtt", "127.0.0.1", "--topic", "a/#", "DEMO"},
          {"--mqtt", "127.0.0.1", "--topic", "/a", "DEMO"},
          {"--mqtt-user", "me", "DEMO"},
          {"--mqtt", "127.0.0.1", "--mqtt-password-file", "/nonexistent", "DEMO"},
          {"--mqtt", "127.0.0.1", "--mqtt-user", "me", "--mqtt-password-file",
           "/nonexistent/kalorivox-password", "DEMO"}}) {
        std::vector<std::string> args = {KV_PROBE_PATH};
        args.insert(args.end(), bad.begin(), bad.end());
        const auto run = test::RunProgram(args, test::ProbeHangLimit);
        EXPECT_EQ(run.status, 1) << bad[1];
        EXPECT_EQ(run.out, "") << bad[1];
        EXPECT_NE(run.err.find("kalorivox-probe: "), std::string::npos) << bad[1];
    }
}

// Two loggers with their default nodes on one broker, each with a bus of its own: when one
// is killed, its last will speaks for its own sensors only; the other's stay available.
TEST_F(ProbeMqtt, ManyLoggersOneBrokerEachSpeaksForItsOwnSensors) {
    const RomCode mine = SimMakeRom(0x28, 0x0417A3C41EFF),
                  theirs = SimMakeRom(0x28, 0x0316B2A07C5E);
    bus->addThermometer(mine, 19.0);
    auto otherBus = std::make_shared<SimBus>();
    otherBus->addThermometer(theirs, 7.5);
    PtyServer otherServer(otherBus);
    ASSERT_TRUE(otherServer.open() && otherServer.start());
    test::MqttSubscriber live;
    ASSERT_TRUE(live.connect(broker.port()));
    const std::vector<std::string> defaults = {"--mqtt", broker.address(), "--every",
                                               "1",      "--format",       "tsv"};
    auto first = startProbe(defaults);
    std::vector<std::string> second = defaults;
    second.insert(second.begin(), KV_PROBE_PATH);
    second.push_back(otherServer.slavePath());
    auto other = test::StartProgram(second, test::ProbeHangLimit);
    auto reading = [](const RomCode& rom, const char* value) {
        return Is("kalorivox/" + Hex(rom) + "/temperature", value);
    };
    ASSERT_TRUE(live.waitFor(reading(mine, "19"), test::ProbeHangLimit));
    ASSERT_TRUE(live.waitFor(reading(theirs, "7.5"), test::ProbeHangLimit));
    live.settle(Settle, RetainedLimit);

    // Each sensor's config names the status of its own logger, and the two differ.
    auto statusOf = [&](const RomCode& rom) {
        const std::string config =
            retained()["homeassistant/sensor/kalorivox_" + Hex(rom) + "/config"].payload;
        const std::string head = "\"availability\":[{\"topic\":\"";
        const size_t at = config.find(head);
        if (at == std::string::npos) return std::string();
        const size_t from = at + head.size();
        return config.substr(from, config.find('"', from) - from);
    };
    const std::string myStatus = statusOf(mine), theirStatus = statusOf(theirs);
    ASSERT_EQ(myStatus.rfind("kalorivox/", 0), 0u) << myStatus;
    ASSERT_NE(myStatus, theirStatus);
    EXPECT_EQ(retained()[myStatus].payload, "online");
    EXPECT_EQ(retained()[theirStatus].payload, "online");

    ::kill(first.pid, SIGKILL);
    EXPECT_TRUE(live.waitFor(Is(myStatus, "offline"), RetainedLimit));
    live.clear();
    ASSERT_TRUE(live.waitFor(reading(theirs, "7.5"), test::ProbeHangLimit)) << "still measuring";
    const auto kept = retained();
    EXPECT_EQ(kept.at(theirStatus).payload, "online");
    EXPECT_EQ(kept.at("kalorivox/" + Hex(theirs) + "/availability").payload, "online");
    EXPECT_EQ(kept.at("kalorivox/" + Hex(theirs) + "/temperature").payload, "7.5");
    EXPECT_EQ(test::StopProgram(other), 0);
    otherServer.stop();
}

// Records that standard output cannot take (a full disk) are told on PREFIX/output, retained,
// until they are written again; the readings go on meanwhile.
TEST_F(ProbeMqtt, RecordsThatCannotBeWrittenAreToldOnTheOutputTopic) {
    testing::SmallFileSystem disk(64 * 1024);
    KV_REQUIRE_SMALL_FILE_SYSTEM(disk);
    const RomCode rom = SimMakeRom(0x28, 0x0417A3C41EFF);
    bus->addThermometer(rom, 19.0);
    const std::string output = std::string(Prefix) + "/" + Node + "/output",
                      records = disk.File("r.csv");
    test::MqttSubscriber live;
    ASSERT_TRUE(live.connect(broker.port()));
    disk.Fill();
    std::vector<std::string> args = {KV_PROBE_PATH, "--every", "1", "--format", "csv"};
    for (const std::string& arg : mqttArgs()) args.push_back(arg);
    args.push_back(serve());
    auto probe = test::StartProgramWithOutput(args, records, "/dev/null");
    EXPECT_TRUE(live.waitFor(Is(output, "write-failed"), test::ProbeHangLimit));
    EXPECT_TRUE(live.waitFor(Is(std::string(Prefix) + "/" + Hex(rom) + "/temperature", "19"),
                             RetainedLimit));
    EXPECT_EQ(retained()[output].payload, "write-failed");
    disk.MakeRoom();
    EXPECT_TRUE(live.waitFor(Is(output, "ok"), RetainedLimit));
    EXPECT_EQ(test::StopProgram(probe), 0);
    const std::string text = test::FileText(records);
    EXPECT_EQ(text.rfind("time,rom,", 0), 0u) << text;
    EXPECT_GE(std::count(text.begin(), text.end(), '\n'), 3) << text;
}

}  // namespace
}  // namespace kv
