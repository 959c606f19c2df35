// kalorivox-soak: runs the monitoring worker for a long time on the simulated DEMO bus with
// noise on the line (and, if asked, sensors unplugged and plugged back), in separate polling
// and then in common conversion, and checks that it neither crashes nor leaks and that the
// log holds only true readings.
// Also: the bus cost of a pass, and the port list as the program would offer it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "monitor/port_chooser.h"
#include "monitor/window_ids.h"
#include "runtime/utf.h"
#include "sim/demo_bus.h"
#include "tools/soak/soak_run.h"
#include "ui/headless/headless_toolkit.h"

namespace {

constexpr char Usage[] =
    "usage: kalorivox-soak [options]\n"
    "  --seconds S     run time, half in separate polling, half in common conversion (600)\n"
    "  --noise P       bit-flip probability of the simulated line (0.001)\n"
    "  --seed N        seed of the noise (1)\n"
    "  --interval N    seconds between passes (1)\n"
    "  --replug S      every S seconds (of the worker's clock) a random sensor is unplugged,\n"
    "                  or plugged back when it was out (0: never, the default)\n"
    "  --simulated     simulated clock: no real waits, many more passes in the same time\n"
    "  --folder DIR    keep the log file in DIR (default: a temporary folder, removed)\n"
    "  --bus-cost [N]  measure the bus time of a common-conversion pass for 1, 10 and 50\n"
    "                  thermometers over N passes (20) and print a table\n"
    "  --search-cost [S]  what searching while monitoring costs the readings: 10 and 20\n"
    "                  thermometers and 10 with noise 0.003, S seconds each (600)\n"
    "  --latency MS    with --search-cost: the echo latency (16)\n"
    "  --pty           with --bus-cost or --search-cost: real time through a pseudo-terminal\n"
    "  --list-ports    print the ports the program would offer, one a line\n";

bool Number(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return text[0] != '\0' && *end == '\0';
}

int ListPorts() {
    kv::SimRegisterDemoPort();
    kv::ui::HeadlessToolkit& toolkit = kv::ui::InstallHeadlessToolkit();
    kv::ui::OpenWindow(kv::MainWindow, 0, 0, 400, 300, u"Kalorivox", 0);
    kv::ui::CreateDropDownList(kv::MainWindow, kv::PortSelector, 0, 0, 100, 20);
    kv::ListComPorts(kv::PortSelector);
    for (const auto& entry : toolkit.control(kv::MainWindow, kv::PortSelector).entries)
        std::printf("%s\n", kv::Utf8FromUtf16(entry).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    kv::soak::SoakOptions options;
    bool busCost = false, pty = false, searchCost = false;
    int passes = 20;
    double searchSeconds = 600, latencyMs = 16;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        double value = 0;
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--list-ports") {
            return ListPorts();
        } else if (arg == "--bus-cost") {
            busCost = true;
            if (hasValue && Number(argv[i + 1], value) && value >= 1) {
                passes = static_cast<int>(value);
                ++i;
            }
        } else if (arg == "--search-cost") {
            searchCost = true;
            if (hasValue && Number(argv[i + 1], value) && value >= 1) {
                searchSeconds = value;
                ++i;
            }
        } else if (arg == "--latency" && hasValue && Number(argv[i + 1], latencyMs) &&
                   latencyMs >= 0) {
            ++i;
        } else if (arg == "--pty") {
            pty = true;
        } else if (arg == "--simulated") {
            options.simulated = true;
        } else if (arg == "--folder" && hasValue) {
            options.folder = argv[++i];
        } else if (hasValue && Number(argv[i + 1], value) &&
                   (arg == "--seconds" || arg == "--noise" || arg == "--seed" ||
                    arg == "--interval" || arg == "--replug")) {
            ++i;
            if (arg == "--seconds") options.seconds = value;
            if (arg == "--noise") options.noise = value;
            if (arg == "--seed") options.seed = static_cast<uint64_t>(value);
            if (arg == "--interval") options.interval = static_cast<int>(value);
            if (arg == "--replug") options.replugSeconds = value;
        } else {
            std::fprintf(stderr, "kalorivox-soak: bad argument '%s'\n%s", arg.c_str(), Usage);
            return 2;
        }
    }
    if (options.seconds <= 0 || options.noise < 0 || options.noise > 1 || options.interval < 0 ||
        options.replugSeconds < 0 || options.interval > 65535) {
        std::fprintf(stderr, "kalorivox-soak: value out of range\n");
        return 2;
    }
    if (busCost) return kv::soak::RunBusCost(passes, pty);
    if (searchCost)
        return kv::soak::RunSearchCost(searchSeconds, static_cast<int64_t>(latencyMs), pty);
    return kv::soak::RunSoak(options);
}
