// Where every reading the worker believes goes: the event log while logging is on, then
// each consumer added here (a chart, an export). Nothing else writes a temperature down.
#pragma once
#include <cstdint>
#include <functional>

#include "onewire/search.h"
#include "runtime/date_text.h"

namespace kv {

struct SensorReading {
    RomCode rom{};
    float celsius = 0.0f;
    DateValue time = InvalidDate;  // the local wall-clock time the reading was taken
};

using ReadingConsumer = std::function<void(const SensorReading&)>;

// Adds a consumer; returns its number for ReadingSinkRemove. Consumers are called on the
// worker thread, in the order they were added, after the log line was written. They must
// return at once (hand the reading on to their own thread) and must not call the toolkit
// (PostEvent aside, which returns at once), ReadingSinkAdd or ReadingSinkRemove. Any thread may add
// and remove; after ReadingSinkRemove returns, that consumer is not called again.
int32_t ReadingSinkAdd(ReadingConsumer consumer);
void ReadingSinkRemove(int32_t id);

// Worker thread: one reading whose verdict is ok. Returns whether it went to the event log.
bool ReadingSinkTake(const RomCode& rom, float celsius);

}  // namespace kv
