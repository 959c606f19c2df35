#include "probe/messages.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>

#include "onewire/result.h"
#include "runtime/clock.h"

namespace kv::probe {
namespace {

constexpr int64_t MessageRepeatMs = 60'000;
constexpr size_t MaxRememberedMessages = 64;

}  // namespace

void Message(const std::string& text) {
    static std::mutex mutex;
    static std::map<std::string, int64_t> printedAt;
    std::lock_guard<std::mutex> lock(mutex);
    const int64_t now = MillisecondClock();
    const auto last = printedAt.find(text);
    if (last != printedAt.end() && now - last->second < MessageRepeatMs) return;
    if (printedAt.size() >= MaxRememberedMessages) printedAt.clear();
    printedAt[text] = now;
    std::fprintf(stderr, "kalorivox-probe: %s\n", text.c_str());
}

std::string CannotOpenText(const std::string& port) {
    return "cannot open " + port + " (" + OneWireResultLabel(OneWireLastResult()) +
           "): missing, busy or not a serial port";
}

}  // namespace kv::probe
