// The probe as a systemd service: the unit and its options as shipped keep what they promise
// (an ordinary user in the dialout group, no broker password needed, restarts on failure, a
// clean stop by SIGTERM), and the Debian package, unpacked into a scratch folder as dpkg
// would install it (no container, no root), holds the logger, its unit and its options and
// nothing else, with a unit that systemd accepts and maintainer scripts that make the user
// and never start the service.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "probe/options.h"
#include "tests/tools/run_program.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

constexpr char SystemdAnalyze[] = "/usr/bin/systemd-analyze";
constexpr char DpkgDeb[] = "/usr/bin/dpkg-deb";
constexpr char ProgramPlaceholder[] = "@KV_PROBE_PROGRAM@";
constexpr char OptionsVariable[] = "KALORIVOX_PROBE_OPTIONS";
constexpr auto ToolLimit = std::chrono::seconds(120);

// The value of the first `Key=` line.
std::string Setting(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// The probe's command line as systemd makes it from ExecStart and the options file.
std::vector<std::string> CommandLine(const std::string& unit, const std::string& options) {
    std::string value = Setting(options, OptionsVariable);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    std::vector<std::string> args;
    for (const std::string& word : Words(Setting(unit, "ExecStart"))) {
        if (word == std::string("$") + OptionsVariable) {
            for (const std::string& option : Words(value)) args.push_back(option);
        } else {
            args.push_back(word);
        }
    }
    return args;
}

void ExpectServicePromises(const std::string& unit, const std::string& options) {
    EXPECT_EQ(Setting(unit, "User"), "kalorivox");
    EXPECT_EQ(Setting(unit, "DynamicUser"), "yes") << "a user of its own also without the package";
    EXPECT_EQ(Setting(unit, "SupplementaryGroups"), "dialout");
    EXPECT_EQ(Setting(unit, "Restart"), "on-failure");
    EXPECT_EQ(Setting(unit, "KillSignal"), "SIGTERM");
    EXPECT_EQ(Setting(unit, "EnvironmentFile"), "/etc/default/kalorivox-probe");
    EXPECT_EQ(Setting(unit, "LoadCredential"), "") << "no file that must be there first";

    const std::vector<std::string> args = CommandLine(unit, options);
    ASSERT_GT(args.size(), 1u) << unit << options;
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    probe::Options parsed;
    std::string error;
    ASSERT_TRUE(probe::ParseOptions(static_cast<int>(argv.size()), argv.data(), parsed, error))
        << error;
    EXPECT_TRUE(parsed.repeats());
    EXPECT_TRUE(parsed.quiet) << "one journal line per sensor and pass otherwise";
    EXPECT_FALSE(parsed.mqttHost.empty());
    EXPECT_TRUE(parsed.mqttPasswordFile.empty()) << "works without a broker password";
}

TEST(ProbeService, UnitAndItsOptionsAsShipped) {
    const std::string unit = test::FileText(KV_PROBE_UNIT_TEMPLATE);
    const std::string options = test::FileText(KV_PROBE_OPTIONS_FILE);
    ASSERT_NE(unit.find(std::string("ExecStart=") + ProgramPlaceholder + " "), std::string::npos);
    ExpectServicePromises(unit, options);
}

// The package made by cpack from this build folder, unpacked once for the tests below.
class ProbePackage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (::access(DpkgDeb, X_OK) != 0) return;
        char pattern[] = "/tmp/kv-package-XXXXXX";
        if (!::mkdtemp(pattern)) return;
        folder_ = pattern;
        made_ = test::RunProgram(
            {KV_CPACK_COMMAND, "-G", "DEB", "--config", KV_CPACK_CONFIG, "-B", folder_ + "/out"},
            ToolLimit);
        for (const auto& entry : fs::directory_iterator(folder_ + "/out"))
            if (entry.path().extension() == ".deb") package_ = entry.path();
        if (package_.empty()) return;
        test::RunProgram({DpkgDeb, "-x", package_, root()}, ToolLimit);
        test::RunProgram({DpkgDeb, "-e", package_, control()}, ToolLimit);
    }
    static void TearDownTestSuite() {
        if (!folder_.empty()) fs::remove_all(folder_);
    }
    void SetUp() override {
        if (::access(DpkgDeb, X_OK) != 0) GTEST_SKIP() << DpkgDeb << " is not there";
        ASSERT_FALSE(package_.empty()) << made_.out << made_.err;
    }
    static std::string root() { return folder_ + "/root"; }
    static std::string control() { return folder_ + "/control"; }

    static inline std::string folder_, package_;
    static inline test::ProgramRun made_;
};

