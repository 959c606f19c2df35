#include "onewire/uart/echo_ledger.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "onewire/uart/encoding.h"
#include "runtime/clock.h"

namespace kv {
namespace {

constexpr int64_t MicrosecondsPerMillisecond = 1'000;
constexpr int StragglerLatenessFactor = 2;
constexpr int64_t StragglerLimitUs = SlotEchoLimitMs * MicrosecondsPerMillisecond;
// The lateness follows a larger sample at once and a smaller one by this fraction, so that
// one quick packet does not make the next straggler wait too short.
constexpr int64_t LatenessDecayDivisor = 8;

struct Line {
    int64_t owed = 0;
    int64_t lateUs = 0;
    bool draining = false;
    int64_t drainUntil = 0;
};

std::mutex ledgerLock;
std::map<int32_t, Line> lines;

// How long stragglers are awaited after an exchange gave up: twice the lateness the port's
// echoes have shown (the largest recent one), at most a single slot's echo limit.
int64_t StragglerUs(const Line& line) {
    return std::min(StragglerLatenessFactor * line.lateUs, StragglerLimitUs);
}

}  // namespace

void EchoLedgerForget(int32_t port) {
    std::lock_guard<std::mutex> lock(ledgerLock);
    lines.erase(port);
}

void EchoLedgerSent(int32_t port, int count) {
    if (count <= 0) return;
    std::lock_guard<std::mutex> lock(ledgerLock);
    lines[port].owed += count;
}

void EchoLedgerTaken(int32_t port, int count) {
    if (count <= 0) return;
    std::lock_guard<std::mutex> lock(ledgerLock);
    Line& line = lines[port];
    line.owed = std::max<int64_t>(0, line.owed - count);  // a stray byte owes nothing back
}

void EchoLedgerArrived(int32_t port, int64_t lateMicroseconds) {
    const int64_t late = std::max<int64_t>(0, lateMicroseconds);
    std::lock_guard<std::mutex> lock(ledgerLock);
    Line& line = lines[port];
    line.lateUs =
        late >= line.lateUs ? late : line.lateUs - (line.lateUs - late) / LatenessDecayDivisor;
}

void EchoLedgerGaveUp(int32_t port) {
    const int64_t now = MicrosecondClock();
    std::lock_guard<std::mutex> lock(ledgerLock);
    Line& line = lines[port];
    line.draining = true;
    line.drainUntil = now + StragglerUs(line);
}

bool EchoLedgerDrainDue(int32_t port, EchoDrain& drain) {
    std::lock_guard<std::mutex> lock(ledgerLock);
    const auto it = lines.find(port);
    if (it == lines.end() || !it->second.draining) return false;
    Line& line = it->second;
    drain.owed = static_cast<int>(std::min<int64_t>(line.owed, INT32_MAX));
    drain.untilMicroseconds = line.drainUntil;
    line.draining = false;
    line.owed = 0;  // whatever does not come by then is not coming
    return true;
}

}  // namespace kv
