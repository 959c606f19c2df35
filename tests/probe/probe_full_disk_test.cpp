// The probe's records on a disk of their own (a small tmpfs) that fills up and is freed again:
// nothing torn, nothing lost while the waiting records fit, the failure said once.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "../sim/sim_test_support.h"
#include "probe/record_queue.h"
#include "probe_fixture.h"
#include "prometheus_text.h"
#include "tests/runtime/posix/small_file_system.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
using test::Lines;

constexpr int Passes = 14;
constexpr int Sensors = 4;
// Long names make records long, so that the room left in the file's last block of the small
// disk is gone within a pass or two and a record meets the end of the room midway.
constexpr size_t NameLength = 300;
constexpr auto FullFor = 2s;
constexpr char Failing[] = "kalorivox_records_write_failing";

double PromValue(const std::string& path, const std::string& name) {
    test::PromFile parsed;
    std::string error;
    if (!test::ParsePrometheusText(test::FileText(path), parsed, error)) return -1;
    return parsed.value(name);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// The exit status of a program that ends by itself; -1 when it had to be stopped.
int WaitForEnd(test::BackgroundProgram& program, std::chrono::seconds limit) {
    int status = 0;
    if (!WaitUntil([&] { return ::waitpid(program.pid, &status, WNOHANG) == program.pid; },
                   limit)) {
        test::StopProgram(program);
        return -1;
    }
    program.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ProbeFullDisk : public test::ProbeOnPty {
  protected:
    void SetUp() override {
        KV_REQUIRE_SMALL_FILE_SYSTEM(disk);
        char pattern[] = "/tmp/kv-fulldisk-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        std::ofstream names(folder + "/names");
        for (int i = 0; i < Sensors; ++i) {
            const RomCode rom = SimMakeRom(0x28, 0x0417A3C41E00 + i);
            bus->addThermometer(rom, 20.0 + i);
            names << test::Hex(rom) << " = " << std::string(NameLength, char('a' + i)) << "\n";
        }
    }
    void TearDown() override {
        std::filesystem::remove_all(folder);
        test::ProbeOnPty::TearDown();
    }

    testing::SmallFileSystem disk{256 * 1024};
    std::string folder;
};

// CSV and JSON lines on standard output, redirected to a file on the small disk: filled for
// a few passes, then freed. Every record of every pass arrives whole and in order, the
// failure and the way back are said once each on stderr, and the Prometheus file shows the
// failure while it lasts.
TEST_F(ProbeFullDisk, RecordsWaitWhileTheDiskIsFullAndArriveWholeWhenItHasRoomAgain) {
    for (const std::string format : {"csv", "json"}) {
        SCOPED_TRACE(format);
        const std::string records = disk.File("records." + format), messages = folder + "/err",
                          prom = folder + "/k.prom";
        const size_t head = format == "csv" ? 1 : 0;
        auto said = [&] { return test::FileText(messages); };
        auto probe = test::StartProgramWithOutput(
            {KV_PROBE_PATH, "--every", "1", "--count", std::to_string(Passes), "--format", format,
             "--names", folder + "/names", "--prometheus", prom, serve()},
            records, messages);
        ASSERT_TRUE(
            WaitUntil([&] { return Lines(test::FileText(records)).size() >= head + 2 * Sensors; },
                      test::ProbeHangLimit));
        disk.Fill();
        EXPECT_TRUE(WaitUntil([&] { return PromValue(prom, Failing) == 1; }, 10s))
            << "the Prometheus file tells of the failure";
        std::this_thread::sleep_for(FullFor);
        disk.MakeRoom();
        EXPECT_EQ(WaitForEnd(probe, test::ProbeHangLimit), 0) << said();

        const std::string text = test::FileText(records);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n') << "no line left half written";
        const std::vector<std::string> lines = Lines(text);
        std::string lastTime;
        for (size_t i = head; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            const std::string time =
                format == "csv" ? line.substr(0, line.find(',')) : line.substr(9, 20);
            if (format == "csv")
                EXPECT_EQ(std::count(line.begin(), line.end(), ','), 7) << line;
            else
                EXPECT_TRUE(line.rfind("{\"time\":\"", 0) == 0 && line.back() == '}') << line;
            EXPECT_GE(time, lastTime) << "in the order of the passes";
            lastTime = time;
        }
        EXPECT_EQ(lines.size(), head + Sensors * Passes) << "every record of every pass";
        auto count = [&](const std::string& what) {
            const std::string text = said();
            size_t n = 0;
            for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; ++at) ++n;
            return n;
        };
        EXPECT_EQ(count("cannot write the records"), 1u) << said();
        EXPECT_EQ(count("the records are written again"), 1u) << said();
        EXPECT_EQ(PromValue(prom, Failing), 0);
        EXPECT_EQ(PromValue(prom, "kalorivox_records_dropped_total"), 0);
        std::filesystem::remove(records);
    }
}

// In this process, with room for three waiting records: the oldest go when more wait, the
// header never does, what waits goes first once there is room, and the way back says how
// many were lost.
TEST(RecordQueueOnDisk, KeepsTheNewestWhileTheDiskIsFullAndSaysHowManyWereDropped) {
    testing::SmallFileSystem disk(64 * 1024);
    KV_REQUIRE_SMALL_FILE_SYSTEM(disk);
    std::FILE* out = std::fopen(disk.File("records.csv").c_str(), "w");
    ASSERT_NE(out, nullptr);
    probe::RecordQueue queue(out, 3);
    disk.Fill();
    ::testing::internal::CaptureStderr();
    queue.head("time,rom");
    for (const char* record : {"a", "b", "c", "d", "e"}) EXPECT_FALSE(queue.write({record}));
    EXPECT_EQ(queue.waiting(), 3u);
    EXPECT_EQ(queue.dropped(), 2);
    disk.MakeRoom();
    EXPECT_TRUE(queue.write({"f"}));
    EXPECT_FALSE(queue.finish()) << "records were lost";
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(queue.waiting(), 0u);
    EXPECT_EQ(test::FileText(disk.File("records.csv")), "time,rom\nc\nd\ne\nf\n");
    EXPECT_NE(said.find("cannot write the records"), std::string::npos) << said;
    EXPECT_NE(said.find("2 records were dropped"), std::string::npos) << said;
    std::fclose(out);
}

// A reader that closed its pipe (as `head` does) wants no more records: nothing is kept
// for it and the run does not fail for it.
TEST(RecordQueueOnDisk, APipeWhoseReaderHasGoneWantsNoMoreRecords) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);  // as the MQTT client sets it
    std::FILE* out = ::fdopen(ends[1], "w");
    probe::RecordQueue queue(out);
    EXPECT_TRUE(queue.write({"a"}));
    ::close(ends[0]);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(queue.write({"b"}));
    EXPECT_TRUE(queue.write({"c"}));
    EXPECT_TRUE(queue.finish());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "kalorivox-probe: the reader of standard output has gone; no more records are "
              "written\n");
    EXPECT_EQ(queue.waiting(), 0u);
    std::fclose(out);
    std::signal(SIGPIPE, previous);
}

}  // namespace
}  // namespace kv
