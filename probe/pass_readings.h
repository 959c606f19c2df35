// What one pass of the probe hands its outputs: each thermometer's judged reading, with what
// the outputs add to it.
#pragma once
#include <chrono>
#include <string>
#include <vector>

#include "onewire/reading_verdict.h"

namespace kv::probe {

struct Reading : kv::Reading {
    const char* power = "error";
    std::chrono::system_clock::time_point time;
    std::string name;  // the user's name for the sensor, empty for none

    bool passed() const { return ok(); }
    std::string state() const { return ReadingStateName(*this); }
};

struct Pass {
    bool sound = true;              // false when the conversion failed (a message was printed)
    bool interrupted = false;       // a stop cut the conversion wait: nothing was read
    std::vector<Reading> readings;  // thermometers in list order
    double seconds = 0.0;           // from the conversion to the last reading
};

}  // namespace kv::probe
