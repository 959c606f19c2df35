// Runs the whole program in-process on the headless toolkit, in a fresh temporary folder
// that stands for the program's own folder, and lets a test act as the user.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "ui/headless/headless_toolkit.h"

namespace kv::testing {

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the settings file before start-up (as UTF-8 with CR LF line ends).
    void WriteSettings(const std::string& lines);
    // Start-up in the temporary folder; the two posted events are carried out as well.
    void Start();
    // Start-up only: the events it posted still wait in the queue.
    void StartWithoutEvents();
    // Carries out every event waiting now. False once the program has shut down.
    bool Pump();
    // Carries out events until `done` holds or the (generous, real) time limit passes.
    bool PumpUntil(const std::function<bool()>& done, int limitMs = 20000);
    // Posts an event as if the user had caused it and carries it out.
    bool Post(int kind, int object, int type = 0);
    // Shuts down if still running.
    void Stop();

    std::string SettingsBytes() const;  // empty when the file does not exist
    std::string ReadFile(const std::string& name) const;
    bool SettingsExist() const;

    ui::HeadlessToolkit* ui = nullptr;
    std::filesystem::path folder;
    bool running = false;

  private:
    std::filesystem::path previousFolder_;
    int marker_ = 0;
};

// The settings file as the program writes it for the given nine values, in key order.
std::string SettingsFile(const std::string& port, int interval, int thermoControl, int convertOnly,
                         int thermoMin, int thermoMax, int log, int cpu, int invert);

}  // namespace kv::testing
