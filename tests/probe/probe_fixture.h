// The probe as a user runs it, against a simulated bus that this process serves on a
// pseudo-terminal.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "onewire/rom_code_text.h"
#include "sim/posix/pty_server.h"
#include "tests/tools/run_program.h"

namespace kv::test {

// Far above what any run takes; only a hung probe reaches it.
inline constexpr std::chrono::seconds ProbeHangLimit{30};

// The lines of a text, without their ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The ROM code as MQTT topics and the `rom` label carry it; what people read is RomCodeText.
inline std::string Hex(const RomCode& rom) {
    char text[17];
    for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02X", rom[static_cast<size_t>(i)]);
    return text;
}

class ProbeOnPty : public ::testing::Test {
  protected:
    void TearDown() override {
        if (server) server->stop();
    }
    // The pseudo-terminal's path, serving the bus from now on (once per test).
    std::string serve() {
        if (server) return server->slavePath();
        server = std::make_unique<PtyServer>(bus);
        std::string error;
        if (!server->open(&error) || !server->start()) {
            ADD_FAILURE() << "pty server: " << error;
            return {};
        }
        return server->slavePath();
    }
    ProgramRun probe(std::vector<std::string> args = {}) {
        const std::string path = serve();
        if (path.empty()) return {};
        args.insert(args.begin(), KV_PROBE_PATH);
        args.push_back(path);
        auto run = RunProgram(args, ProbeHangLimit);
        EXPECT_FALSE(run.timedOut) << "the probe must end on its own";
        return run;
    }
    BackgroundProgram startProbe(std::vector<std::string> args) {
        const std::string path = serve();
        args.insert(args.begin(), KV_PROBE_PATH);
        args.push_back(path);
        return StartProgram(args, ProbeHangLimit);
    }

    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>();
    std::unique_ptr<PtyServer> server;
};

}  // namespace kv::test
