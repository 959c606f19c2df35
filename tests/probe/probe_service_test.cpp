// The systemd unit shipped for the probe: systemd's own checker accepts it, its command line
// is one the probe takes, and it keeps what it promises (restarts on failure, an ordinary
// user in the dialout group, a clean stop by SIGTERM).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "probe/options.h"
#include "tests/tools/run_program.h"

namespace kv {
namespace {

constexpr char SystemdAnalyze[] = "/usr/bin/systemd-analyze";
constexpr char InstalledProbe[] = "/usr/local/bin/kalorivox-probe";

// The value of the first `Key=` line.
std::string Setting(const std::string& unit, const std::string& key) {
    std::istringstream lines(unit);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

TEST(ProbeService, SystemdAcceptsTheUnitAndItsPromises) {
    const std::string unit = test::FileText(KV_PROBE_UNIT_PATH);
    ASSERT_FALSE(unit.empty()) << KV_PROBE_UNIT_PATH;
    EXPECT_EQ(Setting(unit, "Restart"), "on-failure");
    EXPECT_EQ(Setting(unit, "DynamicUser"), "yes");
    EXPECT_EQ(Setting(unit, "SupplementaryGroups"), "dialout");
    EXPECT_EQ(Setting(unit, "KillSignal"), "SIGTERM");
    EXPECT_EQ(Setting(unit, "User"), "") << "no fixed user, least of all root";

    // The probe takes the command line, with the credentials folder systemd puts for %d.
    std::istringstream words(Setting(unit, "ExecStart"));
    std::vector<std::string> args;
    for (std::string word; words >> word;) {
        if (word.rfind("%d/", 0) == 0)
            word = "/run/credentials/kalorivox-probe.service" + word.substr(2);
        args.push_back(word);
    }
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(args[0], InstalledProbe);
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    probe::Options options;
    std::string error;
    EXPECT_TRUE(probe::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error))
        << error;
    EXPECT_TRUE(options.repeats());

    if (::access(SystemdAnalyze, X_OK) != 0)
        GTEST_SKIP() << SystemdAnalyze << " is not there (Debian's systemd package has it): "
                     << "the unit was not verified";
    // The checker wants the program to exist: the one just built stands in for it.
    char folder[] = "/tmp/kv-unit-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    std::string here = unit;
    here.replace(here.find(InstalledProbe), std::string(InstalledProbe).size(), KV_PROBE_PATH);
    const std::string path = std::string(folder) + "/kalorivox-probe.service";
    std::ofstream(path) << here;
    const auto run = test::RunProgram({SystemdAnalyze, "verify", path}, std::chrono::seconds(60));
    std::filesystem::remove_all(folder);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out + run.err, "");
}

}  // namespace
}  // namespace kv
