// What each port's adapter still owes in echoes, and how late its echoes come. Every byte
// the bus writes comes back once; an exchange that gives up before all its echoes are in
// leaves the rest on their way, and one of them arriving later would be read as an echo of
// the next exchange. So after such an exchange the next one first awaits the stragglers, for
// a time that follows how late this port's echoes have come so far, and discards them.
#pragma once
#include <cstdint>

namespace kv {

void EchoLedgerForget(int32_t port);  // the port was opened or closed: a fresh line
void EchoLedgerSent(int32_t port, int count);
void EchoLedgerTaken(int32_t port, int count);  // read or purged
// An exchange had all its echoes this long after their wire time.
void EchoLedgerArrived(int32_t port, int64_t lateMicroseconds);
// An exchange ended without all its echoes (or with too many): the line is to be drained.
void EchoLedgerGaveUp(int32_t port);

struct EchoDrain {
    int owed = 0;                   // echoes still on their way
    int64_t untilMicroseconds = 0;  // MicrosecondClock time after which they are not awaited
};
// Takes the drain due on the port, if any: true with what to await, false when the line is
// in step. The caller awaits, then purges.
bool EchoLedgerDrainDue(int32_t port, EchoDrain& drain);

}  // namespace kv
