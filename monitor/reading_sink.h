// Where every reading the worker believes goes: the event log while logging is on, then
// each consumer added here (a chart, an export). Nothing else writes a temperature down.
// The consumers also hear when a thermometer stops answering and when it answers again, so
// that none of them shows a reading of a sensor that is gone as its latest.
#pragma once
#include <cstdint>
#include <functional>

#include "onewire/search.h"
#include "runtime/date_text.h"
#include "session/sensor_list.h"

namespace kv {

struct SensorReading {
    RomCode rom{};
    float celsius = 0.0f;
    DateValue time = InvalidDate;  // the local wall-clock time the reading was taken
};

using ReadingConsumer = std::function<void(const SensorReading&)>;
// A thermometer stopped answering (false) or answers again (true).
using SensorStateConsumer = std::function<void(const RomCode&, bool answering)>;

// Adds a consumer; returns its number for ReadingSinkRemove. Consumers are called on the
// worker thread, in the order they were added, after the log line was written. They must
// return at once (hand the reading on to their own thread) and must not call the toolkit
// (PostEvent aside, which returns at once), ReadingSinkAdd or ReadingSinkRemove. Any thread may add
// and remove; after ReadingSinkRemove returns, that consumer is not called again.
// `onState`, when given, hears the sensor states under the same rules.
int32_t ReadingSinkAdd(ReadingConsumer consumer, SensorStateConsumer onState = nullptr);
void ReadingSinkRemove(int32_t id);

// Worker thread: one reading whose verdict is ok. Returns whether it went to the event log.
bool ReadingSinkTake(const RomCode& rom, float celsius);
// Worker thread: a thermometer that had answered is no longer found (answering false), or one
// marked so answers again (true). Said once for each change.
void ReadingSinkSensorState(const RomCode& rom, bool answering);
// Worker thread: tells ReadingSinkSensorState of every record whose NotAnswering mark changed
// since the list was last followed.
void ReadingSinkFollowList(const SensorList& list);

}  // namespace kv
