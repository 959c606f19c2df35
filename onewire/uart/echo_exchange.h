// Writing bytes to the adapter and waiting for their echoes. Every exchange writes and then
// waits for the echo with a fixed time limit; a limit reached is not an error in itself, the
// echo count decides. An exchange that ended without its echoes leaves the line to be
// drained before the next one writes (onewire/uart/echo_ledger.h), so a late echo is never
// read as the next exchange's.
#pragma once
#include <cstdint>

namespace kv {

// Time one byte takes on the wire at `baud`, in microseconds.
int64_t ByteMicroseconds(int baud);
// Time `slots` slot bytes take on the wire at the data speed.
int64_t SlotsWireUs(int slots);

// Drains the line if an exchange left it out of step, then writes; the count written.
int EchoSend(int32_t port, const uint8_t* data, int count);
// Reads `count` echoes that are waiting; the count read.
int EchoTake(int32_t port, uint8_t* data, int count);
// Waits for `wanted` echoes until `limitMs` after `start` (a MicrosecondClock reading);
// `wireUs` is the least time they need on the wire.
void EchoWait(int32_t port, int wanted, int64_t start, int64_t limitMs, int64_t wireUs);
// Drains the line if an exchange left it out of step.
void DrainStragglers(int32_t port);
// An exchange ends without its echoes: what came is dropped now, the rest before the next.
void EchoGiveUp(int32_t port);

// Sends `count` slot bytes and collects exactly as many echoes into `slots`, within
// `limitMs` from `start`, or from the end of the write when `clockAfterWrite`. False with
// ExchangeError when they did not all come.
bool ExchangeSlots(int32_t port, uint8_t* slots, int count, int64_t limitMs, int64_t start,
                   bool clockAfterWrite);

}  // namespace kv
