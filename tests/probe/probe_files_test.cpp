// Files the probe is pointed at that are not what they should be: a pipe or a device where a
// password or the sensors' names should be, and links planted at the Prometheus file's path
// and where its replacement is written.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "probe_fixture.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
// A file that is refused is refused at once; a probe that blocks on it or reads without end
// is killed here.
constexpr auto RefusalLimit = std::chrono::seconds(10);

class ProbeFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kv-files-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
};

// Nothing is read from a pipe, a device or a folder, so nothing can hang the probe or fill its
// memory: it refuses them at start with a message naming the file.
TEST_F(ProbeFiles, PasswordAndNamesMustBeSmallRegularFiles) {
    const std::string fifo = (folder / "fifo").string(), big = (folder / "big").string();
    std::ofstream(big) << std::string(300 * 1024, 'x') << "\n";
    for (const std::string& bad : {fifo, std::string("/dev/zero"), folder.string(), big}) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--mqtt", "127.0.0.1:1", "--mqtt-user", "kv",
                                       "--mqtt-password-file", bad},
              {"--names", bad}}) {
            std::vector<std::string> argv = {KV_PROBE_PATH};
            argv.insert(argv.end(), args.begin(), args.end());
            argv.push_back("DEMO");
            const auto run = test::RunProgram(argv, RefusalLimit);
            EXPECT_FALSE(run.timedOut) << args[args.size() - 2] << " " << bad;
            EXPECT_EQ(run.status, 1) << args[args.size() - 2] << " " << bad;
            EXPECT_EQ(run.out, "");
            EXPECT_NE(run.err.find(bad), std::string::npos) << run.err;
        }
    }
}

// The replacement file is made exclusively under a name of its own: a link planted under
// the name a careless writer would use leads nowhere. A link planted at the file's own path
// is replaced by the file, and the file it leads to is never touched.
TEST_F(ProbeFiles, APlantedLinkNeverLeadsThePrometheusFileElsewhere) {
    const fs::path victim = folder / "victim", prom = folder / "k.prom";
    std::ofstream(victim) << "precious\n";
    fs::create_symlink(victim, prom);
    for (const char* planted : {".tmp", ".new", "~", ".XXXXXX"})
        fs::create_symlink(victim, prom.string() + planted);
    const auto run = test::RunProgram(
        {KV_PROBE_PATH, "--every", "1", "--count", "2", "--prometheus", prom.string(), "DEMO"},
        test::ProbeHangLimit);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::FileText(victim), "precious\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(prom)));
    EXPECT_NE(test::FileText(prom).find("kalorivox_temperature_celsius{"), std::string::npos);
    for (const char* planted : {".tmp", ".new", "~", ".XXXXXX"})
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(prom.string() + planted))) << planted;
}

// A Prometheus file that cannot be written is a failed run, said once.
TEST_F(ProbeFiles, APrometheusFileThatCannotBeWrittenFailsTheRun) {
    const std::string prom = (folder / "missing" / "k.prom").string();
    const auto run = test::RunProgram({KV_PROBE_PATH, "--count", "1", "--prometheus", prom, "DEMO"},
                                      test::ProbeHangLimit);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kalorivox-probe: cannot write " + prom + "\n");
}

}  // namespace
}  // namespace kv