TEST_F(ProbePackage, HoldsTheLoggerItsUnitAndOptionsOwnedByRoot) {
    // Every file with its mode and owner, as dpkg will put it.
    const auto listing = test::RunProgram({DpkgDeb, "-c", package_}, ToolLimit);
    ASSERT_EQ(listing.status, 0) << listing.err;
    std::map<std::string, std::string> files;
    std::istringstream lines(listing.out);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> f = Words(line);
        ASSERT_EQ(f.size(), 6u) << line;
        if (f[0][0] != 'd')
            files[f[5]] = f[0] + " " + f[1];
        else
            EXPECT_EQ(f[1], "root/root") << line;
    }
    EXPECT_EQ(files,
              (std::map<std::string, std::string>{
                  {"./etc/default/kalorivox-probe", "-rw-r--r-- root/root"},
                  {"./usr/bin/kalorivox-probe", "-rwxr-xr-x root/root"},
                  {"./usr/lib/systemd/system/kalorivox-probe.service", "-rw-r--r-- root/root"},
              }));

    const auto fields =
        test::RunProgram({DpkgDeb, "-f", package_, "Package", "Depends"}, ToolLimit);
    EXPECT_NE(fields.out.find("Package: kalorivox-probe\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("adduser"), std::string::npos) << fields.out;
    if (KV_PROBE_HAS_MQTT) {
        EXPECT_NE(fields.out.find("libmosquitto1"), std::string::npos) << fields.out;
    }
    for (const char* never : {"qt6", "libgl", "mosquitto (", "mosquitto,", "prometheus", "gtest"})
        EXPECT_EQ(fields.out.find(never), std::string::npos) << never << " in " << fields.out;

    // The options stay the administrator's: dpkg keeps a changed file at an upgrade.
    EXPECT_EQ(test::FileText(control() + "/conffiles"), "/etc/default/kalorivox-probe\n");
    for (const char* script : {"postinst", "prerm", "postrm"}) {
        struct stat info {};
        ASSERT_EQ(::stat((control() + "/" + script).c_str(), &info), 0) << script;
        EXPECT_EQ(info.st_mode & 07777, 0755u) << script;
    }

    // The unit runs the program where the package put it, with the options it ships.
    const std::string unit =
        test::FileText(root() + "/usr/lib/systemd/system/kalorivox-probe.service");
    const std::string options = test::FileText(root() + "/etc/default/kalorivox-probe");
    ExpectServicePromises(unit, options);
    const std::string program = Words(Setting(unit, "ExecStart")).at(0);
    EXPECT_EQ(program, "/usr/bin/kalorivox-probe");
    EXPECT_EQ(::access((root() + program).c_str(), X_OK), 0) << root() + program;

    // That program, stripped, runs: two quiet passes over the simulated bus give each sensor
    // one line, its ROM code as the window writes it.
    const auto run = test::RunProgram(
        {root() + program, "--every", "1", "--count", "2", "--quiet", "DEMO"}, ToolLimit);
    EXPECT_EQ(run.status, 0) << run.err;
    std::set<std::string> roms;
    std::istringstream out(run.out);
    for (std::string line; std::getline(out, line);) {
        std::smatch m;
        ASSERT_TRUE(
            std::regex_search(line, m, std::regex("^[0-9A-F]{2}-[0-9A-F]{12}-[0-9A-F]{2}\t")))
            << line;
        EXPECT_TRUE(roms.insert(m.str()).second) << "listed twice: " << line;
    }
    EXPECT_EQ(roms.size(), 4u) << run.out;

    if (::access(SystemdAnalyze, X_OK) != 0)
        GTEST_SKIP() << SystemdAnalyze << " is not there (Debian's systemd package has it): "
                     << "the unit was not verified";
    // The checker looks for the program on this machine: the unit is checked as installed,
    // with the program's path leading into the scratch folder.
    std::string here = unit;
    here.replace(here.find("ExecStart=" + program), 10 + program.size(),
                 "ExecStart=" + root() + program);
    const std::string checked = folder_ + "/kalorivox-probe.service";
    std::ofstream(checked) << here;
    const auto verify = test::RunProgram({SystemdAnalyze, "verify", checked}, ToolLimit);
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    EXPECT_EQ(verify.out + verify.err, "");
}

// The maintainer scripts run with stand-ins for the commands they call, which note their
// arguments: a first install makes the user in the dialout group, an upgrade keeps the user
// in it, a removal stops and disables the service, and nothing ever enables or starts it.
TEST_F(ProbePackage, MaintainerScriptsMakeTheUserAndNeverStartTheService) {
    const std::string bin = folder_ + "/stand-ins", log = folder_ + "/calls";
    fs::create_directories(bin);
    for (const char* command :
         {"adduser", "getent", "systemctl", "deb-systemd-invoke", "deb-systemd-helper"}) {
        const std::string path = bin + "/" + command;
        std::ofstream(path) << "#!/bin/sh\necho \"" << command << " $*\" >>\"" << log << "\"\n"
                            << (std::string(command) == "getent" ? "[ -n \"$KV_USER_THERE\" ]\n"
                                                                 : "exit 0\n");
        fs::permissions(path, fs::perms::owner_all);
    }
    auto run = [&](const std::string& script, std::vector<std::string> args, bool userThere) {
        fs::remove(log);
        std::vector<std::string> argv = {
            "/usr/bin/env", "PATH=" + bin + ":/usr/bin:/bin",
            userThere ? "KV_USER_THERE=1" : "KV_USER_THERE=", "/bin/sh", control() + "/" + script};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto result = test::RunProgram(argv, ToolLimit);
        EXPECT_EQ(result.status, 0) << script << result.out << result.err;
        const std::string calls = test::FileText(log);
        for (const std::string& word : Words(calls))
            EXPECT_TRUE(word != "enable" && word != "start" && word != "--now")
                << script << " " << args.at(0) << ":\n"
                << calls;
        return calls;
    };
    const std::string install = run("postinst", {"configure"}, false);
    EXPECT_NE(install.find("adduser --quiet --system --group --no-create-home --home "
                           "/nonexistent kalorivox\n"),
              std::string::npos)
        << install;
    EXPECT_NE(install.find("adduser --quiet kalorivox dialout\n"), std::string::npos) << install;
    const std::string upgrade = run("postinst", {"configure", "1.0"}, true);
    EXPECT_EQ(upgrade.find("--system"), std::string::npos) << upgrade;
    EXPECT_NE(upgrade.find("adduser --quiet kalorivox dialout\n"), std::string::npos) << upgrade;
    EXPECT_EQ(run("prerm", {"upgrade", "1.2"}, true), "");
    EXPECT_NE(
        run("prerm", {"remove"}, true).find("systemctl disable --quiet kalorivox-probe.service"),
        std::string::npos);
    run("postrm", {"remove"}, true);
    run("postrm", {"purge"}, true);
}

}  // namespace
}  // namespace kv
